// Text the preprocessor must leave alone: literals, comments, regular expressions and
// Shift_JIS characters whose second byte looks like a backslash or a backtick.
#include "pp_test_util.h"

using pptest::run;

namespace {

// The output without the leading #line directive.
std::string body(const std::string& text) {
    pptest::Result r = run(text);
    EXPECT_TRUE(r.ok) << r.errors;
    return r.out.substr(r.out.find('\n') + 1);
}

TEST(Lexing, LiteralsAndCommentsAreNotExpanded) {
    const std::string defs = "#define M X\n";
    EXPECT_EQ(body(defs + "a = \"M \\\" M\" + M;\n"), "\na = \"M \\\" M\" + X;\n");
    EXPECT_EQ(body(defs + "a = 'M \\' \\ M' + M;\n"), "\na = 'M \\' \\ M' + X;\n");
    EXPECT_EQ(body(defs + "// don't M\nM /* it's \"M\n M */ M\n"),
              "\n// don't M\nX /* it's \"M\n M */ X\n");
    // A '#' in the middle of a line starts a skipped rest of line for the scanner.
    EXPECT_EQ(body(defs + "M # M's\nM\n"), "\nX # M's\nX\n");
}

TEST(Lexing, HereStringsHideDirectivesAndQuotes) {
    std::string text = "#define M X\n"
                       "s = \"\"\"  \n"
                       "#define M Y\n"
                       "it's \"M\" \"\"\" M\n"
                       "#endif\n"
                       "\"\"\" + M;\n";
    EXPECT_EQ(body(text),
              "\ns = \"\"\"  \n#define M Y\nit's \"M\" \"\"\" M\n#endif\n\"\"\" + X;\n");
    // Without a newline after them three quotes are an empty string and another string.
    EXPECT_EQ(body("#define M X\ns = \"\"\"M\" M;\n"), "\ns = \"\"\"M\" X;\n");
}

TEST(Lexing, RegexOrDivision) {
    const std::string defs = "#define M X\n";
    // Where an operand is expected '/' opens a regular expression, which may hold quotes.
    EXPECT_EQ(body(defs + "r = /M'\"\\/M/im; M\n"), "\nr = /M'\"\\/M/im; X\n");
    EXPECT_EQ(body(defs + "f(/M/, 1); return /M/;\n"), "\nf(/M/, 1); return /M/;\n");
    // After an operand it is division.
    EXPECT_EQ(body(defs + "a / M / b; (c) / M / 2; x++ / M / 2; $1 / M / 2;\n"),
              "\na / X / b; (c) / X / 2; x++ / X / 2; $1 / X / 2;\n");
    // A '/' with no closing slash on its line is an operator.
    EXPECT_EQ(body(defs + "= / M\n/ M\n"), "\n= / X\n/ X\n");
    // $' and $` are match variables, not the start of a string.
    EXPECT_EQ(body(defs + "$' + M + $`;\n"), "\n$' + X + $`;\n");
}

TEST(Lexing, ShiftJisTrailBytesAreNotAscii) {
    const std::string defs = "#define M X\n";
    // 0x95 0x5C is one character: the 0x5C does not escape the closing quote.
    EXPECT_EQ(body(defs + "s = \"\x95\x5c\"; M\n"), "\ns = \"\x95\x5c\"; X\n");
    EXPECT_EQ(body(defs + "s = '\x95\x5c'; M\n"), "\ns = '\x95\x5c'; X\n");
    EXPECT_EQ(body(defs + "r = /\x95\x5c/; M\n"), "\nr = /\x95\x5c/; X\n");
    // 0x83 0x60 belongs to the identifier, so "M" is only part of a longer name.
    EXPECT_EQ(body(defs + "\x83\x60M = M;\n"), "\n\x83\x60M = X;\n");
    // A directive line ending in 0x95 0x5C does not continue.
    EXPECT_EQ(body("#define S \"\x95\x5c\n#define M X\nM\n"), "\n\nX\n");
}

TEST(Lexing, UnterminatedLiteralsEndFinitely) {
    for (std::string tail : {"\"abc", "'abc", "\"\"\"\nabc", "/* abc", "/abc", "#"}) {
        pptest::Result r = run("#define M X\nM " + tail);
        EXPECT_TRUE(r.ok) << tail;
        EXPECT_NE(r.out.find("X " + tail), std::string::npos) << tail;
    }
}

TEST(Lexing, NulBytesAndLongLinesPassThrough) {
    std::string nul("a\0b M\n", 6);
    EXPECT_EQ(body("#define M X\n" + nul), std::string("\na\0b X\n", 7));
    // A 4 MiB line: one string literal, then many macro uses.
    std::string literal = "s = \"" + std::string(size_t{4} << 20, 'M') + "\";";
    std::string uses, expanded;
    for (int i = 0; i < 20000; ++i) uses += "M+", expanded += "1+";
    EXPECT_EQ(body("#define M 1\n" + literal + uses + "\n"), "\n" + literal + expanded + "\n");
}

} // namespace
