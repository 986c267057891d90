#include "core/convert.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/array.h"
#include "core/hash.h"
#include "core/sjis.h"
#include "core/string.h"
#include "eval/error.h"
#include "io/format.h"

namespace ruvo {

NumberFormatState number_format;

std::string set_number_format(std::string_view fmt) {
    std::string old = std::move(number_format.format);
    number_format.format = std::string(fmt);
    number_format.is_default = number_format.format == "%.10g";
    return old;
}

double ruvo_nan() {
    uint64_t bits = 0x7FFFFFFFFFFFFFFFull;
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

bool to_bool(const CellData& v) {
    if (v.is_numeric()) {
        double d = v.num();
        return d != 0.0 && !std::isnan(d);
    }
    VRef* o = v.obj();
    if (!o) return false;
    switch (o->kind) {
    case VKind::String: return static_cast<VString*>(o)->size() != 0;
    case VKind::Array: return static_cast<VArray*>(o)->size() != 0;
    case VKind::Hash: return static_cast<VHash*>(o)->size() != 0;
    default: return true;
    }
}

namespace {

bool is_space(unsigned char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}
bool is_digit(unsigned char c) {
    return c >= '0' && c <= '9';
}

// Decimal forms a-d: the whole (already trimmed) text must match one of them.
bool matches_decimal(std::string_view s) {
    size_t i = 0, n = s.size();
    if (i < n && (s[i] == '+' || s[i] == '-')) ++i;
    if (i >= n) return false;
    size_t body = i;
    // a. digits* "." digits+
    {
        size_t j = body;
        while (j < n && is_digit(s[j])) ++j;
        if (j < n && s[j] == '.') {
            size_t k = j + 1;
            while (k < n && is_digit(s[k])) ++k;
            if (k > j + 1 && k == n) return true;
        }
    }
    // b. [1-9] digits* "."?
    if (s[body] >= '1' && s[body] <= '9') {
        size_t j = body + 1;
        while (j < n && is_digit(s[j])) ++j;
        if (j < n && s[j] == '.') ++j;
        if (j == n) return true;
    }
    // c. [0-9.]+ starting with a digit or ".", then e/E, sign?, digits+
    {
        size_t j = body;
        while (j < n && (is_digit(s[j]) || s[j] == '.')) ++j;
        if (j > body && j < n && (s[j] == 'e' || s[j] == 'E')) {
            size_t k = j + 1;
            if (k < n && (s[k] == '+' || s[k] == '-')) ++k;
            size_t d = k;
            while (k < n && is_digit(s[k])) ++k;
            if (k > d && k == n) return true;
        }
    }
    // d. "0" "."?
    if (s[body] == '0') {
        size_t j = body + 1;
        if (j < n && s[j] == '.') ++j;
        if (j == n) return true;
    }
    return false;
}

// Accumulates digits of base 2^bits in 32 bits, skipping "_"; the text after the prefix must
// consist of allowed characters only and be non-empty.
bool accumulate(std::string_view s, int bits, double& out) {
    if (s.empty()) return false;
    uint32_t acc = 0;
    for (unsigned char c : s) {
        int d;
        if (c == '_') continue;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            return false;
        if (d >= (1 << bits)) return false;
        acc = (acc << bits) | static_cast<uint32_t>(d);
    }
    out = static_cast<int32_t>(acc);
    return true;
}

} // namespace

bool string_to_number(std::string_view s, double& out) {
    size_t b = 0, e = s.size();
    while (b < e && is_space(s[b])) ++b;
    while (e > b && is_space(s[e - 1])) --e;
    std::string_view t = s.substr(b, e - b);
    if (t.empty()) return false;
    if (matches_decimal(t)) {
        std::string z(t); // strtod needs a terminator; t holds no NUL (it matched)
        out = std::strtod(z.c_str(), nullptr);
        return true;
    }
    if (t.size() > 2 && t[0] == '0' && t[1] == 'x') return accumulate(t.substr(2), 4, out);
    if (t.size() > 2 && t[0] == '0' && t[1] == 'b') return accumulate(t.substr(2), 1, out);
    if (t.size() > 1 && t[0] == '0') return accumulate(t.substr(1), 3, out);
    return false;
}

bool to_number_checked(const CellData& v, double& out) {
    if (v.is_numeric()) {
        out = v.num();
        return true;
    }
    if (VString* s = v.as_string()) return string_to_number(s->view(), out);
    return false;
}

double to_number(const CellData& v) {
    if (v.is_numeric()) return v.num();
    double d;
    if (VString* s = v.as_string(); s && string_to_number(s->view(), d)) return d;
    return ruvo_nan();
}

size_t default_number_text(double d, char* buf) {
    if (std::isnan(d)) {
        std::memcpy(buf, "NaN", 3);
        return 3;
    }
    if (std::isinf(d)) {
        std::memcpy(buf, d > 0 ? "+Inf" : "-Inf", 4);
        return 4;
    }
    // %.10g prints integers below 1e10 as their digits: skip the float formatter.
    if (d > -1e10 && d < 1e10) {
        auto i = static_cast<int64_t>(d);
        if (static_cast<double>(i) == d && (i != 0 || !std::signbit(d)))
            return static_cast<size_t>(std::to_chars(buf, buf + kNumberTextMax, i).ptr - buf);
    }
    return static_cast<size_t>(std::snprintf(buf, kNumberTextMax, "%.10g", d));
}

void append_number(std::string& out, double d) {
    // A format whose %s shows the number again would come back here: the inner conversion
    // uses the default format.
    static int depth = 0;
    if (number_format.is_default || depth > 0 || std::isnan(d) || std::isinf(d)) {
        char buf[kNumberTextMax];
        out.append(buf, default_number_text(d, buf));
        return;
    }
    Value arg(d);
    ++depth;
    format_print(out, number_format.format, std::span<const Value>(&arg, 1), 0);
    --depth;
}

bool short_plain(const CellData& v, char* buf, std::string_view& out) {
    switch (v.tag()) {
    case T_NUMBER:
        if (!number_format.is_default) return false;
        out = std::string_view(buf, default_number_text(v.num(), buf));
        return true;
    case T_BOOL: out = v.num() != 0.0 ? "true" : "false"; return true;
    default: break;
    }
    VRef* o = v.obj();
    if (!o) {
        out = "null";
        return true;
    }
    if (o->kind != VKind::String) return false;
    out = static_cast<VString*>(o)->view();
    return true;
}

void append_object_form(std::string& out, const VRef* o) {
    char buf[96];
    int n = std::snprintf(buf, sizeof buf, "<%s:%08x>", o->type_name(),
                          static_cast<unsigned>(reinterpret_cast<uintptr_t>(o)));
    out.append(buf, static_cast<size_t>(n));
}

void append_plain(std::string& out, const CellData& v) {
    switch (v.tag()) {
    case T_NUMBER: append_number(out, v.num()); return;
    case T_BOOL: out += v.num() != 0.0 ? "true" : "false"; return;
    default: break;
    }
    VRef* o = v.obj();
    if (!o)
        out += "null";
    else if (o->kind == VKind::String)
        out += static_cast<VString*>(o)->str;
    else
        append_object_form(out, o);
}

std::string plain_form(const CellData& v) {
    std::string s;
    append_plain(s, v);
    return s;
}

namespace {

void append_quoted(std::string& out, std::string_view s) {
    out += '"';
    for (size_t i = 0; i < s.size(); ++i) {
        unsigned char c = s[i];
        if (is_sjis_lead(c) && i + 1 < s.size() && is_sjis_trail(s[i + 1])) {
            out += s[i];
            out += s[++i];
            continue;
        }
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
            continue;
        }
        switch (c) {
        case 0: out += "\\0"; break;
        case 7: out += "\\a"; break;
        case 8: out += "\\b"; break;
        case 9: out += "\\t"; break;
        case 10: out += "\\n"; break;
        case 11: out += "\\v"; break;
        case 12: out += "\\f"; break;
        case 13: out += "\\r"; break;
        default: {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02x", c);
            out += buf;
        }
        }
    }
    out += '"';
}

// Recursion is bounded: containers deeper than 11 levels show as "...".
void append_display(std::string& out, const CellData& v, int depth) {
    if (depth >= 11) {
        out += "...";
        return;
    }
    VRef* o = v.obj();
    if (!o) {
        append_plain(out, v);
        return;
    }
    switch (o->kind) {
    case VKind::String: append_quoted(out, static_cast<VString*>(o)->view()); return;
    case VKind::Array: {
        auto* a = static_cast<VArray*>(o);
        out += "[ ";
        for (size_t i = 0; i < a->cells.size(); ++i) {
            if (i) out += ", ";
            append_display(out, a->cells[i], depth + 1);
        }
        out += " ]";
        return;
    }
    case VKind::Hash: {
        auto* h = static_cast<VHash*>(o);
        out += "hash( ";
        bool first = true;
        for (const VHash::Entry* e : h->sorted()) {
            if (!first) out += ", ";
            first = false;
            append_quoted(out, e->first);
            out += '=';
            append_display(out, e->second, depth + 1);
        }
        out += " )";
        return;
    }
    default: append_object_form(out, o); return;
    }
}

} // namespace

std::string display_form(const CellData& v, int depth) {
    std::string s;
    append_display(s, v, depth);
    return s;
}

int32_t arg_int(const CellData& v, int line) {
    if (v.is_numeric()) {
        double d = v.num();
        if (std::fmod(d, 1.0) == 0.0 && d >= -2147483648.0 && d <= 2147483647.0)
            return static_cast<int32_t>(d);
    }
    raise(line, "Cannot convert arg to integer");
}

double arg_number(const CellData& v, int line) {
    if (v.is_numeric()) return v.num();
    raise(line, "Cannot convert arg to number");
}

std::string_view arg_string(const CellData& v, int line) {
    if (VString* s = v.as_string()) return s->view();
    raise(line, "Cannot convert arg to string");
}

int64_t to_int64(double d) {
    if (!(d > -9223372036854775808.0 && d < 9223372036854775808.0)) return 0;
    return static_cast<int64_t>(d);
}

int32_t to_int32_wrap(double d) {
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(to_int64(d))));
}

} // namespace ruvo
