#include "io/ostext.h"

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <langinfo.h>
#include <mutex>
#include <unordered_set>

#include "core/text.h"
#include "io/codec.h"

namespace ruvo {

namespace {

struct OsTextState {
    bool decided = false; // the driver and the preprocessor decide before anything else runs
    bool utf8 = false;
    // Name components read from the system as raw bytes that would convert as Shift_JIS:
    // they go back unconverted.
    std::unordered_set<std::string> raw_names;
    std::mutex raw_lock; // the graphics thread may save a picture by name
};
OsTextState os_state;

bool is_utf8_codeset(std::string_view cs) {
    return iequals_ascii(cs, "utf-8") || iequals_ascii(cs, "utf8");
}

// The codeset part of a locale name ("ja_JP.UTF-8@euro" gives "UTF-8").
std::string_view codeset_of_name(std::string_view name) {
    size_t dot = name.find('.');
    if (dot == std::string_view::npos) return {};
    std::string_view cs = name.substr(dot + 1);
    return cs.substr(0, cs.find('@'));
}

// The locale name the C library would take for LC_CTYPE.
const char* locale_name_from_environment() {
    for (const char* var : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* v = std::getenv(var);
        if (v && *v) return v;
    }
    return "";
}

void decide() {
    if (std::setlocale(LC_CTYPE, "")) {
        os_state.utf8 = is_utf8_codeset(nl_langinfo(CODESET));
    } else {
        os_state.utf8 = is_utf8_codeset(codeset_of_name(locale_name_from_environment()));
    }
    // Anything but UTF-8 is the C locale: byte classes and case of bytes 0x80-0xFF must not
    // change with a single-byte character set.
    if (!os_state.utf8) std::setlocale(LC_CTYPE, "C");
}

// The length of a well-formed UTF-8 sequence at p (at most 4 bytes, no overlong forms, no
// surrogates), with its code point; 0 when the bytes are not UTF-8.
size_t utf8_sequence(const unsigned char* p, size_t n, unsigned& cp) {
    unsigned b = p[0];
    if (b < 0x80) {
        cp = b;
        return 1;
    }
    size_t len;
    unsigned min;
    if (b >= 0xC2 && b <= 0xDF) {
        len = 2, min = 0x80, cp = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
        len = 3, min = 0x800, cp = b & 0x0F;
    } else if (b >= 0xF0 && b <= 0xF4) {
        len = 4, min = 0x10000, cp = b & 0x07;
    } else {
        return 0;
    }
    if (n < len) return 0;
    for (size_t i = 1; i < len; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0;
        cp = cp << 6 | (p[i] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return len;
}

void put_code(std::string& out, int code) {
    if (code >= 0x100) out.push_back(static_cast<char>(code >> 8));
    out.push_back(static_cast<char>(code & 0xFF));
}

// One name component from the system: converted when it survives the round trip.
std::string component_in(std::string_view c) {
    std::string s = utf8_to_sjis(c);
    if (sjis_to_utf8(s) == c) return s;
    // Kept as the system's bytes.  Should those bytes read as Shift_JIS that converts
    // cleanly, the way back must not convert them.
    std::string raw(c);
    if (utf8_to_sjis(sjis_to_utf8(raw)) == raw) {
        std::lock_guard<std::mutex> hold(os_state.raw_lock);
        os_state.raw_names.insert(raw);
    }
    return raw;
}

std::string component_out(std::string_view c) {
    {
        std::lock_guard<std::mutex> hold(os_state.raw_lock);
        if (!os_state.raw_names.empty() && os_state.raw_names.count(std::string(c)))
            return std::string(c);
    }
    std::string u = sjis_to_utf8(c);
    if (utf8_to_sjis(u) == c) return u;
    return std::string(c); // not Shift_JIS text: the bytes as they are
}

template <class Convert> std::string by_component(std::string_view path, Convert convert) {
    std::string out;
    out.reserve(path.size() + path.size() / 2);
    size_t start = 0;
    while (start <= path.size()) {
        size_t slash = path.find('/', start);
        size_t end = slash == std::string_view::npos ? path.size() : slash;
        out += convert(path.substr(start, end - start));
        if (slash == std::string_view::npos) break;
        out += '/';
        start = slash + 1;
    }
    return out;
}

bool is_ascii(std::string_view s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) & 0x80) return false;
    return true;
}

} // namespace

void os_text_init() {
    if (os_state.decided) return;
    os_state.decided = true;
    decide();
}

void os_text_assume(bool utf8) {
    os_state.decided = true;
    os_state.utf8 = utf8;
}

bool os_text_utf8() {
    return os_state.utf8;
}

std::string os_to_text(std::string_view text) {
    if (!os_state.utf8 || is_ascii(text)) return std::string(text);
    std::string out;
    out.reserve(text.size());
    auto p = reinterpret_cast<const unsigned char*>(text.data());
    for (size_t i = 0, n = text.size(); i < n;) {
        unsigned cp;
        size_t len = utf8_sequence(p + i, n - i, cp);
        if (len == 0) {
            out.push_back(static_cast<char>(p[i++])); // not UTF-8: the byte passes
            continue;
        }
        int code = cp < 0x10000 ? cp932_code(cp) : -1;
        if (code < 0)
            out.push_back('?');
        else
            put_code(out, code);
        i += len;
    }
    return out;
}

std::string text_to_os(std::string_view text) {
    if (!os_state.utf8 || is_ascii(text)) return std::string(text);
    return sjis_to_utf8(text);
}

std::string os_to_name(std::string_view path) {
    if (!os_state.utf8 || is_ascii(path)) return std::string(path);
    return by_component(path, component_in);
}

std::string name_to_os(std::string_view path) {
    if (!os_state.utf8 || is_ascii(path)) return std::string(path);
    return by_component(path, component_out);
}

// ---- UTF-8 scripts ------------------------------------------------------------------------

namespace {

// "coding: utf-8" or "coding=utf-8" anywhere in the line, any case.
bool declares_utf8(std::string_view line) {
    std::string low(line);
    for (char& c : low)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    for (size_t at = low.find("coding"); at != std::string::npos; at = low.find("coding", at + 1)) {
        size_t i = at + 6;
        if (i >= low.size() || (low[i] != ':' && low[i] != '=')) continue;
        ++i;
        while (i < low.size() && (low[i] == ' ' || low[i] == '\t')) ++i;
        std::string_view rest = std::string_view(low).substr(i);
        if (rest.starts_with("utf-8") || rest.starts_with("utf8")) return true;
    }
    return false;
}

bool utf8_declared(std::string_view raw, bool& bom) {
    bom = raw.starts_with("\xEF\xBB\xBF");
    if (bom) return true;
    size_t first = raw.find('\n');
    if (declares_utf8(raw.substr(0, first))) return true;
    if (first == std::string_view::npos) return false;
    std::string_view second = raw.substr(first + 1);
    return declares_utf8(second.substr(0, second.find('\n')));
}

// The code page 932 code of a character, with the six characters the code page writes by
// other code points; -1 when it lacks the character.
int script_code(unsigned cp) {
    switch (cp) {
    case 0x301C: return 0x8160; // wave dash
    case 0x2016: return 0x8161; // double vertical line
    case 0x2212: return 0x817C; // minus sign
    case 0x00A2: return 0x8191; // cent sign
    case 0x00A3: return 0x8192; // pound sign
    case 0x00AC: return 0x81CA; // not sign
    default: return cp < 0x10000 ? cp932_code(cp) : -1;
    }
}

// Where a byte of script text stands: enough of the scanner's states to tell comments from
// strings (a "//" inside a string is no comment).
enum class Lex { Code, DoubleQuoted, SingleQuoted, Here, LineComment, BlockComment };

} // namespace

script_text_result script_text_from_utf8(std::string_view raw) {
    script_text_result r;
    bool bom;
    if (!utf8_declared(raw, bom)) return r;
    r.converted = true;
    if (bom) raw.remove_prefix(3);
    std::string& out = r.text;
    out.reserve(raw.size());
    auto p = reinterpret_cast<const unsigned char*>(raw.data());
    const size_t n = raw.size();
    Lex state = Lex::Code;
    bool line_start = true;
    int line = 1;
    auto at = [&](size_t i, std::string_view s) { return raw.substr(i).starts_with(s); };
    for (size_t i = 0; i < n;) {
        unsigned char c = p[i];
        if (c >= 0x80) {
            unsigned cp;
            size_t len = utf8_sequence(p + i, n - i, cp);
            int code = len ? script_code(cp) : -1;
            if (code >= 0) {
                put_code(out, code);
            } else if (state != Lex::LineComment && state != Lex::BlockComment) {
                if (!r.bad_line) r.bad_line = line;
            }
            i += len ? len : 1;
            line_start = false;
            continue;
        }
        size_t take = 1;
        switch (state) {
        case Lex::Code:
            if (at(i, "\"\"\"")) {
                size_t j = i + 3;
                while (j < n && (p[j] == ' ' || p[j] == '\t')) ++j;
                if (j < n && p[j] == '\n')
                    state = Lex::Here, take = j - i;
                else
                    state = Lex::DoubleQuoted; // an empty string, then another one opens
            } else if (c == '"') {
                state = Lex::DoubleQuoted;
            } else if (c == '\'') {
                state = Lex::SingleQuoted;
            } else if (at(i, "//")) {
                state = Lex::LineComment, take = 2;
            } else if (at(i, "/*")) {
                state = Lex::BlockComment, take = 2;
            }
            break;
        case Lex::DoubleQuoted:
            if (c == '\\' && i + 1 < n && p[i + 1] < 0x80 && p[i + 1] != '\n') take = 2;
            else if (c == '"' || c == '\n') state = Lex::Code;
            break;
        case Lex::SingleQuoted:
            if (c == '\\' && i + 1 < n && p[i + 1] == '\'') take = 2;
            else if (c == '\'' || c == '\n') state = Lex::Code;
            break;
        case Lex::Here:
            if (line_start && at(i, "\"\"\"")) state = Lex::Code, take = 3;
            break;
        case Lex::LineComment:
            if (c == '\n') state = Lex::Code;
            break;
        case Lex::BlockComment:
            if (at(i, "*/")) state = Lex::Code, take = 2;
            break;
        }
        out.append(raw.substr(i, take));
        for (size_t k = i; k < i + take; ++k)
            if (p[k] == '\n') ++line;
        line_start = p[i + take - 1] == '\n';
        i += take;
    }
    return r;
}

} // namespace ruvo
