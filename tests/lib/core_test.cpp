// The core built-ins, called through their registrations: types and sizes, keys, the
// container constructors and their limits, error raising, exit, strict, the shell escape and
// eval; and the conversions.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "builtin_call.h"
#include "core/hash.h"
#include "eval/harness.h"
#include "eval/scope.h"
#include "test_support.h"

using namespace ruvo;
using namespace ruvo::test;

namespace {

const Family core(core_builtins());
const Family conv(conversion_builtins());

std::string at7(const std::string& message) { return "error [7]: " + message; }

Value hash_of(std::initializer_list<std::pair<const char*, Value>> entries) {
    Value h(new VHash());
    for (const auto& [k, v] : entries) h.as_hash()->set(k, v);
    return h;
}

// The plain texts of an array's elements, joined by ",".
std::string texts(const Value& a) {
    std::string out;
    if (!a.as_array()) return "(not an array)";
    for (size_t i = 0; i < a.as_array()->size(); ++i) {
        if (i) out += ',';
        append_plain(out, a.as_array()->cells[i]);
    }
    return out;
}

} // namespace

TEST(Core, type_and_len) {
    EXPECT_EQ(text(core("type", {Value()})), "unknown");
    EXPECT_EQ(text(core("type", {Value::boolean(true)})), "bool");
    EXPECT_EQ(text(core("type", {Value(1)})), "number");
    EXPECT_EQ(text(core("type", {str("")})), "string");
    EXPECT_EQ(text(core("type", {arr({})})), "array");
    EXPECT_EQ(text(core("type", {hash_of({})})), "hash");

    EXPECT_EQ(core("len", {str("")}).num(), 0);
    EXPECT_EQ(core("len", {str("\x82\xa0\x82\xa2")}).num(), 4); // two double-byte characters
    EXPECT_EQ(core("len", {str(std::string_view("a\0b", 3))}).num(), 3);
    EXPECT_EQ(core("len", {arr({Value(1), Value()})}).num(), 2);
    EXPECT_EQ(core("len", {hash_of({{"a", Value(1)}})}).num(), 1);
    EXPECT_EQ(core.raised("len", {Value(5)}), at7("Bad argument type in len()"));
    EXPECT_EQ(core.raised("len", {Value()}), at7("Bad argument type in len()"));
}

TEST(Core, copy_is_shallow) {
    EXPECT_TRUE(core("copy", {Value()}).is_null());
    Value inner = arr({Value(1)});
    Value outer = arr({inner});
    Value c = core("copy", {outer});
    ASSERT_NE(c.obj(), outer.obj());
    EXPECT_EQ(c.as_array()->cells[0].obj(), inner.obj());
}

TEST(Core, keys_and_key) {
    EXPECT_EQ(texts(core("keys", {arr({Value(7), Value(8), Value(9)})})), "0,1,2");
    EXPECT_EQ(texts(core("keys", {arr({})})), "");
    // key order: bytes unsigned, a proper prefix first
    Value h = hash_of({{"ab", Value(1)}, {"a", Value(2)}, {"B", Value(3)}, {"", Value(4)},
                       {"\x82\xa0", Value(5)}});
    EXPECT_EQ(texts(core("keys", {h})), ",B,a,ab,\x82\xa0");
    EXPECT_EQ(core.raised("keys", {str("abc")}), at7("Bad argument type in keys()"));

    Value a = arr({Value(10), Value(20)});
    auto key = [&](const Value& c, const Value& k) {
        Value r = core("key", {c, k});
        EXPECT_TRUE(r.is_bool());
        return r.num() != 0;
    };
    EXPECT_TRUE(key(a, Value(1)));
    EXPECT_TRUE(key(a, Value(1.9)));   // truncated
    EXPECT_TRUE(key(a, Value(-0.5)));  // truncates to 0
    EXPECT_TRUE(key(a, Value::boolean(true)));
    EXPECT_FALSE(key(a, Value(2)));
    EXPECT_FALSE(key(a, Value(-1)));
    EXPECT_FALSE(key(a, str("1")));
    EXPECT_FALSE(key(a, Value(std::nan(""))));
    EXPECT_FALSE(key(a, Value(1e300)));
    Value hk = hash_of({{"a", Value(1)}, {"1", Value(2)}});
    EXPECT_TRUE(key(hk, str("a")));
    EXPECT_FALSE(key(hk, str("b")));
    EXPECT_FALSE(key(hk, Value(1)));
    EXPECT_EQ(core.raised("key", {Value(5), Value(0)}), at7("Bad argument type in key()"));
}

