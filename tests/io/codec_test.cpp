// The code page 932 table, the replacement rules, the UTF-8 codec and the EUC-JP arithmetic.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "io/codec.h"

namespace {

using namespace ruvo;
using namespace std::string_literals;

std::string bytes(std::initializer_list<int> list) {
    std::string s;
    for (int b : list) s.push_back(static_cast<char>(b));
    return s;
}

// UTF-16 text as little-endian units.
std::string units(std::initializer_list<int> list) {
    std::string s;
    for (int u : list) {
        s.push_back(static_cast<char>(u & 0xFF));
        s.push_back(static_cast<char>(u >> 8));
    }
    return s;
}

TEST(Cp932, MapsBothWaysForKnownCharacters) {
    struct Pair {
        std::string sjis;
        int unit;
    };
    const Pair pairs[] = {
        {bytes({0x82, 0xA0}), 0x3042}, // hiragana a
        {bytes({0x81, 0x60}), 0xFF5E}, // wave dash as the code page has it
        {bytes({0x81, 0x5F}), 0xFF3C}, // full-width backslash
        {bytes({0x84, 0x47}), 0x0416}, // Cyrillic Zhe
        {bytes({0x5C}), 0x005C},       {bytes({0x7E}), 0x007E},
        {bytes({0xB1}), 0xFF71}, // half-width katakana a
        {bytes({0x80}), 0x0080},       {bytes({0xA0}), 0xF8F0},
        {bytes({0xFD}), 0xF8F1},       {bytes({0xFE}), 0xF8F2},
        {bytes({0xFF}), 0xF8F3},       {bytes({0xF0, 0x40}), 0xE000}, // user-defined area
    };
    for (const Pair& p : pairs) {
        EXPECT_EQ(sjis_to_utf16(p.sjis), units({p.unit})) << std::hex << p.unit;
        EXPECT_EQ(utf16_to_sjis(units({p.unit})), p.sjis) << std::hex << p.unit;
    }
}

TEST(Cp932, DuplicateCodesComeBackAsThePreferredCode) {
    // NEC row 13 and JIS X 0208: the JIS code wins.
    EXPECT_EQ(sjis_to_utf16(bytes({0x87, 0x90})), units({0x2252}));
    EXPECT_EQ(utf16_to_sjis(units({0x2252})), bytes({0x81, 0xE0}));
    // IBM extension and NEC row 13: the NEC code wins (Roman numeral one).
    EXPECT_EQ(sjis_to_utf16(bytes({0xFA, 0x4A})), units({0x2160}));
    EXPECT_EQ(utf16_to_sjis(units({0x2160})), bytes({0x87, 0x54}));
    // NEC-selected IBM extension and IBM extension: the IBM code wins.
    EXPECT_EQ(sjis_to_utf16(bytes({0xED, 0x40})), units({0x7E8A}));
    EXPECT_EQ(utf16_to_sjis(units({0x7E8A})), bytes({0xFA, 0x5C}));
    EXPECT_EQ(utf16_to_sjis(units({0x2170})), bytes({0xFA, 0x40}));
    EXPECT_EQ(utf16_to_sjis(units({0xFFE2})), bytes({0x81, 0xCA})); // not signs 0xEEF9, 0xFA54
}

TEST(Cp932, ReplacesWhatCannotBeConverted) {
    EXPECT_EQ(utf16_to_sjis(units({'a', 0x20AC, 'b'})), "a?b");    // euro sign
    EXPECT_EQ(utf16_to_sjis(units({0xD83D, 0xDE00, 'x'})), "?x");  // a pair is one character
    EXPECT_EQ(utf16_to_sjis(units({0xDC00, 'x', 0xD800})), "?x?"); // lone surrogates
    EXPECT_EQ(utf16_to_sjis(units({0xD800, 0xD800, 0xDC00})), "??");
    EXPECT_EQ(sjis_to_utf16(bytes({0x85, 0x40, 'a'})), units({0x30FB, 'a'})); // unmapped pair
    // A lead byte without a trail byte: U+30FB, and the next byte counts on its own.
    EXPECT_EQ(sjis_to_utf16(bytes({0x82, 0x0A})), units({0x30FB, 0x0A}));
    EXPECT_EQ(sjis_to_utf16(bytes({0x82, 0xFD, 0x7F})), units({0x30FB, 0xF8F1, 0x7F}));
    EXPECT_EQ(sjis_to_utf16(bytes({'a', 0x82})), units({'a', 0x30FB}));
    EXPECT_EQ(utf16_to_sjis(units({'a'}) + "\x42"), "a"); // odd trailing byte ignored
}

TEST(Cp932, KeepsNulBytes) {
    std::string sjis = bytes({'a', 0, 0x82, 0xA0, 0});
    std::string utf16 = units({'a', 0, 0x3042, 0});
    EXPECT_EQ(sjis_to_utf16(sjis), utf16);
    EXPECT_EQ(utf16_to_sjis(utf16), sjis);
    EXPECT_EQ(utf8_to_sjis(sjis_to_utf8(sjis)), sjis);
    EXPECT_EQ(euc_to_sjis(sjis_to_euc(sjis)), sjis);
}

TEST(Utf8, EncodesEachUnitOnItsOwn) {
    EXPECT_EQ(utf16_to_utf8(units({'A', 0x0416, 0x3042})), "A\xD0\x96\xE3\x81\x82");
    EXPECT_EQ(utf16_to_utf8(units({0xD83D, 0xDE00})), "\xED\xA0\xBD\xED\xB8\x80");
    EXPECT_EQ(sjis_to_utf8(bytes({0x82, 0xA0, 0xB1})), "\xE3\x81\x82\xEF\xBD\xB1");
}

TEST(Utf8, DecodesByTheLeadBits) {
    EXPECT_EQ(utf8_to_sjis("\xD0\x96"), bytes({0x84, 0x47}));
    EXPECT_EQ(utf8_to_sjis("a\xE2\x82\xAC"
                           "b"),
              "a?b");
    EXPECT_EQ(utf8_to_sjis("a\xF0\x9F\x98\x80"
                           "b"),
              "ab"); // four-byte emoji disappears
    EXPECT_EQ(utf8_to_utf16("\xEF\xBB\xBF"), units({0xFEFF}));
    EXPECT_EQ(utf8_to_utf16("\xF8\x80\x80\x80\x80"
                            "a\xFC\x80\x80\x80\x80\x80"
                            "b\xFE"
                            "c"),
              "a\0b\0c\0"s);
    // Continuation bytes are not checked.
    EXPECT_EQ(utf8_to_utf16("\xC3"
                            "A"),
              units({0xC1}));
    // CESU-style surrogates: the pair gives one "?".
    EXPECT_EQ(utf8_to_sjis("\xED\xA0\xBD\xED\xB8\x80"), "?");
}

TEST(Utf8, DropsASequenceCutShortByTheEnd) {
    EXPECT_EQ(utf8_to_utf16("a\xE3\x81"), units({'a'}));
    EXPECT_EQ(utf8_to_utf16("a\xD0"), units({'a'}));
    EXPECT_EQ(utf8_to_utf16("a\xF0\x9F"), units({'a'}));
    EXPECT_EQ(utf8_to_sjis("\xE3"), "");
}

TEST(Euc, UsesTheJisArithmetic) {
    // a (hiragana), Zhe, the last JIS X 0208 row, a user-defined code, half-width katakana
    EXPECT_EQ(sjis_to_euc(bytes({0x82, 0xA0})), bytes({0xA4, 0xA2}));
    EXPECT_EQ(sjis_to_euc(bytes({0x84, 0x47})), bytes({0xA7, 0xA8}));
    EXPECT_EQ(sjis_to_euc(bytes({0xEA, 0xA4})), bytes({0xF4, 0xA6}));
    EXPECT_EQ(sjis_to_euc(bytes({0x81, 0x9F})), bytes({0xA2, 0xA1}));
    EXPECT_EQ(sjis_to_euc(bytes({0xB1, 'a', 0xDF})), bytes({0x8E, 0xB1, 'a', 0x8E, 0xDF}));
}

TEST(Euc, RoundTripsEveryJisCharacterAndKana) {
    std::string sjis;
    for (int lead = 0x81; lead <= 0xEF; ++lead) {
        if (lead == 0xA0) lead = 0xE0;
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
            if (trail == 0x7F) continue;
            sjis += bytes({lead, trail});
        }
    }
    for (int kana = 0xA1; kana <= 0xDF; ++kana) sjis += bytes({kana, 'x'});
    std::string euc = sjis_to_euc(sjis);
    EXPECT_EQ(euc.size(), sjis.size() + 0x3F);
    EXPECT_EQ(euc_to_sjis(euc), sjis);
}

