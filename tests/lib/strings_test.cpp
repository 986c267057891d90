// The string built-ins, called through their registrations.
#include <gtest/gtest.h>

#include <string>

#include "builtin_call.h"

using namespace ruvo;
using namespace ruvo::test;

namespace {

std::string s1(const char* name, std::string_view s) {
    return text(call(string_builtins(), name, {str(s)}));
}
std::string slice(const char* name, std::string_view s, double pos, double len) {
    return text(call(string_builtins(), name, {str(s), Value(pos), Value(len)}));
}
std::string slice(const char* name, std::string_view s, double pos) {
    return text(call(string_builtins(), name, {str(s), Value(pos)}));
}
double find(const char* name, std::string_view s, std::string_view t) {
    return call(string_builtins(), name, {str(s), str(t)}).num();
}
double find(const char* name, std::string_view s, std::string_view t, double start) {
    return call(string_builtins(), name, {str(s), str(t), Value(start)}).num();
}
std::string tr(std::string_view s, std::string_view from, std::string_view to) {
    return text(call(string_builtins(), "tr", {str(s), str(from), str(to)}));
}
std::string tabs(const char* name, std::string_view s, double w = 8) {
    return text(call(string_builtins(), name, {str(s), Value(w)}));
}

// Double-byte characters (lead 0x82 with trails 0xA0, 0xA2, 0xA4) and the full-width space.
const std::string A = "\x82\xa0", I = "\x82\xa2", U = "\x82\xa4", WIDE = "\x81\x40";

} // namespace

TEST(Strings, chop_removes_one_character_and_chomp_one_line_end) {
    EXPECT_EQ(s1("chop", "abc\r\n"), "abc");
    EXPECT_EQ(s1("chop", "abc\n"), "abc");
    EXPECT_EQ(s1("chop", "abc\r"), "abc");
    EXPECT_EQ(s1("chop", ""), "");
    EXPECT_EQ(s1("chop", "a" + A), "a");
    // 0x82 0x82 0x61 is one double-byte character and "a": only the "a" goes.
    EXPECT_EQ(s1("chop", "\x82\x82" + std::string("a")), "\x82\x82");
    EXPECT_EQ(s1("chomp", "abc\r\n"), "abc");
    EXPECT_EQ(s1("chomp", "abc\r"), "abc\r");
    EXPECT_EQ(s1("chomp", "abc\n\n"), "abc\n");
}

TEST(Strings, case_mapping_skips_double_byte_characters) {
    // Double-byte characters whose second bytes are the codes of "a" and "A".
    const std::string ka = "\x82\x61", kA = "\x82\x41";
    EXPECT_EQ(s1("toupper", "ab" + ka + "c"), "AB" + ka + "C");
    EXPECT_EQ(s1("tolower", "AB" + kA + "Z"), "ab" + kA + "z");
    EXPECT_EQ(s1("toupper", std::string("a\0b", 3)), std::string("A\0B", 3));
}

TEST(Strings, substr_and_rsubstr_count_bytes) {
    EXPECT_EQ(slice("substr", "abcdef", 2), "cdef");
    EXPECT_EQ(slice("substr", "abcdef", 2, 3), "cde");
    EXPECT_EQ(slice("substr", "abcdef", -2), "ef");
    EXPECT_EQ(slice("substr", "abcdef", 4, 10), "ef");
    EXPECT_EQ(slice("substr", "abcdef", 6), "");
    EXPECT_EQ(slice("rsubstr", "abcdef", 4, 2), "cd");
    EXPECT_EQ(slice("rsubstr", "abcdef", 4), "abcd");
    EXPECT_EQ(slice("rsubstr", "abcdef", -1), "abcde");
    EXPECT_EQ(slice("rsubstr", "abcdef", 2, 5), "ab");
    // Starts outside the string give the empty string.
    EXPECT_EQ(slice("substr", "abcdef", 7), "");
    EXPECT_EQ(slice("substr", "abcdef", -7), "");
    EXPECT_EQ(slice("substr", "abcdef", 1e12, 1), "");
    EXPECT_EQ(slice("substr", "abcdef", -1e12), "");
    EXPECT_EQ(slice("rsubstr", "abcdef", 7, 2), "");
    EXPECT_EQ(slice("rsubstr", "abcdef", -7), "");
    EXPECT_EQ(slice("substr", "abcdef", 1.9, 2.9), "bc"); // positions truncate
}

