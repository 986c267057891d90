#include "gfx/colour.h"

#include <cmath>

#include "core/array.h"
#include "core/convert.h"
#include "core/string.h"
#include "eval/error.h"
#include "lib/args.h"

namespace ruvo::gfx {

namespace {

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A pair of the "#RRGGBB" form read as hexadecimal: the digits before the first character
// that is not one, so "1G" reads as 1 and "G1" as 0.
Colour hex_pair(char hi, char lo) {
    int h = hex_digit(hi);
    if (h < 0) return 0;
    int l = hex_digit(lo);
    return static_cast<Colour>(l < 0 ? h : h * 16 + l);
}

uint32_t trunc_bits(double d) {
    return static_cast<uint32_t>(static_cast<uint64_t>(to_int64(d)));
}

} // namespace

Colour arg_colour(const CellData& v, int line) {
    if (VArray* a = v.as_array(); a && a->size() == 3) {
        uint32_t c[3];
        for (int i = 0; i < 3; ++i) c[i] = trunc_bits(arg_number(a->cells[i], line));
        return c[0] | c[1] << 8 | c[2] << 16;
    }
    if (VString* s = v.as_string()) {
        std::string_view t = s->view();
        if (t.size() != 7 || t[0] != '#') raise(line, "Cannot convert arg to color");
        Colour c = 0;
        for (int i = 0; i < 3; ++i) c |= hex_pair(t[1 + 2 * i], t[2 + 2 * i]) << (8 * i);
        return c;
    }
    uint32_t n = trunc_bits(arg_number(v, line)); // 0xRRGGBB: red in the high byte
    return (n >> 16 & 0xFF) | (n & 0xFF00) | (n & 0xFF) << 16;
}

Colour arg_rgb(const CellData& r, const CellData& g, const CellData& b, int line) {
    auto part = [line](const CellData& v) {
        double d = std::trunc(arg_number(v, line));
        return static_cast<Colour>(std::isnan(d) ? 0 : d < 0 ? 0 : d > 255 ? 255 : d);
    };
    Colour cr = part(r), cg = part(g), cb = part(b);
    return cr | cg << 8 | cb << 16;
}

Value colour_array(Colour c) {
    Value out(new VArray(3));
    VArray* a = out.as_array();
    a->cells[0].set_num(colour_red(c));
    a->cells[1].set_num(colour_green(c));
    a->cells[2].set_num(colour_blue(c));
    return out;
}

} // namespace ruvo::gfx