TEST(Euc, CopiesBytesThatFormNoCharacter) {
    // 0xA0 and 0x80 are copied once; a lead byte without its trail byte too.
    EXPECT_EQ(sjis_to_euc(bytes({'a', 0xA0, 'b', 0x80})), bytes({'a', 0xA0, 'b', 0x80}));
    EXPECT_EQ(sjis_to_euc(bytes({0x82, '"', 0x82})), bytes({0x82, '"', 0x82}));
    // ... and they come back, because a high EUC byte pairs only with another high byte.
    EXPECT_EQ(euc_to_sjis(bytes({'a', 0xA0, 'b', 0x82, '\n', 0x82})),
              bytes({'a', 0xA0, 'b', 0x82, '\n', 0x82}));
}

TEST(Euc, DropsThreeByteCharactersAndStopsAtTheEnd) {
    EXPECT_EQ(euc_to_sjis(bytes({'a', 0x8F, 0xB0, 0xA1, 'b'})), "ab");
    EXPECT_EQ(euc_to_sjis(bytes({'a', 0x8F, 0xB0})), "a");
    EXPECT_EQ(euc_to_sjis(bytes({'a', 0x8F, '\n'})), "a\n");
    EXPECT_EQ(euc_to_sjis(bytes({'a', 0x8E})), "a");
    EXPECT_EQ(euc_to_sjis(bytes({0x8E, 0xB1, 0x8E, 'b'})), bytes({0xB1, 'b'}));
}

} // namespace
