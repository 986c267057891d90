// Shift_JIS <-> UTF-16 / UTF-8 / EUC-JP.  The code page 932 tables come from the build
// (io/gen_cp932.py); everything else is arithmetic.  The UTF-8 routines decode or encode one
// character at a time through the same helpers as the UTF-16 ones, so the composed forms give
// exactly what the two steps would, without the UTF-16 text in between.
#include "io/codec.h"

#include <cstddef>
#include <cstdint>
#include <utility>

#include "core/sjis.h"

namespace ruvo {
namespace {

#include "cp932_table.inc"

using Bytes = const unsigned char*;

inline Bytes bytes_of(std::string_view text) {
    return reinterpret_cast<Bytes>(text.data());
}

inline void put(std::string& out, unsigned c) {
    out.push_back(static_cast<char>(c));
}

inline void put_unit(std::string& out, uint16_t u) {
    put(out, u & 0xFF);
    put(out, u >> 8);
}

inline bool is_high_surrogate(uint16_t u) {
    return u >= 0xD800 && u <= 0xDBFF;
}
inline bool is_low_surrogate(uint16_t u) {
    return u >= 0xDC00 && u <= 0xDFFF;
}

// Decodes the Shift_JIS character at p[i] and moves i past it.
inline uint16_t next_sjis_unit(Bytes p, size_t n, size_t& i) {
    unsigned char c = p[i++];
    if (!is_sjis_lead(c)) return kCp932Single[c];
    if (i == n || !is_sjis_trail(p[i])) return kCp932Undefined; // the next byte stands alone
    unsigned char t = p[i++];
    unsigned row = c <= 0x9F ? c - 0x81 : c - 0xE0 + 31;
    return kCp932Double[row][t - 0x40];
}

// Turns UTF-16 units into Shift_JIS.  A high surrogate waits for its partner: the pair (a
// character beyond the BMP, which the code page cannot hold) becomes one "?", and so does a
// surrogate without its partner.
class SjisWriter {
public:
    // [size] is an upper bound of the result: no unit gives more bytes than it takes.
    explicit SjisWriter(size_t size) { m_out.reserve(size); }

    void unit(uint16_t u) {
        if (m_pending_high) {
            m_pending_high = false;
            put(m_out, '?');
            if (is_low_surrogate(u)) return;
        }
        if (is_high_surrogate(u)) {
            m_pending_high = true;
            return;
        }
        uint16_t code = kCp932Encode[u]; // surrogates have no code: a lone low one gives "?"
        if (code == kCp932None) {
            put(m_out, '?');
        } else if (code < 0x100) {
            put(m_out, code);
        } else {
            put(m_out, code >> 8);
            put(m_out, code & 0xFF);
        }
    }

    std::string take() {
        if (m_pending_high) put(m_out, '?');
        m_pending_high = false;
        return std::move(m_out);
    }

private:
    std::string m_out;
    bool m_pending_high = false;
};

// Calls emit(unit) for every little-endian unit; an odd trailing byte is ignored.
template <class Emit> void decode_utf16(std::string_view text, Emit&& emit) {
    Bytes p = bytes_of(text);
    for (size_t i = 0; i + 1 < text.size(); i += 2) {
        emit(static_cast<uint16_t>(p[i] | (p[i + 1] << 8)));
    }
}

inline void put_utf8(std::string& out, uint16_t u) {
    if (u < 0x80) {
        put(out, u);
    } else if (u < 0x800) {
        put(out, 0xC0 | (u >> 6));
        put(out, 0x80 | (u & 0x3F));
    } else {
        put(out, 0xE0 | (u >> 12));
        put(out, 0x80 | ((u >> 6) & 0x3F));
        put(out, 0x80 | (u & 0x3F));
    }
}

// Calls emit(unit) for every UTF-16 unit of the UTF-8 text.  The lead byte's bits alone decide
// the length; continuation bytes are not checked.  Sequences of four to six bytes and the bytes
// 0xFE, 0xFF give nothing; a sequence cut short by the end gives nothing either.
template <class Emit> void decode_utf8(std::string_view text, Emit&& emit) {
    Bytes p = bytes_of(text);
    size_t n = text.size();
    size_t i = 0;
    while (i < n) {
        unsigned b = p[i];
        if (b < 0x80) {
            emit(static_cast<uint16_t>(b));
            ++i;
        } else if (!(b & 0x20)) {
            if (n - i < 2) return;
            emit(static_cast<uint16_t>(((b & 0x1F) << 6) | (p[i + 1] & 0x3F)));
            i += 2;
        } else if (!(b & 0x10)) {
            if (n - i < 3) return;
            emit(static_cast<uint16_t>((b << 12) | ((p[i + 1] & 0x3F) << 6) | (p[i + 2] & 0x3F)));
            i += 3;
        } else {
            size_t skip = !(b & 0x08) ? 4 : !(b & 0x04) ? 5 : !(b & 0x02) ? 6 : 1;
            i += skip < n - i ? skip : n - i;
        }
    }
}

// Shift_JIS lead/trail bytes to the EUC-JP pair.
inline void put_euc_pair(std::string& out, unsigned lead, unsigned trail) {
    unsigned first = lead <= 0x9F ? 2 * lead + 0x1F : 2 * lead - 0x61;
    if (trail >= 0x9F) ++first;
    unsigned second = trail < 0x7F ? trail - 0x1F : trail <= 0x9E ? trail - 0x20 : trail - 0x7E;
    put(out, (first & 0xFF) | 0x80);
    put(out, second | 0x80);
}

// EUC-JP pair to the Shift_JIS lead/trail bytes.
inline void put_sjis_pair(std::string& out, unsigned e1, unsigned e2) {
    unsigned high = e1 & 0x7F;
    unsigned low = e2 & 0x7F;
    put(out, high < 0x5F ? (high + 0xE1) / 2 : (high + 0x161) / 2);
    put(out, !(e1 & 1) ? low + 0x7E : low < 0x60 ? low + 0x1F : low + 0x20);
}

} // namespace

std::string sjis_to_utf16(std::string_view text) {
    std::string out;
    out.reserve(2 * text.size());
    Bytes p = bytes_of(text);
    for (size_t i = 0, n = text.size(); i < n;) put_unit(out, next_sjis_unit(p, n, i));
    return out;
}

std::string utf16_to_sjis(std::string_view text) {
    SjisWriter writer(text.size());
    decode_utf16(text, [&writer](uint16_t u) { writer.unit(u); });
    return writer.take();
}

std::string utf16_to_utf8(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 2);
    decode_utf16(text, [&out](uint16_t u) { put_utf8(out, u); });
    return out;
}

