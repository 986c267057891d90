#include "io/format.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/convert.h"

namespace ruvo {

namespace {

// A floating, integer or string directive yields at most this many characters.
constexpr size_t kDirectiveMax = 2047;
// A larger width or precision counts as this one.  The directives that are cut print the same
// first 2047 characters either way; a binary field, which is not cut, is at most this long.
constexpr long kFieldMax = 100000;

struct Directive {
    std::string flags; // any of "-+ #0"
    long width = -1;
    long precision = -1;
    std::string length; // "h" or "hh" kept for integer conversions
};

bool is_flag(char c) {
    return c == ' ' || c == '+' || c == '-' || c == '#' || c == '0';
}
bool in_directive(char c) {
    return is_flag(c) || (c >= '0' && c <= '9') || c == '.' || c == 'h' || c == 'l' || c == 'L';
}

// Parses the collected run between "%" and the conversion character.  The run may hold its
// characters in any order; flags count until the first digit, "." or length letter.
Directive parse(std::string_view run) {
    Directive d;
    size_t i = 0;
    while (i < run.size() && is_flag(run[i])) d.flags += run[i++];
    auto number = [&](long& into) {
        long v = 0;
        bool any = false;
        while (i < run.size() && run[i] >= '0' && run[i] <= '9') {
            v = std::min(kFieldMax, v * 10 + (run[i] - '0'));
            ++i;
            any = true;
        }
        if (any) into = v;
    };
    number(d.width);
    if (i < run.size() && run[i] == '.') {
        ++i;
        d.precision = 0;
        number(d.precision);
    }
    int hs = 0;
    for (; i < run.size(); ++i) {
        if (run[i] == 'h') ++hs;
        // anything else left over (more digits, dots, flags, l, L) carries no meaning the
        // value could honour: it is dropped
    }
    if (hs == 1) d.length = "h";
    if (hs >= 2) d.length = "hh";
    return d;
}

std::string rebuild(const Directive& d, bool with_length, char conv) {
    std::string f = "%";
    f += d.flags;
    if (d.width >= 0) f += std::to_string(d.width);
    if (d.precision >= 0) {
        f += '.';
        f += std::to_string(d.precision);
    }
    if (with_length) f += d.length;
    f += conv;
    return f;
}

template <typename T> void emit(std::string& out, const std::string& f, T value) {
    char buf[kDirectiveMax + 1];
    int n = std::snprintf(buf, sizeof buf, f.c_str(), value);
    if (n > 0) out.append(buf, std::min(static_cast<size_t>(n), kDirectiveMax));
}

void pad_field(std::string& out, std::string_view body, const Directive& d, char pad) {
    size_t width = d.width > 0 ? static_cast<size_t>(d.width) : 0;
    std::string field;
    bool left = d.flags.find('-') != std::string::npos;
    if (body.size() < width && !left) field.append(width - body.size(), pad);
    field.append(body);
    if (body.size() < width && left) field.append(width - body.size(), ' ');
    out.append(field, 0, std::min(field.size(), kDirectiveMax));
}

void emit_string(std::string& out, const Directive& d, const Value& v) {
    std::string s = plain_form(v);
    if (d.precision >= 0 && static_cast<size_t>(d.precision) < s.size()) s.resize(d.precision);
    pad_field(out, s, d, ' ');
}

void emit_binary(std::string& out, const Directive& d, const Value& v) {
    uint32_t u = static_cast<uint32_t>(to_int32_wrap(to_number(v)));
    std::string digits;
    if (u == 0) digits = "0";
    for (; u; u >>= 1) digits += static_cast<char>('0' + (u & 1));
    std::reverse(digits.begin(), digits.end());
    // "-" has no effect here, and the field is never cut: a wide field keeps its digits.
    char pad = d.flags.find('0') != std::string::npos ? '0' : ' ';
    size_t width = d.width > 0 ? static_cast<size_t>(d.width) : 0;
    if (digits.size() < width) out.append(width - digits.size(), pad);
    out += digits;
}

} // namespace

void format_print(std::string& out, std::string_view fmt, std::span<const Value> args,
                  size_t first) {
    size_t next = first;
    size_t i = 0;
    while (i < fmt.size()) {
        char c = fmt[i];
        if (c != '%') {
            size_t j = fmt.find('%', i);
            if (j == std::string_view::npos) j = fmt.size();
            out.append(fmt.substr(i, j - i));
            i = j;
            continue;
        }
        size_t start = ++i;
        while (i < fmt.size() && in_directive(fmt[i])) ++i;
        if (i >= fmt.size()) return; // the format ends inside a directive
        std::string_view run = fmt.substr(start, i - start);
        char conv = fmt[i++];
        switch (conv) {
        case '%': out += '%'; continue;
        case 'e':
        case 'E':
        case 'f':
        case 'g':
        case 'G':
        case 'd':
        case 'i':
        case 'o':
        case 'u':
        case 'x':
        case 'X':
        case 'c':
        case 's':
        case 'b': break;
        default: out += conv; continue;
        }
        if (next >= args.size()) continue; // no value left: the directive prints nothing
        const Value& v = args[next++];
        Directive d = parse(run);
        switch (conv) {
        case 's': emit_string(out, d, v); break;
        case 'b': emit_binary(out, d, v); break;
        case 'e':
        case 'E':
        case 'f':
        case 'g':
        case 'G': emit(out, rebuild(d, false, conv), to_number(v)); break;
        default: {
            int iv = to_int32_wrap(to_number(v));
            emit(out, rebuild(d, true, conv), iv);
        }
        }
    }
}

} // namespace ruvo
