// The scanner's literal forms, states and line counting, seen through the token stream.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "front/source.h"
#include "parser.hpp"

using namespace ruvo;

namespace {

// One token as text: "NUMBER:9", "IDENT:x", "STRING:\"..\"", "'c'", or the code for the rest.
std::string token_text(int t) {
    Node* v = tokenValue();
    std::string s;
    switch (t) {
    case NUMBER: {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.17g", v->number);
        s = std::string("N:") + buf;
        break;
    }
    case IDENT: s = "I:" + std::string(v->name()->text()); break;
    case STRING: s = "S:" + v->str()->bytes; break;
    case REGEX: s = "R:" + v->regex()->pattern + "/" + std::to_string(v->regex()->flags); break;
    case NULLVAL: s = "null"; break;
    case BOOLVAL: s = v->op == OP_TRUE ? "true" : "false"; break;
    case BADSTR: return "BADSTR";
    default:
        if (t < 256) return std::string(1, static_cast<char>(t));
        return "#" + std::to_string(t);
    }
    destroy_node(v);
    return s;
}

std::vector<std::string> scan(std::string_view text) {
    setSourceText(text);
    std::vector<std::string> out;
    for (int t; (t = nextToken()) != 0;) out.push_back(token_text(t));
    return out;
}

using V = std::vector<std::string>;

} // namespace

TEST(Scanner, NumberForms) {
    EXPECT_EQ(scan("09"), (V{"N:0", "N:9"}));
    EXPECT_EQ(scan("078"), (V{"N:7", "N:8"}));
    EXPECT_EQ(scan("07.5 09.5"), (V{"N:7.5", "N:9.5"}));
    EXPECT_EQ(scan("0_ 0x_ff 0b_1_0"), (V{"N:0", "N:255", "N:2"}));
    EXPECT_EQ(scan("0X1F"), (V{"N:0", "I:X1F"}));
    EXPECT_EQ(scan("1. 1.2.3"), (V{"N:1", "N:1.2", "N:0.29999999999999999"}));
    EXPECT_EQ(scan("1..5e3 2E+2 .5e-1"), (V{"N:1", "N:200", "N:0.050000000000000003"}));
    EXPECT_EQ(scan("0b" + std::string(33, '1')), (V{"N:-1"}));
    EXPECT_EQ(scan("0xFFFFFFFF 0x80000000 0x100000000 4294967295"),
              (V{"N:-1", "N:-2147483648", "N:0", "N:4294967295"}));
    EXPECT_EQ(scan("1...2 01.2.3 0778 .5..x"),
              (V{"N:1", ".", "N:0.20000000000000001", "N:1.2", "N:0.29999999999999999", "N:63",
                 "N:8", "N:0.5", ".", ".", "I:x"}));
    // Long runs of digits and dots scan in linear time.
    std::string run;
    for (int i = 0; i < 200000; ++i) run += "1.";
    EXPECT_EQ(scan(run).size(), 200000u);
    EXPECT_EQ(scan(std::string(200000, '.')).size(), 200000u);
    // A member named like an exponent stays a member.
    EXPECT_EQ(scan("p.e1"), (V{"I:p", ".", "I:e1"}));
}

TEST(Scanner, ConstantsNamesAndGluedWords) {
    EXPECT_EQ(scan("@pi @e @eps @max @foo"),
              (V{"N:3.1415926535897931", "N:2.7182818284590451", "N:2.2204460492503131e-16",
                 "N:1.7976931348623157e+308", "@", "I:foo"}));
    setSourceText("@nan @inf");
    ASSERT_EQ(nextToken(), NUMBER);
    EXPECT_TRUE(std::isnan(tokenValue()->number));
    destroy_node(tokenValue());
    ASSERT_EQ(nextToken(), NUMBER);
    EXPECT_TRUE(std::isinf(tokenValue()->number));
    destroy_node(tokenValue());

    EXPECT_EQ(scan("$1 $& $' $+ $_ $` $_x $ x"),
              (V{"I:$1", "I:$&", "I:$'", "I:$+", "I:$_", "I:$`", "I:$_x", "$", "I:x"}));
    EXPECT_EQ(scan("default \n : default hash ( hash x struct(swap(let("),
              (V{"#280", "I:default", "#315", "I:hash", "I:x", "#314", "#312", "#313"}));
    EXPECT_EQ(scan("nullx true class new"), (V{"I:nullx", "true", "#316", "#317"}));
    EXPECT_EQ(scan(">>>= >>> >> >= > === == = =~ !~ !== \\= **= **"),
              (V{"#306", "#300", "#299", "#284", "#283", "#287", "#281", "=", "#289", "#290",
                 "#288", "#319", "#320", "#309"}));
    EXPECT_EQ(scan("\f\r"), (V{"\f", "\r"}));
}

