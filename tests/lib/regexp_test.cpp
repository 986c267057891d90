// Regular expressions: captures and the match variables, the flags, replacement templates,
// gsub's remainders and empty matches, patterns that do not compile, Shift_JIS characters,
// NUL bytes, and the argument rules of the built-ins.
#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>
#include <vector>

#include "core/atom.h"
#include "core/string.h"
#include "eval/context.h"
#include "eval/scope.h"
#include "lib/regexp.h"
#include "lib/registry.h"
#include "test_support.h"

using namespace ruvo;
using test::raised;

namespace {

class Regexp : public ::testing::Test {
protected:
    void SetUp() override { scopes.pushGlobalScope(); }
    void TearDown() override { scopes.popAll(); }

    // Calls the registered built-in [name] with [args].
    Value call(const char* name, std::vector<Value> args) {
        for (const BuiltinDef& d : regexp_builtins())
            if (std::string_view(d.name) == name && d.count == static_cast<int>(args.size())) {
                VContext ctx;
                Value result;
                d.handler(ctx, 5, args, result);
                return result;
            }
        ADD_FAILURE() << "no built-in " << name;
        return Value();
    }
    Value re(const char* p, const char* flags = "") { return call("regexp", {s(p), s(flags)}); }
    static Value s(std::string_view text) { return make_string(text); }

    bool match(std::string_view text, const Value& r) {
        Value v = call("match", {s(text), r});
        EXPECT_TRUE(v.is_bool());
        return v.num() != 0;
    }
    std::string sub(std::string_view text, const Value& r, std::string_view t) {
        return call("sub", {s(text), r, s(t)}).as_string()->str;
    }
    std::string gsub(std::string_view text, const Value& r, std::string_view t) {
        return call("gsub", {s(text), r, s(t)}).as_string()->str;
    }
    std::string var(const char* name) {
        Cell* c = scopes.lookupGlobal(intern(name));
        return c && c->as_string() ? c->as_string()->str : "(unset)";
    }
    // "$0|$1|$2|$3|$+|$`|$'" in one line.
    std::string vars() {
        return var("$0") + "|" + var("$1") + "|" + var("$2") + "|" + var("$3") + "|" + var("$+") +
               "|" + var("$`") + "|" + var("$'");
    }
};

} // namespace

TEST_F(Regexp, match_sets_every_match_variable) {
    EXPECT_TRUE(match("abc", re("b")));
    EXPECT_EQ(var("$0"), "b");
    EXPECT_EQ(var("$&"), "b");
    EXPECT_EQ(var("$`"), "a");
    EXPECT_EQ(var("$'"), "c");
    EXPECT_EQ(var("$1"), "");
    EXPECT_EQ(var("$9"), "");
    EXPECT_EQ(var("$+"), "") << "only group 0 was captured";

    EXPECT_TRUE(match("xaby", re("(a)(b)")));
    EXPECT_EQ(vars(), "ab|a|b||b|x|y");

    EXPECT_FALSE(match("abc", re("z")));
    EXPECT_EQ(vars(), "||||||") << "a failed search clears the variables";
}

TEST_F(Regexp, captures_end_at_the_first_group_that_did_not_take_part) {
    EXPECT_TRUE(match("ab", re("(a)(x)?(b)")));
    EXPECT_EQ(vars(), "ab|a|||a||");
    EXPECT_EQ(sub("ab", re("(a)(x)?(b)"), "[$3$1$+]"), "[aa]");
    EXPECT_TRUE(match("0123456789ab", re("(0)(1)(2)(3)(4)(5)(6)(7)(8)(9)(a)")));
    EXPECT_EQ(var("$9"), "8");
    EXPECT_EQ(var("$+"), "8") << "no more than ten groups are reported";
}

TEST_F(Regexp, flags_icase_and_multiline) {
    EXPECT_TRUE(match("ABC", re("b", "i")));
    EXPECT_FALSE(match("ABC", re("b")));
    EXPECT_TRUE(match("a\nb", re("^b")));
    EXPECT_TRUE(match("a\nb", re("a$")));
    EXPECT_FALSE(match("a\nb", re("^b", "m")));
    EXPECT_FALSE(match("a\nb", re("a$", "m")));
    EXPECT_FALSE(match("A\nB", re("^b", "mi")));
    EXPECT_TRUE(match("A\nB", re("^b", "ii")));
    EXPECT_TRUE(match("a", re("a", "")));
    EXPECT_STREQ(value_type_name(call("regexp", {s("a")})), "regexp");
    EXPECT_EQ(raised([&] { re("a", "g"); }), "error [5]: Bad flag string in regexp()");
    EXPECT_EQ(raised([&] { call("regexp", {Value(1)}); }),
              "error [5]: Cannot convert arg to string");
    EXPECT_EQ(raised([&] {
                  call("regexp", {s("a"), Value(1)});
              }),
              "error [5]: Cannot convert arg to string");
}

