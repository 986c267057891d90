#include "gfx/text.h"

#include <cmath>

#include "core/sjis.h"
#include "io/codec.h"

namespace ruvo::gfx {

namespace {

// The Unicode character of one Shift_JIS character (one or two bytes).
unsigned int code_point(std::string_view ch) {
    unsigned char b = static_cast<unsigned char>(ch[0]);
    if (ch.size() == 1) return b >= 0xA1 && b <= 0xDF ? 0xFF61 + (b - 0xA1) : b;
    std::string u = sjis_to_utf16(ch);
    return u.size() >= 2 ? static_cast<unsigned char>(u[0]) | static_cast<unsigned char>(u[1]) << 8
                         : 0x30FB;
}

void draw_glyph(Canvas& canvas, const gfx_glyph& g, double ox, double oy) {
    int x0 = static_cast<int>(std::floor(ox)) + g.left;
    int y0 = static_cast<int>(std::floor(oy)) - g.top;
    canvas.begin({x0, y0, x0 + g.width - 1, y0 + g.rows - 1});
    for (int j = 0; j < g.rows; ++j) {
        const unsigned char* row = g.bits + j * g.pitch;
        for (int i = 0; i < g.width; ++i)
            if (row[i >> 3] & (0x80 >> (i & 7))) canvas.plot(x0 + i, y0 + j);
    }
}

} // namespace

void draw_text(Canvas& canvas, const TextFont& font, double x, double y, std::string_view text) {
    if (!font.face) return;
    const double sx = canvas.map_x(x), sy = canvas.map_y(y);
    const double cs = std::cos(font.angle), sn = std::sin(font.angle);
    const double right = canvas.view.x2 + 1.0;
    const int tab = 4 * font.average_width;
    double u = 0, v = 0; // along the baseline, and down from the first line
    for (size_t i = 0; i < text.size();) {
        unsigned char b = static_cast<unsigned char>(text[i]);
        size_t n = sjis_char_len(text, i);
        std::string_view ch = text.substr(i, n);
        i += n;
        if (b == '\n') {
            u = 0;
            v += font.height;
            continue;
        }
        if (b == '\t') {
            if (tab > 0) u = (std::floor(u / tab) + 1) * tab;
            continue;
        }
        bool drawn = n == 2 || (b >= 0x20 && b <= 0x7E) || (b >= 0xA1 && b <= 0xDF);
        if (!drawn) continue;
        unsigned int code = code_point(ch);
        int w = font.ops->font_advance(font.face, code);
        if (sx + (u + w) * cs + v * sn > right) {
            u = 0;
            v += font.height;
        }
        double base = v + font.ascent;
        double ox = sx + u * cs + base * sn, oy = sy - u * sn + base * cs;
        gfx_glyph g;
        if (font.ops->font_render(font.face, code, ox, oy, &g)) draw_glyph(canvas, g, ox, oy);
        u += w;
    }
}

} // namespace ruvo::gfx