TEST(Core, array_builds_nested_levels) {
    EXPECT_EQ(core("array").as_array()->size(), 0u);
    EXPECT_EQ(core("array", {Value(0)}).as_array()->size(), 0u);
    EXPECT_EQ(core("array", {Value(-3)}).as_array()->size(), 0u);
    EXPECT_EQ(core("array", {Value(std::nan(""))}).as_array()->size(), 0u);
    EXPECT_EQ(core("array", {str("3")}).as_array()->size(), 3u);
    EXPECT_EQ(core("array", {Value(2.9)}).as_array()->size(), 2u);
    Value a = core("array", {Value(2), Value(3)});
    ASSERT_EQ(a.as_array()->size(), 2u);
    VArray* r0 = a.as_array()->cells[0].as_array();
    VArray* r1 = a.as_array()->cells[1].as_array();
    ASSERT_TRUE(r0 && r1);
    EXPECT_NE(r0, r1);
    EXPECT_EQ(r0->size(), 3u);
    EXPECT_TRUE(r0->cells[2].is_null());
    // a level of size 0 ends the nesting there
    Value z = core("array", {Value(2), Value(0), Value(5)});
    EXPECT_EQ(z.as_array()->cells[1].as_array()->size(), 0u);
}

TEST(Core, arrayi_fills_and_shares) {
    Value a = core("arrayi", {Value(0), Value(2), Value(2)});
    EXPECT_EQ(display_form(a), "[ [ 0, 0 ], [ 0, 0 ] ]");
    Value x = arr({Value(1)});
    Value s = core("arrayi", {x, Value(3)});
    ASSERT_EQ(s.as_array()->size(), 3u);
    for (const Cell& c : s.as_array()->cells) EXPECT_EQ(c.obj(), x.obj());
    EXPECT_EQ(core.raised("arrayi", {Value(0)}), at7("too few argument in arrayi()"));
    EXPECT_EQ(core.raised("arrayi"), at7("too few argument in arrayi()"));
}

TEST(Core, huge_arrays_fail_at_once) {
    EXPECT_EQ(core.raised("array", {Value(1e9)}), at7("Array size too large in array()"));
    EXPECT_EQ(core.raised("array", {Value(1e300)}), at7("Array size too large in array()"));
    // each level alone is modest; together they are not
    EXPECT_EQ(core.raised("array", {Value(1e4), Value(1e4)}),
              at7("Array size too large in array()"));
    EXPECT_EQ(core.raised("arrayi", {Value(0), Value(3e4), Value(3e4)}),
              at7("Array size too large in arrayi()"));
    std::vector<Value> deep(5000, Value(1));
    EXPECT_EQ(core.raised("array", deep), at7("Array size too large in array()"));
    // levels below an empty one are never built
    deep[0] = Value(0);
    EXPECT_EQ(core("array", deep).as_array()->size(), 0u);
}

TEST(Core, hash_pairs) {
    Value h = core("hash", {str("a")});
    ASSERT_TRUE(h.as_hash());
    ASSERT_NE(h.as_hash()->find("a"), nullptr);
    EXPECT_TRUE(h.as_hash()->find("a")->is_null());
    h = core("hash", {str("a"), Value(1), str("a"), Value(2)});
    EXPECT_EQ(h.as_hash()->size(), 1u);
    EXPECT_EQ(h.as_hash()->find("a")->num(), 2);
    Value x = arr({});
    h = core("hash", {str("k"), x, str("j"), Value(3)});
    EXPECT_EQ(h.as_hash()->find("k")->obj(), x.obj());
    EXPECT_EQ(h.as_hash()->size(), 2u);
    EXPECT_EQ(core("hash").as_hash()->size(), 0u);
    EXPECT_EQ(core.raised("hash", {Value(1), Value(2)}), at7("Cannot convert arg to string"));
    EXPECT_EQ(core.raised("hash", {str("a"), Value(1), Value()}),
              at7("Cannot convert arg to string"));
}

TEST(Core, error_and_errorf_messages) {
    EXPECT_EQ(core.raised("error", {str("x="), Value(1), str(" y="), Value::boolean(true)}),
              at7("x=1 y=true"));
    EXPECT_EQ(core.raised("error"), at7(""));
    EXPECT_EQ(core.raised("error", {str("100%d %s")}), at7("100%d %s"));
    EXPECT_EQ(core.raised("error", {Value()}), at7("null"));
    EXPECT_EQ(core.raised("errorf", {str("%d-%s"), Value(5), str("x")}), at7("5-x"));
    // the formatted text is not formatted again
    EXPECT_EQ(core.raised("errorf", {str("%s"), str("50%d")}), at7("50%d"));
    EXPECT_EQ(core.raised("errorf"), at7(""));
    EXPECT_EQ(core.raised("errorf", {Value(1)}), at7("Cannot convert arg to string"));
}

TEST(Core, exit_carries_value_and_line) {
    try {
        core("exit", {Value(3)});
        ADD_FAILURE() << "exit() returned";
    } catch (const VExit& e) {
        EXPECT_EQ(e.value.num(), 3);
        EXPECT_EQ(e.line, 7);
    }
    try {
        core("exit");
        ADD_FAILURE() << "exit() returned";
    } catch (const VExit& e) {
        EXPECT_TRUE(e.value.is_null());
        EXPECT_EQ(e.line, 0);
    }
}