std::string utf8_to_utf16(std::string_view text) {
    std::string out;
    out.reserve(2 * text.size());
    decode_utf8(text, [&out](uint16_t u) { put_unit(out, u); });
    return out;
}

std::string sjis_to_utf8(std::string_view text) {
    std::string out;
    // Exact for ASCII and double-byte text; only half-width katakana needs more.
    out.reserve(text.size() + text.size() / 2);
    Bytes p = bytes_of(text);
    for (size_t i = 0, n = text.size(); i < n;) put_utf8(out, next_sjis_unit(p, n, i));
    return out;
}

std::string utf8_to_sjis(std::string_view text) {
    SjisWriter writer(text.size()); // no UTF-8 sequence gives more Shift_JIS bytes than it has
    decode_utf8(text, [&writer](uint16_t u) { writer.unit(u); });
    return writer.take();
}

int cp932_code(unsigned unit) {
    if (unit > 0xFFFF || is_high_surrogate(static_cast<uint16_t>(unit)) ||
        is_low_surrogate(static_cast<uint16_t>(unit)))
        return -1;
    uint16_t code = kCp932Encode[unit];
    return code == kCp932None ? -1 : code;
}

std::string sjis_to_euc(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 4);
    Bytes p = bytes_of(text);
    size_t n = text.size();
    for (size_t i = 0; i < n; ++i) {
        unsigned char c = p[i];
        if (is_sjis_lead(c) && i + 1 < n && is_sjis_trail(p[i + 1])) {
            put_euc_pair(out, c, p[++i]);
        } else if (c >= 0xA1 && c <= 0xDF) {
            put(out, 0x8E);
            put(out, c);
        } else {
            put(out, c);
        }
    }
    return out;
}

std::string euc_to_sjis(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    Bytes p = bytes_of(text);
    size_t n = text.size();
    size_t i = 0;
    while (i < n) {
        unsigned char c = p[i++];
        if (c < 0x80) {
            put(out, c);
        } else if (c == 0x8E) {
            if (i < n) put(out, p[i++]);
        } else if (c == 0x8F) {
            for (int k = 0; k < 2 && i < n && p[i] >= 0x80; ++k) ++i;
        } else if (i < n && p[i] >= 0x80) {
            put_sjis_pair(out, c, p[i++]);
        } else {
            put(out, c);
        }
    }
    return out;
}

std::u16string sjis_to_u16(std::string_view text) {
    std::string bytes = sjis_to_utf16(text); // little-endian units
    std::u16string w(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < w.size(); ++i)
        w[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                     static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
    return w;
}

std::string u16_to_sjis(std::u16string_view text) {
    std::string bytes(text.size() * 2, '\0');
    for (size_t i = 0; i < text.size(); ++i) {
        bytes[2 * i] = static_cast<char>(text[i] & 0xFF);
        bytes[2 * i + 1] = static_cast<char>(text[i] >> 8);
    }
    return utf16_to_sjis(bytes);
}

} // namespace ruvo
