// Byte classes of Shift_JIS (code page 932), the fixed internal text encoding: a lead byte
// followed by a trail byte is one double-byte character.
#pragma once

#include <cstddef>
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

} // namespace ruvo