TEST(Strings, index_and_rindex_search_bytes) {
    EXPECT_EQ(find("index", "abcabc", "c"), 2);
    EXPECT_EQ(find("index", "abcabc", "c", 3), 5);
    EXPECT_EQ(find("index", "abc", ""), 0);
    EXPECT_EQ(find("index", "", ""), -1);
    EXPECT_EQ(find("index", "abc", "c", -1), 2);
    EXPECT_EQ(find("index", "abc", "a", -10), -1);
    EXPECT_EQ(find("rindex", "abcabc", "b"), 4);
    EXPECT_EQ(find("rindex", "abcc", "c"), 2);
    EXPECT_EQ(find("rindex", "abcabc", "a", 2), 0);
    EXPECT_EQ(find("rindex", "abc", "x", 1e12), -1);
    // The last position tried is length - needle length - 1.
    EXPECT_EQ(find("rindex", "abc", "c"), -1);
    EXPECT_EQ(find("rindex", "abc", "bc"), -1);
}

TEST(Strings, j_functions_count_double_byte_characters) {
    std::string s = A + I + U + "x";
    EXPECT_EQ(call(string_builtins(), "jlen", {str(s)}).num(), 4);
    EXPECT_EQ(slice("jsubstr", s, 1, 2), I + U);
    EXPECT_EQ(slice("jsubstr", s, -1), "x");
    EXPECT_EQ(slice("jsubstr", s, -10, 1), A);
    EXPECT_EQ(slice("jsubstr", s, 4), "");
    EXPECT_EQ(slice("jrsubstr", s, 3), A + I + U);
    EXPECT_EQ(slice("jrsubstr", s, 3, 1), U);
    EXPECT_EQ(slice("jrsubstr", s, 2, 5), A + I);
    EXPECT_EQ(slice("jrsubstr", s, -1, 2), I + U);
    EXPECT_EQ(find("jindex", s, U), 2);
    EXPECT_EQ(find("jindex", s, A, -5), 0);
    EXPECT_EQ(find("jindex", s, A, 1), -1);
    EXPECT_EQ(find("jrindex", s + A + "y", A), 4);
    EXPECT_EQ(find("jrindex", s + A + "y", A, 3), 0);
    EXPECT_EQ(find("jrindex", s, A, -10), -1);
    // A match on the second byte of a character reports the character after it; a backward
    // search only tries character starts.
    std::string t = "\x82\x61" + std::string("bac"); // 0x82 0x61 is one character
    EXPECT_EQ(find("jindex", t, "a"), 1);
    EXPECT_EQ(find("jrindex", t, "a"), 2);
    EXPECT_EQ(find("jrindex", "\x82\x61" + std::string("bc"), "a"), -1);
}

TEST(Strings, trimming_knows_the_full_width_space_and_keeps_the_line_end) {
    EXPECT_EQ(s1("ltrim", WIDE + " \ta"), "a");
    EXPECT_EQ(s1("ltrim", "\x81\x61"), "\x81\x61"); // 0x81 without 0x40 is no blank
    EXPECT_EQ(s1("rtrim", "a  \r\n"), "a\r\n");
    EXPECT_EQ(s1("rtrim", "a \t" + WIDE + "\n"), "a\n");
    EXPECT_EQ(s1("rtrim", "a \r"), "a \r");
    EXPECT_EQ(s1("rtrim", "   "), "");
    EXPECT_EQ(s1("trim", "  a  \n"), "a\n");
    EXPECT_EQ(s1("trim", WIDE + "a b" + WIDE), "a b");
    // 0x81 0x81 is a character; the 0x81 0x40 across its second byte is not a blank.
    EXPECT_EQ(s1("rtrim", "\x81\x81\x40"), "\x81\x81\x40");
}

