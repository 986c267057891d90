// Regular expressions: captures and the match variables, flags, replacement templates, gsub's
// remainders and empty matches, patterns that do not compile, Shift_JIS characters, NUL
// bytes, argument rules of the built-ins, hostile input.
#include <gtest/gtest.h>

#include <random>
#include <vector>

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

    static Value s(std::string_view text) { return make_string(text); }
    // Calls the registered built-in [name] with [args] at line 5.
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
    Value re(std::string_view p, const char* flags = "") {
        return call("regexp", {s(p), s(flags)});
    }
    bool match(std::string_view text, const Value& r) {
        return call("match", {s(text), r}).num() != 0;
    }
    std::string sub(std::string_view text, std::string_view p, std::string_view t) {
        return call("sub", {s(text), re(p), s(t)}).as_string()->str;
    }
    std::string gsub(std::string_view text, std::string_view p, std::string_view t) {
        return call("gsub", {s(text), re(p), s(t)}).as_string()->str;
    }
    std::string var(const char* name) {
        return scopes.lookupGlobal(intern(name))->as_string()->str;
    }
    // "$0|$1|$2|$3|$+|$`|$'"
    std::string vars() {
        std::string out = var("$0");
        for (const char* v : {"$1", "$2", "$3", "$+", "$`", "$'"}) out += "|" + var(v);
        return out;
    }
};

} // namespace

TEST_F(Regexp, captures_and_match_variables) {
    EXPECT_TRUE(match("abc", re("b")));
    EXPECT_EQ(vars(), "b|||||a|c") << "$+ is empty with group 0 alone";
    EXPECT_EQ(var("$&"), "b");
    EXPECT_EQ(var("$9"), "");
    EXPECT_TRUE(match("xaby", re("(a)(b)")));
    EXPECT_EQ(vars(), "ab|a|b||b|x|y");
    EXPECT_TRUE(match("ab", re("(a)(x)?(b)")));
    EXPECT_EQ(vars(), "ab|a|||a||") << "a group that did not take part ends the list";
    EXPECT_TRUE(match("0123456789a", re("(0)(1)(2)(3)(4)(5)(6)(7)(8)(9)(a)")));
    EXPECT_EQ(var("$9") + var("$+"), "88") << "ten groups at most";
    EXPECT_FALSE(match("abc", re("z")));
    EXPECT_EQ(vars(), "||||||") << "a failed search clears them";
}

TEST_F(Regexp, flags) {
    EXPECT_TRUE(match("ABC", re("b", "i")));
    EXPECT_FALSE(match("ABC", re("b")));
    EXPECT_TRUE(match("a\nb", re("^b")) && match("a\nb", re("a$")));
    EXPECT_FALSE(match("a\nb", re("^b", "m")) || match("a\nb", re("a$", "m")));
    EXPECT_FALSE(match("A\nB", re("^b", "mi")));
    EXPECT_TRUE(match("A\nB", re("^b", "ii")));
    EXPECT_STREQ(value_type_name(call("regexp", {s("a")})), "regexp");
    EXPECT_EQ(raised([&] { re("a", "g"); }), "error [5]: Bad flag string in regexp()");
    EXPECT_EQ(raised([&] { call("regexp", {Value(1)}); }),
              "error [5]: Cannot convert arg to string");
}

TEST_F(Regexp, sub_and_templates) {
    const char* cases[][4] = {
        {"alpha beta", "(\\w+) (\\w+)", "$2, $1", "beta, alpha"},
        {"abc", "b", "[$&]", "a[b]c"},
        {"abc", "b", "$$", "a$c"},
        {"abc", "b", "$x", "a$xc"},
        {"abc", "b", "<$`|$'>", "a<a|c>c"},
        {"abc", "b", "x$", "ax$c"},
        {"abc", "(b)", "$12|$01|$+", "a|b|bc"}, // every digit is read
        {"abc", "b", "$99999999999999999999", "ac"},
        {"ab", "(a)(x)?(b)", "[$3$1$+]", "[aa]"},
        {"aaa", "a", "b", "baa"},
        {"abc", "x", "y", "abc"},
    };
    for (auto& c : cases) EXPECT_EQ(sub(c[0], c[1], c[2]), c[3]) << c[1] << " " << c[2];
}

TEST_F(Regexp, gsub_remainders_and_empty_matches) {
    const char* cases[][4] = {
        {"aaa", "a", "b", "bbb"},
        {"aaa", "^a", "b", "bbb"}, // "^" matches at the start of every remainder
        {"a1b22c", "[0-9]+", "<$`>", "a<a>b<b>c"},
        {"abc", "x*", "-", "-a-b-c-"},
        {"", "x*", "-", "-"},
        {"abc", "b*", "-", "-a--c-"},
        {"ab", "^", "-", "-a-b-"},
        {"ab", "$", "!", "ab!"}, // one place is replaced once
        {"\x82\xa0"
         "a",
         "x*", "-", "-\x82\xa0-a-"},
        {"a\x82", "x*", "-", "-a-\x82-"},
    };
    for (auto& c : cases) EXPECT_EQ(gsub(c[0], c[1], c[2]), c[3]) << c[0] << " " << c[1];
    EXPECT_EQ(gsub("a-b", "(\\w)", "$1$1"), "aa-bb");
    EXPECT_EQ(vars(), "||||||") << "the final search found nothing";
}

