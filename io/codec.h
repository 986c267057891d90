// Conversions between the internal text (Shift_JIS, code page 932) and UTF-16, UTF-8 and
// EUC-JP.  The file classes and the encode/decode built-ins share them, and the source reader
// uses the EUC-JP pair.
//
// Every routine takes a byte string of explicit length (NUL bytes allowed and kept), returns a
// new one, never fails, keeps ASCII bytes as they are and never reads past the end of its
// input.  UTF-16 text is a byte string of little-endian 16-bit units without a byte-order mark;
// an odd trailing byte is ignored.
//
// Shift_JIS <-> UTF-16 follows the code page 932 tables generated at build time: a character
// the code page lacks becomes "?", an unmapped double-byte code or a lead byte without its
// trail byte becomes U+30FB (after a missing trail the next byte is read on its own), a lone
// surrogate becomes "?" and a surrogate pair (a character beyond the BMP) one "?".
//
// UTF-8 is the interpreter's own 16-bit codec: every UTF-16 unit is encoded on its own
// (surrogates as three bytes each); decoding goes by the lead byte's bits, takes the following
// bytes unchecked as continuation bytes, skips four- to six-byte sequences (so characters
// beyond the BMP disappear) and drops a sequence cut short by the end of the input.
#pragma once

#include <string>
#include <string_view>

namespace ruvo {

std::string sjis_to_utf16(std::string_view text);
std::string utf16_to_sjis(std::string_view text);
// The same with the UTF-16 text as 16-bit units.
std::u16string sjis_to_u16(std::string_view text);
std::string u16_to_sjis(std::u16string_view text);

std::string utf16_to_utf8(std::string_view text);
std::string utf8_to_utf16(std::string_view text);

// Equal to utf16_to_utf8(sjis_to_utf16(text)) and utf16_to_sjis(utf8_to_utf16(text)), without
// the UTF-16 text in between.
std::string sjis_to_utf8(std::string_view text);
std::string utf8_to_sjis(std::string_view text);

// JIS X 0208 arithmetic between Shift_JIS and EUC-JP.  Shift_JIS -> EUC-JP: a lead byte with a
// trail byte becomes an EUC-JP pair, a half-width katakana byte (0xA1-0xDF) becomes 0x8E and
// that byte, every other byte (a lead byte without its trail included) is copied.
// EUC-JP -> Shift_JIS: bytes below 0x80 are copied; 0x8E and the byte after it give that byte;
// 0x8F with up to two more bytes of 0x80 or above (a JIS X 0212 character) is dropped; any
// other byte of 0x80 or above pairs with the next byte when that one is 0x80 or above too, and
// is copied alone when it is not (or at the end), so that no ASCII byte is swallowed and a
// lone high byte of the Shift_JIS side survives the round trip.
std::string sjis_to_euc(std::string_view text);
std::string euc_to_sjis(std::string_view text);

// The code page 932 code of a character of the BMP (a byte, or lead << 8 | trail); -1 when
// the code page lacks it.
int cp932_code(unsigned unit);

} // namespace ruvo