TEST(Strings, detab_and_entab_follow_tab_stops) {
    EXPECT_EQ(tabs("detab", "a\tb"), "a       b");
    EXPECT_EQ(tabs("detab", "a\tb", 4), "a   b");
    EXPECT_EQ(tabs("detab", "ab\n\tc", 4), "ab\n c"); // a line feed does not reset the column
    EXPECT_EQ(tabs("detab", A + "\tx", 4), A + "  x");
    // 0x82 0x81 is a character and "@" follows: its second byte and the "@" are no full-width
    // space, so nothing of the text turns into spaces.
    EXPECT_EQ(tabs("detab", "\x82\x81\x40\tx", 4), "\x82\x81\x40 x");
    EXPECT_EQ(tabs("entab", "        x"), "\tx");
    EXPECT_EQ(tabs("entab", "a  b"), "a  b");
    EXPECT_EQ(tabs("entab", "abc     d", 4), "abc\t\td");
    EXPECT_EQ(tabs("entab", "abc" + WIDE + "d", 4), "abc\t d");
    EXPECT_EQ(tabs("entab", " \t x", 4), "\t x");
    EXPECT_EQ(raised(string_builtins(), "entab", {str("x"), Value(0)}),
              "error [7]: Bad argument in entab()");
    EXPECT_EQ(raised(string_builtins(), "detab", {str("x"), Value(-1)}),
              "error [7]: Bad argument in detab()");
    // A width that would need gigabytes of spaces is refused rather than attempted.
    EXPECT_EQ(raised(string_builtins(), "detab", {str("\t\t"), Value(2147483647.0)}),
              "error [7]: Bad argument in detab()");
}

TEST(Strings, tr_expands_ranges_and_reuses_the_last_target) {
    EXPECT_EQ(tr("hello", "a-y", "b-z"), "ifmmp");
    EXPECT_EQ(tr("abc", "abc", "x"), "xxx");
    EXPECT_EQ(tr("a-b", "-", "+"), "a+b");
    EXPECT_EQ(tr("a-b", "a-", "xy"), "xyb");
    EXPECT_EQ(tr("abc", "c-a", "123"), "321");
    EXPECT_EQ(tr("bad", "a-cb", "123x"), "21d"); // the first place of b decides
    EXPECT_EQ(tr("abc", "abc", ""), "abc");      // nothing to map to: unchanged
    EXPECT_EQ(tr(A + "a", A, "z"), "za");
    EXPECT_EQ(tr("ab", "a-b", A + "-" + U), A + U.substr(0, 1) + "\xa1");
    // Codes from 256 up are written as two bytes.
    EXPECT_EQ(tr("a", "a", "\xff-\x81\x40"), "\xff");
    EXPECT_EQ(tr("ab", "ab", "\xff-\x81\x40"), std::string("\xff\x01\x00", 3));
}

TEST(Strings, tr_with_a_huge_overlapping_list_stays_fast) {
    std::string from;
    for (int i = 0; i < 20000; ++i) from += "\x81\x40-\xfc\xfc\x61-z";
    std::string s(200000, 'q');
    EXPECT_EQ(tr(s, from, "Q"), std::string(200000, 'Q'));
}

TEST(Strings, arguments_are_checked_in_order) {
    EXPECT_EQ(raised(string_builtins(), "substr", {Value(5), Value(1)}),
              "error [7]: Cannot convert arg to string");
    EXPECT_EQ(raised(string_builtins(), "substr", {str("abc"), str("1")}),
              "error [7]: Cannot convert arg to number");
    EXPECT_EQ(raised(string_builtins(), "index", {str("abc"), Value()}),
              "error [7]: Cannot convert arg to string");
    EXPECT_EQ(raised(string_builtins(), "tr", {str("a"), str("a"), Value(1)}),
              "error [7]: Cannot convert arg to string");
    EXPECT_EQ(text(call(string_builtins(), "substr", {str("abc"), Value::boolean(true)})), "bc");
}
