// Byte classes of Shift_JIS (code page 932), the fixed internal text encoding: a lead byte
// followed by a trail byte is one double-byte character.
#pragma once

namespace ruvo {

inline bool is_sjis_lead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }
inline bool is_sjis_trail(unsigned char c) { return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC); }

} // namespace ruvo