TEST(Scanner, DoubleQuotedEscapes) {
    EXPECT_EQ(scan(R"("\q" "\\q" "\o777" "\x41\x4A")"), (V{"S:q", "S:\\q", "S:\xff", "S:AJ"}));
    EXPECT_EQ(scan(R"("\x0" "\0" "\xzz" "\012")"),
              (V{std::string("S:\0", 3), std::string("S:\0", 3), std::string("S:\0", 3),
                 std::string("S:\0"
                             "12",
                             5)}));
    EXPECT_EQ(scan(R"("a\tb\n\"\'")"), (V{"S:a\tb\n\"'"}));
    EXPECT_EQ(scan(R"('a\n\'b')"), (V{"S:a\\n'b"}));
    // A Shift_JIS character whose trail byte is a backslash survives both stages.
    EXPECT_EQ(scan("\"\x95\x5cn\""), (V{"S:\x95\x5cn"}));
    EXPECT_EQ(scan("\"\x82\xa0\" \xb1"), (V{"S:\x82\xa0", "I:\xb1"}));
}

TEST(Scanner, BrokenStringsAndLines) {
    setSourceText("\"abc\nx 'y");
    EXPECT_EQ(nextToken(), BADSTR);
    EXPECT_EQ(currentLine(), 2);
    EXPECT_EQ(token_text(nextToken()), "I:x");
    EXPECT_EQ(nextToken(), BADSTR);
    EXPECT_EQ(nextToken(), 0);
    EXPECT_EQ(nextToken(), 0);

    setSourceText("/* a\nb */ // c \\\n d\n__LINE__");
    EXPECT_EQ(token_text(nextToken()), "I:d");
    EXPECT_EQ(token_text(nextToken()), "N:4");
    EXPECT_EQ(scan("/* never closed"), V{});
}

TEST(Scanner, HereStrings) {
    EXPECT_EQ(scan("\"\"\"  \nline 1\n  \"\"\"\nline \"\"\" 2\n\"\"\"x"),
              (V{"S:line 1\n  \"\"\"\nline \"\"\" 2\n", "I:x"}));
    EXPECT_EQ(scan("\"\"\"\n\"\"\""), (V{"S:"}));
    // Without the newline the quotes are an empty string and the start of another.
    EXPECT_EQ(scan("\"\"\"a\""), (V{"S:", "S:a"}));
    EXPECT_EQ(scan("\"\"\"\nopen"), (V{"BADSTR"}));
}

TEST(Scanner, LineDirectivesAndSkippedLines) {
    setSourceText("#line 10\n__LINE__ # Line 0\n__LINE__\n#  LINE 7 \"a.rv\"\n__FILE__ __LINE__");
    EXPECT_EQ(token_text(nextToken()), "N:10");
    EXPECT_EQ(token_text(nextToken()), "N:1");
    EXPECT_EQ(token_text(nextToken()), "S:a.rv");
    EXPECT_EQ(token_text(nextToken()), "N:7");
    EXPECT_STREQ(frontend.fids.lookup(currentFileId()), "a.rv");

    // An empty name is no name: the quotes are an empty string.
    setSourceText("#line 1\"\"\n__LINE__");
    EXPECT_EQ(token_text(nextToken()), "S:");
    EXPECT_EQ(token_text(nextToken()), "N:1");
    EXPECT_EQ(currentFileId(), -1);

    setSourceText("#!/bin/x\n#define A \\\n  B \\\n C\n__LINE__ #lines 3\n__LINE__");
    EXPECT_EQ(token_text(nextToken()), "N:5");
    EXPECT_EQ(token_text(nextToken()), "N:6");
}

