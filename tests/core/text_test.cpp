// The byte search every substring built-in uses.
#include <gtest/gtest.h>

#include <string>

#include "core/text.h"

using namespace ruvo;

// Small alphabets make partial matches common, which is where vector searches go wrong:
// candidates near the block edges, at the text's end, needles longer than a block, and the
// long-needle path.
TEST(Text, find_bytes_agrees_with_the_plain_search) {
    uint64_t seed = 7;
    auto next = [&] {
        seed = seed * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<uint32_t>(seed >> 33);
    };
    for (int round = 0; round < 4000; ++round) {
        size_t alphabet = 1 + next() % 3;
        std::string s(next() % 200, 'a'), t(1 + next() % 80, 'a');
        for (char& c : s) c = static_cast<char>('a' + next() % alphabet);
        for (char& c : t) c = static_cast<char>('a' + next() % alphabet);
        if (next() % 2 && t.size() <= s.size()) {
            size_t at = next() % (s.size() - t.size() + 1);
            s.replace(at, t.size(), t); // make sure there is an occurrence now and then
        }
        size_t from = next() % (s.size() + 2);
        std::string_view sv(s), tv(t);
        ASSERT_EQ(find_bytes(sv, tv, from), from > s.size() ? std::string_view::npos : sv.find(tv, from))
            << "s=" << s << " t=" << t << " from=" << from;
    }
}

TEST(Text, find_bytes_edges) {
    std::string nul("a\0b\0c", 5);
    EXPECT_EQ(find_bytes(nul, std::string_view("\0c", 2)), 3u);
    EXPECT_EQ(find_bytes("abc", ""), 0u);
    EXPECT_EQ(find_bytes("abc", "", 3), 3u);
    EXPECT_EQ(find_bytes("abc", "", 4), std::string_view::npos);
    EXPECT_EQ(find_bytes("", "a"), std::string_view::npos);
    EXPECT_EQ(find_bytes("ab", "abc"), std::string_view::npos);
    std::string high = std::string(40, 'x') + "\x82\xa0\x82\xa2";
    EXPECT_EQ(find_bytes(high, "\x82\xa2"), 42u);
}