TEST_F(Regexp, pattern_that_does_not_compile_never_matches) {
    for (const char* bad : {"(", "[a", "a{2,1}", "*", "\\"}) {
        EXPECT_FALSE(match("(([a*", re(bad))) << bad;
        EXPECT_EQ(sub("abc", bad, "x") + gsub("abc", bad, "x"), "") << bad;
    }
}

TEST_F(Regexp, shift_jis_characters_are_units) {
    EXPECT_FALSE(match("\x83\x41", re("A"))) << "the second byte of a character is no letter";
    EXPECT_TRUE(match("x\x83\x41", re("\x83\x41")));
    EXPECT_EQ(var("$`"), "x");
    EXPECT_TRUE(match("\x82\xa0\x82\xa2", re("^.(.)$")));
    EXPECT_EQ(var("$1"), "\x82\xa2");
    EXPECT_EQ(gsub("\x82\xa0"
                   "a",
                   ".", "<$&>"),
              "<\x82\xa0><a>");
    EXPECT_EQ(gsub("\x83\x41"
                   "A",
                   "(?i)a", "b"),
              "\x83\x41"
              "b");
}

TEST_F(Regexp, nul_bytes_are_ordinary_bytes) {
    std::string_view text("a\0b\0c", 5);
    EXPECT_TRUE(match(text, re("c")));
    EXPECT_EQ(var("$`"), std::string_view("a\0b\0", 4));
    EXPECT_EQ(gsub(text, std::string_view("\0", 1), "-"), "a-b-c");
    EXPECT_EQ(gsub(text, "[^a-z]", "_"), "a_b_c");
}

TEST_F(Regexp, built_ins_check_arguments_in_order) {
    Value r = re("a");
    const std::pair<const char*, std::vector<Value>> cases[] = {
        {"Cannot convert arg to string", {Value(1), r}},
        {"Bad argument type in match()", {s("a"), s("a")}},
        {"Cannot convert arg to string", {Value(1), Value(1), Value(1)}},
        {"Bad argument type in gsub()", {s("a"), Value(), Value(1)}},
        {"Cannot convert arg to string", {s("a"), r, Value(1)}},
    };
    for (auto& [message, args] : cases) {
        const char* fn = args.size() == 2 ? "match" : "gsub";
        EXPECT_EQ(raised([&, &args = args] { call(fn, args); }), std::string("error [5]: ") + message);
    }
    EXPECT_EQ(raised([&] {
                  call("sub", {s("a"), s("a"), s("b")});
              }),
              "error [5]: Bad argument type in sub()");
}

TEST_F(Regexp, find_leaves_the_variables_alone) {
    RegExp* r = new RegExp("[0-9]+", false, false);
    Value keep = make_regexp(r);
    match("zz", keep);
    regexp_spans m;
    ASSERT_TRUE(r->find("a12b", m));
    EXPECT_EQ(m.beg[0] * 10 + m.end[0], 13);
    EXPECT_EQ(var("$0") + var("$`"), "");
}

TEST_F(Regexp, a_match_variable_as_the_text_keeps_it_until_all_are_set) {
    // The variables are set from the searched text itself; here that text is "$1", which is
    // set before "$`" and "$'" are taken from it.
    auto held = [&](const char* name) { return Value(*scopes.lookupGlobal(intern(name))); };
    EXPECT_TRUE(match("abc-", re("(\\w+)-")));
    EXPECT_TRUE(call("match", {held("$1"), re("(b)")}).num() != 0);
    EXPECT_EQ(vars(), "b|b|||b|a|c");
    EXPECT_TRUE(match("abc-", re("(\\w+)-")));
    Value text = held("$1");
    EXPECT_EQ(call("gsub", {text, re("(b)"), s("[$`$1$']")}).as_string()->str, "a[abc]c");
    EXPECT_EQ(text.as_string()->str, "abc") << "the searched string is not overwritten";
    EXPECT_EQ(vars(), "||||||");
}

TEST_F(Regexp, hostile_patterns_and_texts_end_quietly) {
    std::string deep = std::string(20000, '(') + "a" + std::string(20000, ')');
    EXPECT_FALSE(match("a", re(deep))) << "nesting beyond the parse limit does not compile";
    EXPECT_FALSE(match(std::string(3000, 'a') + "!", re("(a|a)*$"))) << "backtracking limit";

    std::mt19937 gen(12345);
    const char alphabet[] = "ab.*+?()[]{}^$|\\\x81\x82\xa0\xe0\xfc\x40\x7f\n\0";
    auto pick = [&](size_t n) {
        std::string out;
        for (size_t i = 0; i < n; ++i) out.push_back(alphabet[gen() % (sizeof alphabet - 1)]);
        return out;
    };
    for (int i = 0; i < 2000; ++i) {
        Value r = re(pick(gen() % 8), i % 2 ? "m" : "i");
        std::string text = pick(gen() % 24);
        match(text, r);
        call("gsub", {s(text), r, s("$&$1$+$`")});
    }
}
