// Shift_JIS byte classes.  Scripts are Shift_JIS: a lead byte followed by a trail byte is one
// character, and a trail byte in the ASCII range (0x5C backslash, 0x60 backtick, letters,
// brackets) must never be taken for the ASCII character it resembles.  Every scan of script
// text in this library goes left to right and steps over such pairs as a whole.
#pragma once

#include <cstddef>
#include <string_view>

namespace ruvopp {

inline bool sjis_lead(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}
inline bool sjis_trail(unsigned char c) {
    return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC);
}

// Length of the character starting at [i] of [s]: 2 for a lead/trail pair, else 1.
inline size_t sjis_char_len(std::string_view s, size_t i) {
    if (sjis_lead(static_cast<unsigned char>(s[i])) && i + 1 < s.size() &&
        sjis_trail(static_cast<unsigned char>(s[i + 1])))
        return 2;
    return 1;
}

} // namespace ruvopp
