// Object-like and function-like macros, # and ##, and the rule that stops recursion.
#include "pp_test_util.h"

using pptest::run;

namespace {

// The expansion of the last line of [text], which must not fail.
std::string last_line(const std::string& text) {
    pptest::Result r = run(text);
    EXPECT_TRUE(r.ok) << r.errors;
    std::string out = r.out;
    if (!out.empty() && out.back() == '\n') out.pop_back();
    return out.substr(out.rfind('\n') + 1);
}

TEST(Macros, ObjectAndFunctionLike) {
    EXPECT_EQ(last_line("#define N 10\n#define TWICE N + N\nx = TWICE;\n"), "x = 10 + 10;");
    EXPECT_EQ(last_line("#define MAX(a, b) ((a) > (b) ? (a) : (b))\nMAX(f(1, 2), [3])\n"),
              "((f(1, 2)) > ([3]) ? (f(1, 2)) : ([3]))");
    // Without '(' after it a function-like name is an ordinary identifier.
    EXPECT_EQ(last_line("#define F(x) [x]\nF + F (1)\n"), "F + [1]");
    // The argument list may follow on later lines.
    EXPECT_EQ(last_line("#define F(x) [x]\nF\n(1)\n"), "[1]");
    // Arguments are expanded before substitution; a redefinition replaces the body.
    EXPECT_EQ(last_line("#define A 1\n#define F(x) x\n#undef A\n#define A 2\nF(A)\n"), "2");
    EXPECT_EQ(last_line("#define F(...) <__VA_ARGS__>\nF(1, 2) F()\n"), "<1, 2> <>");
    EXPECT_EQ(last_line("#define A 1\n#undef A\nA\n"), "A");
}

TEST(Macros, StringizeAndPaste) {
    EXPECT_EQ(last_line("#define S(x) #x\nS(  a   \"b\\n\"  'c' )\n"), "\"a \\\"b\\\\n\\\" 'c'\"");
    EXPECT_EQ(last_line("#define S(x) # x\nS(a\\=b /r\\d/)\n"), "\"a\\\\=b /r\\\\d/\"");
    EXPECT_EQ(last_line("#define CAT(a, b) a ## b\n#define xy done\nCAT(x, y) CAT(1, 2)\n"),
              "done 12");
    // An empty argument next to ## leaves the other operand.
    EXPECT_EQ(last_line("#define CAT(a, b) [a ## b]\nCAT(, y) CAT(x, ) CAT(,)\n"), "[y] [x] []");
    // Arguments of # and ## are not expanded first.
    EXPECT_EQ(last_line("#define A 1\n#define S(x) #x\n#define C(x) x ## 2\nS(A) C(A)\n"),
              "\"A\" A2");
    EXPECT_EQ(last_line("#define OBJ a ## b\nOBJ\n"), "ab");
}

TEST(Macros, NoExpansionInsideItsOwnExpansion) {
    EXPECT_EQ(last_line("#define X X + 1\nX\n"), "X + 1");
    EXPECT_EQ(last_line("#define A B\n#define B A\nA B\n"), "A B");
    EXPECT_EQ(last_line("#define f(x) x f\nf(1)(2)\n"), "1 f(2)");
    EXPECT_EQ(last_line("#define f(x) g(x)\n#define g(x) f(x)\nf(1)\n"), "f(1)");
}

TEST(Macros, MalformedUseIsAnError) {
    pptest::expect_errors({
        {"#define F(a, b) a\nF(1)\n",
         "t.rv:2: macro \"F\" requires 2 arguments, but only 1 given\n"},
        {"#define F(a) a\nF(1, 2)\n", "t.rv:2: macro \"F\" passed 2 arguments, but takes just 1\n"},
        {"#define F(a) a\nF(1,\n#endif\n",
         "t.rv:2: unterminated argument list invoking macro \"F\"\n"},
        {"#define\n", "t.rv:1: no macro name given in #define\n"},
        {"#define 1x\n", "t.rv:1: macro names must be identifiers in #define\n"},
        {"#define defined 1\n", "t.rv:1: \"defined\" cannot be used as a macro name in #define\n"},
        {"#define F(a, a) a\n", "t.rv:1: duplicate macro parameter \"a\" in #define\n"},
        {"#define F(a a\n", "t.rv:1: missing ')' in macro parameter list in #define\n"},
        {"#define S(x) #y\n", "t.rv:1: '#' is not followed by a macro parameter in #define\n"},
        {"#define P ## x\n",
         "t.rv:1: '##' cannot appear at either end of a macro expansion in #define\n"},
    });
}

TEST(Macros, ContinuedDefinitionKeepsLineNumbers) {
    pptest::Result r = run("#define LONG 1 + \\\n  2 \\\n  + 3\nx = LONG; // L4\nL5\n");
    ASSERT_TRUE(r.ok);
    EXPECT_NE(r.out.find("x = 1 + 2 + 3; // L4"), std::string::npos);
    EXPECT_EQ(pptest::where(r.out, "L4"), "t.rv:4");
    EXPECT_EQ(pptest::where(r.out, "L5"), "t.rv:5");
    // A call spread over lines is written on one; the lines after it keep their numbers.
    r = run("#define F(a, b) a b\nF(L2,\n\n  x)\nL5\n");
    EXPECT_EQ(pptest::where(r.out, "L2 x"), "t.rv:2");
    EXPECT_EQ(pptest::where(r.out, "L5"), "t.rv:5");
}

} // namespace
