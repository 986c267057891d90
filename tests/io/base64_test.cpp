// Base64 encoding and the forgiving decoder.
#include <gtest/gtest.h>

#include <string>

#include "io/base64.h"

namespace {

using namespace ruvo;
using namespace std::string_literals;

TEST(Base64, EncodesAndDecodesEveryTailLength) {
    const char* cases[][2] = {
        {"", ""}, {"a", "YQ=="}, {"ab", "YWI="}, {"abc", "YWJj"}, {"abcd", "YWJjZA=="}};
    for (auto& c : cases) {
        EXPECT_EQ(base64_encode(c[0]), c[1]);
        EXPECT_EQ(base64_decode(c[1]), c[0]);
    }
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
    EXPECT_EQ(base64_encode(all).substr(0, 8), "AAECAwQF");
    EXPECT_EQ(base64_decode(base64_encode(all)), all);
}

TEST(Base64, SkipsCharactersOutsideTheAlphabet) {
    EXPECT_EQ(base64_decode("YW\r\nJj\n YWJj\tYQ\n==\n"), "abcabca");
    EXPECT_EQ(base64_decode("Y!W*J-j"), "abc");
}

TEST(Base64, StopsAfterTheFirstPaddedGroup) {
    EXPECT_EQ(base64_decode("YQ==YWJj"), "a");
    EXPECT_EQ(base64_decode("YQ=YWJj"), "a");
    EXPECT_EQ(base64_decode("YWJjYWI=YWJj"), "abcab");
    EXPECT_EQ(base64_decode("=YWJj"), "");
    EXPECT_EQ(base64_decode("Y=YWJj"), "");
}

TEST(Base64, DropsAnUnfinishedGroup) {
    EXPECT_EQ(base64_decode("YWJjYQ"), "abc");
    EXPECT_EQ(base64_decode("YWJjY"), "abc");
    EXPECT_EQ(base64_decode("YWJjYQ\0==YWJj"s), "abc"); // a NUL byte ends the text
    EXPECT_EQ(base64_decode("YWJj\0YWJj"s), "abc");
}

} // namespace