TEST_F(Regexp, replacement_templates) {
    EXPECT_EQ(sub("alpha beta", re("(\\w+) (\\w+)"), "$2, $1"), "beta, alpha");
    EXPECT_EQ(sub("abc", re("b"), "[$&]"), "a[b]c");
    EXPECT_EQ(sub("abc", re("b"), "$$"), "a$c");
    EXPECT_EQ(sub("abc", re("b"), "$x"), "a$xc");
    EXPECT_EQ(sub("abc", re("b"), "<$`|$'>"), "a<a|c>c");
    EXPECT_EQ(sub("abc", re("b"), "x$"), "ax$c") << "a final $ stands for itself";
    EXPECT_EQ(sub("abc", re("(b)"), "$12|$01|$+"), "a|b|bc") << "every digit is read";
    EXPECT_EQ(sub("abc", re("b"), "$99999999999999999999"), "ac");
    EXPECT_EQ(sub("abc", re("b"), "$$1"), "a$1c");
    EXPECT_EQ(sub("aaa", re("a"), "b"), "baa");
    EXPECT_EQ(sub("abc", re("x"), "y"), "abc");
}

TEST_F(Regexp, gsub_searches_each_remainder_as_its_own_text) {
    EXPECT_EQ(gsub("aaa", re("a"), "b"), "bbb");
    EXPECT_EQ(gsub("abc", re("x"), "y"), "abc");
    EXPECT_EQ(gsub("aaa", re("^a"), "b"), "bbb");
    EXPECT_EQ(gsub("a1b22c", re("[0-9]+"), "<$`>"), "a<a>b<b>c");
    EXPECT_EQ(gsub("a-b", re("(\\w)"), "$1$1"), "aa-bb");
    EXPECT_EQ(var("$0"), "") << "the variables show the final search, which found nothing";
    EXPECT_EQ(var("$`"), "");
}

TEST_F(Regexp, gsub_empty_matches_move_on_one_character) {
    EXPECT_EQ(gsub("abc", re("x*"), "-"), "-a-b-c-");
    EXPECT_EQ(gsub("", re("x*"), "-"), "-");
    EXPECT_EQ(gsub("abc", re("b*"), "-"), "-a--c-");
    EXPECT_EQ(gsub("ab", re("^"), "-"), "-a-b-") << "\"^\" matches at every remainder";
    EXPECT_EQ(gsub("ab", re("$"), "!"), "ab!") << "one place is replaced once";
    EXPECT_EQ(gsub("\x82\xa0"
                   "a",
                   re("x*"), "-"),
              "-\x82\xa0-a-")
        << "a double-byte character is stepped over whole";
    EXPECT_EQ(gsub("a\x82", re("x*"), "-"), "-a-\x82-") << "a lead byte at the end stands alone";
}

TEST_F(Regexp, pattern_that_does_not_compile_never_matches) {
    for (const char* bad : {"(", "[a", "a{2,1}", "*", "(?<n", "\\"}) {
        Value r = re(bad);
        EXPECT_FALSE(match("(([a*", r)) << bad;
        EXPECT_EQ(sub("abc", r, "x"), "") << bad;
        EXPECT_EQ(gsub("abc", r, "x"), "") << bad;
        EXPECT_EQ(var("$0"), "") << bad;
    }
}

TEST_F(Regexp, shift_jis_characters_are_units) {
    // 0x83 0x41 is one character whose second byte is the code of "A".
    EXPECT_FALSE(match("\x83\x41", re("A")));
    EXPECT_TRUE(match("x\x83\x41", re("\x83\x41")));
    EXPECT_EQ(var("$`"), "x");
    EXPECT_TRUE(match("\x82\xa0\x82\xa2", re("^.(.)$")));
    EXPECT_EQ(var("$1"), "\x82\xa2");
    EXPECT_TRUE(match("\x82\xa0\x82\xa0", re("^(\x82\xa0)+$")));
    EXPECT_EQ(gsub("\x82\xa0"
                   "a\x82\xa2",
                   re("."), "<$&>"),
              "<\x82\xa0><a><\x82\xa2>");
    EXPECT_EQ(gsub("\x83\x41"
                   "A",
                   re("A", "i"), "b"),
              "\x83\x41"
              "b");
}