TEST(Scanner, LineNumbersStopAtTheLargestLine) {
    // Every rule that counts a newline: code, comments, a here-string, a broken string, a
    // glued word, a continued skipped line.
    setSourceText("#line 2147483646\n\n/*\n\n*/ // c\n\"\"\"\n\n\"\"\" default\n\n: # a \\\n\n"
                  " 'x\n__LINE__");
    EXPECT_EQ(token_text(nextToken()), "S:\n");
    EXPECT_EQ(nextToken(), DEFAULT);
    EXPECT_EQ(nextToken(), BADSTR);
    EXPECT_EQ(token_text(nextToken()), "N:2147483647");
    EXPECT_EQ(scan("#line 2147483647\n__LINE__\n\n__LINE__"), (V{"N:2147483647", "N:2147483647"}));
    EXPECT_EQ(scan("#line 99999999999999999999\n__LINE__"), (V{"N:2147483647"}));
}

// A token far longer than the scanner's buffer comes out whole, however the refills fall.
TEST(Scanner, LongTokens) {
    std::string body(3'000'001, 'a');
    body[5] = '\x82';
    body[6] = '\xa0'; // a double-byte character, converted there and back
    body[200'000] = '\n';
    std::vector<std::string> got = scan("x \"\"\"\n" + body + "\n\"\"\" /*" + body + "*/ __LINE__");
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0], "I:x");
    EXPECT_EQ(got[1], "S:" + body + "\n");
    EXPECT_EQ(got[2], "N:5");
}

TEST(Scanner, RegexBody) {
    setSourceText("a\\/b\\d/mix /i");
    beginRegexBody();
    EXPECT_EQ(token_text(nextToken()), "R:a/b\\d/3");
    EXPECT_EQ(token_text(nextToken()), "I:x");
    beginRegexBody();
    EXPECT_EQ(token_text(nextToken()), "R: /1");
    // A newline stays in the pattern and counts its line.
    setSourceText("a\nb/ __LINE__");
    beginRegexBody();
    EXPECT_EQ(token_text(nextToken()), "R:a\nb/0");
    EXPECT_EQ(token_text(nextToken()), "N:2");
}

TEST(SourceReader, FilesAndTables) {
    std::string path = ::testing::TempDir() + "front_source.rv";
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_TRUE(f);
    std::fwrite("a\r\nb\r\r\n\"\x82\xa0\"\0c", 1, 14, f);
    std::fclose(f);
    ASSERT_TRUE(setSourceFile(path.c_str()));
    EXPECT_STREQ(frontend.fids.lookup(currentFileId()), path.c_str());
    EXPECT_EQ(token_text(nextToken()), "I:a");
    EXPECT_EQ(token_text(nextToken()), "I:b");
    EXPECT_EQ(token_text(nextToken()), "\r");
    EXPECT_EQ(token_text(nextToken()), "S:\x82\xa0");
    EXPECT_EQ(currentLine(), 3);
    EXPECT_EQ(nextToken(), 0); // cut at the NUL byte

    f = std::fopen(path.c_str(), "wb");
    std::fclose(f);
    EXPECT_FALSE(setSourceFile(path.c_str()));
    EXPECT_FALSE(setSourceFile((path + ".missing").c_str()));
    EXPECT_FALSE(setSourceFile(nullptr));
    EXPECT_EQ(currentFileId(), -1);
    std::remove(path.c_str());

    FIDMan t;
    EXPECT_EQ(t.intern(""), -1);
    EXPECT_EQ(t.intern(static_cast<const char*>(nullptr)), -1);
    EXPECT_EQ(t.intern("a"), 0);
    EXPECT_EQ(t.intern("b"), 1);
    EXPECT_EQ(t.intern("a"), 0);
    EXPECT_EQ(t.lookup(2), nullptr);
    EXPECT_EQ(t.lookup(-1), nullptr);
}

TEST(SourceReader, Conversions) {
    // Full-width space, a kanji with trail >= 0x9F, a user-area lead, half-width katakana.
    EXPECT_EQ(front_sjis_to_euc("\x81\x40\x88\x9f\xe0\x40\xb1z"),
              "\xa1\xa1\xb0\xa1\xdf\xa1\x8e\xb1z");
    for (std::string s : {"\x81\x40", "\x88\x9f", "\x9f\xfc", "\xe0\x40", "\xea\xa4", "\xb1"})
        EXPECT_EQ(front_euc_to_sjis(front_sjis_to_euc(s)), s);
    EXPECT_EQ(front_euc_to_sjis("a\x8f\xa1\xa1"
                                "b"),
              "ab");
    EXPECT_EQ(front_sjis_to_euc("\x81"), "\x81"); // lone lead byte copied
}
