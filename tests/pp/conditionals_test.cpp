// #if, #ifdef, #ifndef, #elif, #else, #endif and their integer expressions.
#include "pp_test_util.h"

using pptest::run;

namespace {

// Whether "#if [expr]" takes its group.
bool if_true(const std::string& expr, const std::string& defs = "") {
    pptest::Result r = run(defs + "#if " + expr + "\nyes\n#else\nno\n#endif\n");
    EXPECT_TRUE(r.ok) << expr << ": " << r.errors;
    EXPECT_NE(r.out.find("yes") == std::string::npos, r.out.find("no") == std::string::npos);
    return r.out.find("yes") != std::string::npos;
}

TEST(Conditionals, ExpressionsFollowCPrecedence) {
    EXPECT_TRUE(if_true("1 + 2 * 3 == 7"));
    EXPECT_TRUE(if_true("(1 + 2) * 3 == 9"));
    EXPECT_TRUE(if_true("0x10 == 16 && 010 == 8 && 0b11 == 3 && 10UL == 10"));
    EXPECT_TRUE(if_true("1 << 4 >> 2 == 4 && (7 & 3 | 8) == 11 && (5 ^ 1) == 4"));
    EXPECT_TRUE(if_true("-3 / 2 == -1 && -3 % 2 == -1 && ~0 == -1 && !0"));
    EXPECT_TRUE(if_true("2 > 1 && 1 >= 1 && 1 < 2 && 2 <= 2 && 1 != 2"));
    EXPECT_TRUE(if_true("0 ? 0 : 1 ? 2 : 0"));
    EXPECT_FALSE(if_true("1, 0"));
    EXPECT_FALSE(if_true("UNKNOWN"));
    EXPECT_TRUE(if_true("N * 2 == 8 / 2", "#define N 2\n"));
    // Operands that are not evaluated may divide by zero.
    EXPECT_FALSE(if_true("0 && 1 / 0"));
    EXPECT_TRUE(if_true("1 || 1 % 0"));
    EXPECT_TRUE(if_true("1 ? 1 : 1 / 0"));
}

TEST(Conditionals, Defined) {
    const std::string defs = "#define A\n#define F(x) x\n";
    EXPECT_TRUE(if_true("defined A && defined(F) && !defined B", defs));
    EXPECT_TRUE(if_true("defined ( A )", defs));
    EXPECT_TRUE(if_true("D", defs + "#define D defined(A)\n"));
    // The name after "defined" is not expanded.
    EXPECT_TRUE(if_true("defined(A)", "#define A B\n"));
}

// Numbers and strings that ## and # make are read while the expression is evaluated: they
// were freed before it, so that `#if CAT(1, 2) == 12` read freed memory.
TEST(Conditionals, TokensMadeByPastingAndStringizing) {
    const std::string defs = "#define CAT(a, b) a ## b\n#define STR(x) #x\n";
    // Longer than a string keeps in itself, so that the freed text is really gone.
    EXPECT_TRUE(if_true("CAT(1, 2) == 12 && CAT(0x00000000000000, 000000001F) == 31", defs));
    EXPECT_FALSE(if_true("CAT(00000000000000, 00000000000000)", defs));
    pptest::Result r = run(defs + "#if STR(some longer text) == 1\n#endif\n");
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.errors.find("token \"\"some longer text\"\" is not valid in #if"),
              std::string::npos)
        << r.errors;
}

TEST(Conditionals, GroupsAndNesting) {
    pptest::Result r =
        run("#define A\n"
            "#ifdef A\nA1\n#ifndef A\nA2\n#else\nA3\n#endif\n#endif\n"
            "#if 0\nB1\n#if 1\nB2\n#else\nB3\n#endif\n#elif 1\nB4\n#else\nB5\n#endif\n"
            "#if 0\n#elif 0\n#elif 2\nC1\n#elif 1\nC2\n#endif\n"
            "#if 0\n#error not here\n#include \"missing\"\n#unknown\n#endif\nend\n");
    ASSERT_TRUE(r.ok) << r.errors;
    for (const char* in : {"A1", "A3", "B4", "C1", "end"})
        EXPECT_NE(r.out.find(in), std::string::npos) << in;
    for (const char* out : {"A2", "B1", "B2", "B3", "B5", "C2", "unknown"})
        EXPECT_EQ(r.out.find(out), std::string::npos) << out;
    EXPECT_EQ(pptest::where(r.out, "end"), "t.rv:34");
}

TEST(Conditionals, ErrorsNameFileAndLine) {
    pptest::expect_errors({
        {"#else\n", "t.rv:1: #else without #if\n"},
        {"x\n#endif\n", "t.rv:2: #endif without #if\n"},
        {"#if 1\n#else\n#elif 1\n#endif\n", "t.rv:3: #elif after #else\n"},
        {"#if 1\n#else\n#else\n#endif\n", "t.rv:3: #else after #else\n"},
        {"\n#ifdef X\n", "t.rv:2: unterminated conditional directive\n"},
        {"#if 1 / 0\n#endif\n", "t.rv:1: division by zero in #if\n"},
        {"#if\n#endif\n", "t.rv:1: #if with no expression\n"},
        {"#if (1\n#endif\n", "t.rv:1: missing ')' in #if expression\n"},
        {"#if 1 2\n#endif\n", "t.rv:1: missing binary operator before \"2\"\n"},
        {"#if 08\n#endif\n", "t.rv:1: invalid integer constant \"08\" in #if\n"},
        {"#if \"s\"\n#endif\n", "t.rv:1: token \"\"s\"\" is not valid in #if\n"},
        {"#if defined\n#endif\n", "t.rv:1: operator \"defined\" requires an identifier\n"},
        {"#ifdef\n#endif\n", "t.rv:1: no macro name given in #ifdef\n"},
        {"\n\n#error stop  here \n", "t.rv:3: #error stop  here\n"},
    });
}

} // namespace