TEST(Core, strict_returns_the_previous_setting) {
    scopes.strict = false;
    Value r = core("strict", {Value::boolean(true)});
    EXPECT_TRUE(r.is_bool());
    EXPECT_EQ(r.num(), 0);
    EXPECT_TRUE(scopes.strict);
    EXPECT_EQ(core("strict", {Value::boolean(false)}).num(), 1);
    EXPECT_FALSE(scopes.strict);
    core("strict", {str("x")}); // the truth value of any value
    EXPECT_TRUE(scopes.strict);
    core("strict", {arr({})});
    EXPECT_FALSE(scopes.strict);
}

TEST(Core, system_runs_the_shell) {
    EXPECT_EQ(core("system", {str("exit 3")}).num(), 3);
    EXPECT_EQ(core("system", {str("true")}).num(), 0);
    EXPECT_EQ(core("system", {str("kill -9 $$")}).num(), 128 + 9);
    EXPECT_EQ(core("system", {Value(7)}).num(), 127); // the plain form "7": no such command

    const char* shell = std::getenv("SHELL");
    std::string saved = shell ? shell : "";
    unsetenv("SHELL");
    EXPECT_EQ(core("system").num(), 0); // no shell named: nothing runs
    setenv("SHELL", "/bin/false", 1);
    EXPECT_EQ(core("system").num(), 1);
    if (shell)
        setenv("SHELL", saved.c_str(), 1);
    else
        unsetenv("SHELL");
}

TEST(Core, conversions) {
    EXPECT_EQ(conv("int", {str("12")}).num(), 12);
    EXPECT_EQ(conv("int", {Value(-3.9)}).num(), -3);
    EXPECT_EQ(conv("int", {Value(3e9)}).num(), 0);
    EXPECT_EQ(conv("int", {str("abc")}).num(), 0);
    EXPECT_EQ(conv("uint", {Value(-1)}).num(), 0);
    EXPECT_EQ(conv("uint", {Value(4294967295.0)}).num(), 4294967295.0);
    // an integer has no negative zero
    EXPECT_EQ(plain_form(conv("int", {Value(-0.5)})), "0");
    EXPECT_EQ(plain_form(conv("uint", {Value(-0.0)})), "0");
    EXPECT_EQ(conv("num", {str("0xFFFFFFFF")}).num(), -1);
    EXPECT_TRUE(std::isnan(conv("num", {str("0X10")}).num()));
    EXPECT_EQ(text(conv("str", {Value(1.0 / 3)})), "0.3333333333");
    EXPECT_TRUE(conv("convnum", {str("abc")}).is_null());
    EXPECT_TRUE(conv("convnum", {Value()}).is_null());
    Value b = conv("convnum", {Value::boolean(true)});
    EXPECT_TRUE(b.is_number());
    EXPECT_EQ(b.num(), 1);
    EXPECT_EQ(conv("convnum", {str(" 017 ")}).num(), 15);
}

namespace {

// Script runs with the core and array built-ins registered (print and show stay the
// harness's own).
class CoreScript : public EvalTest {
protected:
    void SetUp() override {
        EvalTest::SetUp();
        register_families({core_builtins(), array_builtins(), conversion_builtins()});
    }
};

} // namespace

TEST_F(CoreScript, eval_runs_text) {
    EXPECT_EQ(output("print(eval(\"1 + 2;\"));"), "3\n");
    EXPECT_EQ(output("print(eval(\"return 4; 5;\"));"), "4\n");
    // the value of the last statement run: empty statements after it, blocks and declarations
    EXPECT_EQ(output("print(eval(\"1; 2; ; ;\"));"), "2\n");
    EXPECT_EQ(output("print(eval(\"{ 3; { 4; } }\"));"), "4\n");
    EXPECT_EQ(output("print(eval(\"var a = 5, b = 6;\"));"), "6\n");
    EXPECT_EQ(output("print(eval(\";\"));"), "null\n");
    EXPECT_EQ(output("print(eval(\"exit(6);\")); print(7);"), "6\n7\n");
    EXPECT_EQ(output("print(eval(\"break;\")); print(1);"),
              "null\n1\nerror [1]: Bad break or continue\n");
    EXPECT_EQ(output("print(eval(\"error(\\\"no\\\");\"));"), "null\nerror [1]: no\n");
    EXPECT_EQ(output("print(eval(\"1 +;\"));"), "null\nerror [1]: syntax error\n");
    EXPECT_EQ(output("eval(1);"), "error [1]: Cannot convert arg to string\n");
    // functions the text defines stay
    EXPECT_EQ(output("eval(\"function f(x) { return x * 2; }\"); print(f(4));"), "8\n");
}

TEST_F(CoreScript, hash_reached_through_a_reference) {
    EXPECT_EQ(output("var h = &hash; var x = h(\"b\", 1, \"a\"); show(x);"),
              "hash( \"a\"=null, \"b\"=1 )\n");
}
