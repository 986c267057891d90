// Small text helpers shared by every subsystem.
#pragma once

#include <string_view>

namespace ruvo {

// Equal when the bytes match with ASCII letters compared without regard to case (encoding
// names, type names, talk-mode commands).
inline bool iequals_ascii(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

// The first occurrence of t in s at or after byte `from`, or npos; an empty t is found at
// `from` when from <= size.  At most a bounded number of byte comparisons per text position.
size_t find_bytes(std::string_view s, std::string_view t, size_t from = 0);

} // namespace ruvo
