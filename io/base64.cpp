// Base64 encoding and the forgiving decoder described in io/base64.h.
#include "io/base64.h"

#include <array>
#include <cstdint>

namespace ruvo {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr int8_t kSkip = -1;
constexpr int8_t kPad = -2;

// Value of every byte: 0-63 for the alphabet, kPad for "=", kSkip for the rest.
constexpr std::array<int8_t, 256> make_values() {
    std::array<int8_t, 256> v{};
    for (auto& x : v) x = kSkip;
    for (int i = 0; i < 64; ++i)
        v[static_cast<unsigned char>(kAlphabet[i])] = static_cast<int8_t>(i);
    v['='] = kPad;
    return v;
}
constexpr std::array<int8_t, 256> kValues = make_values();

// Appends the k - 1 bytes that the k six-bit values in the low bits of [bits] stand for.
void put_group(std::string& out, uint32_t bits, int k) {
    bits <<= 6 * (4 - k);
    for (int j = 0; j < k - 1; ++j) out.push_back(static_cast<char>(bits >> (16 - 8 * j)));
}

} // namespace

std::string base64_encode(std::string_view bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    auto at = [&bytes](size_t i) {
        return static_cast<uint32_t>(static_cast<unsigned char>(bytes[i]));
    };
    size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        uint32_t v = at(i) << 16 | at(i + 1) << 8 | at(i + 2);
        for (int shift = 18; shift >= 0; shift -= 6) out.push_back(kAlphabet[(v >> shift) & 0x3F]);
    }
    size_t rest = bytes.size() - i;
    if (rest > 0) {
        uint32_t v = at(i) << 16 | (rest == 2 ? at(i + 1) << 8 : 0);
        out.push_back(kAlphabet[v >> 18]);
        out.push_back(kAlphabet[(v >> 12) & 0x3F]);
        out.push_back(rest == 2 ? kAlphabet[(v >> 6) & 0x3F] : '=');
        out.push_back('=');
    }
    return out;
}

std::string base64_decode(std::string_view text) {
    std::string out;
    out.reserve(text.size() / 4 * 3);
    uint32_t bits = 0;
    int count = 0;
    for (char ch : text) {
        if (ch == '\0') break; // the unfinished group is dropped
        int8_t v = kValues[static_cast<unsigned char>(ch)];
        if (v == kSkip) continue;
        if (v == kPad) {
            // A padded group gives fewer than three bytes, and decoding stops after it.
            put_group(out, bits, count);
            break;
        }
        bits = bits << 6 | static_cast<uint32_t>(v);
        if (++count == 4) {
            put_group(out, bits, 4);
            bits = 0;
            count = 0;
        }
    }
    return out;
}

} // namespace ruvo