TEST_F(Regexp, nul_bytes_are_ordinary_bytes) {
    std::string text("a\0b\0c", 5);
    EXPECT_TRUE(match(text, re("c")));
    EXPECT_EQ(var("$`"), std::string("a\0b\0", 4));
    Value nul = call("regexp", {s(std::string_view("\0", 1))});
    EXPECT_EQ(gsub(text, nul, "-"), "a-b-c");
    EXPECT_EQ(gsub(text, re("[^a-z]"), "_"), "a_b_c");
}

TEST_F(Regexp, built_ins_check_arguments_in_order) {
    Value r = re("a");
    EXPECT_EQ(raised([&] {
                  call("match", {Value(1), r});
              }),
              "error [5]: Cannot convert arg to string");
    EXPECT_EQ(raised([&] {
                  call("match", {s("a"), s("a")});
              }),
              "error [5]: Bad argument type in match()");
    EXPECT_EQ(raised([&] {
                  call("sub", {Value(1), Value(1), Value(1)});
              }),
              "error [5]: Cannot convert arg to string");
    EXPECT_EQ(raised([&] {
                  call("sub", {s("a"), Value(), Value(1)});
              }),
              "error [5]: Bad argument type in sub()");
    EXPECT_EQ(raised([&] {
                  call("gsub", {s("a"), s("a"), s("b")});
              }),
              "error [5]: Bad argument type in gsub()");
    EXPECT_EQ(raised([&] {
                  call("gsub", {s("a"), r, Value(1)});
              }),
              "error [5]: Cannot convert arg to string");
}

TEST_F(Regexp, find_reports_spans_without_touching_variables) {
    RegExp* r = new RegExp("[0-9]+", false, false);
    Value keep = make_regexp(r);
    match("zz", keep);
    regexp_spans m;
    ASSERT_TRUE(r->find("a12b", m));
    EXPECT_EQ(m.beg[0], 1);
    EXPECT_EQ(m.end[0], 3);
    EXPECT_EQ(var("$`"), "") << "still the earlier failed search";
    EXPECT_TRUE(r->groups.empty());
    EXPECT_FALSE(r->find(std::string_view(), m));
}

TEST_F(Regexp, shared_regexp_lives_while_any_holder_does) {
    RegExp* r = new RegExp("b", false, false);
    r->addref(); // as a literal node would
    {
        Value a = make_regexp(r);
        Value b = make_regexp(r);
        EXPECT_EQ(r->refs, 3);
        match("abc", a);
        EXPECT_EQ(r->prematch, "a") << "values of one literal share the buffers";
    }
    EXPECT_EQ(r->refs, 1);
    regexp_release(r);
}

TEST_F(Regexp, hostile_patterns_and_texts_end_quietly) {
    // Nesting deeper than the engine's parse limit does not compile; it must not overflow.
    std::string deep = std::string(20000, '(') + "a" + std::string(20000, ')');
    EXPECT_FALSE(match("a", re(deep.c_str())));

    // Heavy backtracking stops at the search limit (no match) in bounded time.
    auto t0 = std::chrono::steady_clock::now();
    std::string as = std::string(3000, 'a') + "!";
    EXPECT_FALSE(match(as, re("(a|a)*$")));
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(60));

    // Random byte patterns and texts, lead bytes at the ends included.
    std::mt19937 gen(12345);
    const char alphabet[] = "ab.*+?()[]{}^$|\\\x81\x82\x83\xa0\xe0\xfc\x40\x7f\n\0";
    auto pick = [&](size_t n) {
        std::string out;
        for (size_t i = 0; i < n; ++i) out.push_back(alphabet[gen() % (sizeof alphabet - 1)]);
        return out;
    };
    for (int i = 0; i < 2000; ++i) {
        Value r = call("regexp", {s(pick(gen() % 8)), s(i % 2 ? "m" : "i")});
        std::string text = pick(gen() % 24);
        match(text, r);
        gsub(text, r, "$&$1$+$`");
    }
}
