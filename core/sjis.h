// Byte classes of Shift_JIS (code page 932), the fixed internal text encoding: a lead byte
// followed by a trail byte is one double-byte character.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace ruvo {

inline bool is_sjis_lead(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}
inline bool is_sjis_trail(unsigned char c) {
    return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC);
}

// The byte length of the character that starts at byte [i] of [s]: 2 for a lead byte followed
// by a trail byte, else 1 (a lead byte at the end stands alone).
inline size_t sjis_char_len(std::string_view s, size_t i = 0) {
    return i + 1 < s.size() && is_sjis_lead(static_cast<unsigned char>(s[i])) &&
                   is_sjis_trail(static_cast<unsigned char>(s[i + 1]))
               ? 2
               : 1;
}

// The length of the run of ASCII bytes (below 0x80) that [s] starts with, read eight bytes at
// a time: ASCII is the same in every encoding, so conversions copy such runs whole.
inline size_t ascii_prefix(std::string_view s) {
    const char* p = s.data();
    size_t n = s.size(), i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t w;
        std::memcpy(&w, p + i, 8);
        if (w & 0x8080808080808080ull) break;
    }
    while (i < n && !(static_cast<unsigned char>(p[i]) & 0x80)) ++i;
    return i;
}

} // namespace ruvo
