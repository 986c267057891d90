// The locale edge: text and names across it, and UTF-8 script files.
#include <gtest/gtest.h>

#include <string>

#include "io/ostext.h"

namespace {

using namespace ruvo;

const std::string kNihonUtf8 = "\xE6\x97\xA5\xE6\x9C\xAC"; // 日本
const std::string kNihonSjis = "\x93\xFA\x96\x7B";

class OsText : public ::testing::Test {
protected:
    void SetUp() override { os_text_assume(true); }
    void TearDown() override { os_text_assume(false); }
};

TEST_F(OsText, TextFollowsTheCodePage) {
    EXPECT_EQ(os_to_text("a" + kNihonUtf8), "a" + kNihonSjis);
    EXPECT_EQ(text_to_os("a" + kNihonSjis), "a" + kNihonUtf8);
    EXPECT_EQ(os_to_text("caf\xC3\xA9"), "caf?");             // é: the code page lacks it
    EXPECT_EQ(os_to_text("\xF0\x9F\x98\x80!"), "?!");          // beyond the BMP
    EXPECT_EQ(os_to_text("x\xE9y\xFF"), "x\xE9y\xFF");         // not UTF-8: bytes pass
    EXPECT_EQ(os_to_text("\xE6\x97"), "\xE6\x97");             // a sequence cut short
}

TEST_F(OsText, NamesComeBackAsTheSameBytes) {
    const std::string names[] = {
        "plain.txt", kNihonUtf8 + ".txt", "dir/" + kNihonUtf8 + "/x", "caf\xC3\xA9.txt",
        "\xE9t\xE9.txt", "\x93\xFA",  // Latin-1 bytes; Shift_JIS bytes
        "\xF0\x9F\x98\x80", "/", "a//b/",
    };
    for (const std::string& n : names) EXPECT_EQ(name_to_os(os_to_name(n)), n) << n;
    EXPECT_EQ(os_to_name("dir/" + kNihonUtf8), "dir/" + kNihonSjis);
    // A component that is not UTF-8 stays whole; its neighbours still convert.
    EXPECT_EQ(os_to_name(kNihonUtf8 + "/caf\xC3\xA9"), kNihonSjis + "/caf\xC3\xA9");
    EXPECT_EQ(name_to_os(kNihonSjis + ".rv"), kNihonUtf8 + ".rv");
}

TEST(OsTextC, NothingChangesUnderTheCLocale) {
    os_text_assume(false);
    for (const std::string& s : {kNihonUtf8, kNihonSjis, std::string("\xE9\xFF")}) {
        EXPECT_EQ(os_to_text(s), s);
        EXPECT_EQ(text_to_os(s), s);
        EXPECT_EQ(os_to_name(s), s);
        EXPECT_EQ(name_to_os(s), s);
    }
}

TEST(ScriptText, DeclaredByMarkOrCodingLine) {
    EXPECT_FALSE(script_text_from_utf8("print(\"" + kNihonUtf8 + "\");\n").converted);
    script_text_result bom = script_text_from_utf8("\xEF\xBB\xBFprint(1);\n");
    EXPECT_TRUE(bom.converted);
    EXPECT_EQ(bom.text, "print(1);\n");
    for (const char* head : {"// coding: utf-8\n", "#!/usr/bin/ruvo\n// -*- Coding=UTF-8 -*-\n",
                             "/* vim: set fileencoding=utf-8 : */\n"}) {
        script_text_result r = script_text_from_utf8(head + ("x = \"" + kNihonUtf8 + "\";\n"));
        EXPECT_TRUE(r.converted) << head;
        EXPECT_EQ(r.text, head + ("x = \"" + kNihonSjis + "\";\n")) << head;
    }
    // On the third line the comment declares nothing.
    EXPECT_FALSE(script_text_from_utf8("\n\n// coding: utf-8\n").converted);
}

TEST(ScriptText, SixCharactersTakeTheCodePageCodes) {
    script_text_result r = script_text_from_utf8(
        "\xEF\xBB\xBF\xE3\x80\x9C\xE2\x80\x96\xE2\x88\x92\xC2\xA2\xC2\xA3\xC2\xAC");
    EXPECT_EQ(r.text, "\x81\x60\x81\x61\x81\x7C\x81\x91\x81\x92\x81\xCA");
    EXPECT_EQ(r.bad_line, 0);
}

TEST(ScriptText, LackingCharactersFailOutsideComments) {
    const std::string bom = "\xEF\xBB\xBF";
    script_text_result comment = script_text_from_utf8(
        bom + "// caf\xC3\xA9\nx = 1; /* \xC3\xA9\n\xC3\xA9 */ y = \"// \";\n");
    EXPECT_EQ(comment.bad_line, 0);
    EXPECT_EQ(comment.text, "// caf\nx = 1; /* \n */ y = \"// \";\n"); // lines stay
    // "//" inside a string opens no comment; here-strings run over lines.
    EXPECT_EQ(script_text_from_utf8(bom + "a;\nx = \"// \xC3\xA9\";\n").bad_line, 2);
    EXPECT_EQ(script_text_from_utf8(bom + "x = \"\"\"\n//\n\xC3\xA9\n\"\"\";\n").bad_line, 3);
    EXPECT_EQ(script_text_from_utf8(bom + "x = 'it\\'s // \xC3\xA9';\n").bad_line, 1);
    EXPECT_EQ(script_text_from_utf8(bom + "x;\n\ny = \xFF;\n").bad_line, 3); // not UTF-8
}

} // namespace
