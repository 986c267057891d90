// The text walk with a stand-in font: line feeds, tabs, wrapping at the view's right edge,
// double-byte and half-width katakana characters, skipped bytes and a turned baseline.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "gfx/text.h"

using namespace ruvo::gfx;

namespace {

// A font 10 pixels high (ascent 8) whose ASCII characters are 6 wide and others 12; each
// glyph is one pixel at the top-left corner of its cell.
struct Drawn {
    unsigned code;
    int x, y; // the pixel of the cell's top-left corner
};
std::vector<Drawn> drawn;
const unsigned char kDot = 0x80;

int advance(void*, unsigned code) { return code < 0x100 ? 6 : 12; }
int render(void*, unsigned code, double x, double y, gfx_glyph* g) {
    drawn.push_back({code, static_cast<int>(std::lround(x)), static_cast<int>(std::lround(y)) - 8});
    *g = {0, 8, 1, 1, 1, &kDot};
    return 1;
}

gfx_backend fake_ops() {
    gfx_backend b{};
    b.font_advance = advance;
    b.font_render = render;
    return b;
}
const gfx_backend kOps = fake_ops();
int face;

TextFont font(double angle = 0) {
    TextFont f;
    f.ops = &kOps;
    f.face = &face;
    f.angle = angle;
    f.height = 10;
    f.ascent = 8;
    f.average_width = 5;
    return f;
}

std::vector<Drawn> walk(const char* text, double x = 0, double y = 0, double angle = 0,
                        int view_right = 199) {
    Canvas c;
    c.reset(200, 200);
    c.view.x2 = view_right;
    drawn.clear();
    draw_text(c, font(angle), x, y, text);
    return drawn;
}

} // namespace

TEST(Text, line_feed_returns_to_the_start_x_one_height_down_and_cr_is_ignored) {
    auto d = walk("a\r\nb", 20, 30);
    ASSERT_EQ(d.size(), 2u);
    EXPECT_EQ(d[0].code, 'a');
    EXPECT_EQ(d[0].x, 20);
    EXPECT_EQ(d[0].y, 30);
    EXPECT_EQ(d[1].code, 'b');
    EXPECT_EQ(d[1].x, 20);
    EXPECT_EQ(d[1].y, 40);
}

TEST(Text, tab_stops_are_four_average_widths_from_the_start) {
    auto d = walk("a\tb\t\tc", 7, 0); // stops every 20 pixels from x 7
    ASSERT_EQ(d.size(), 3u);
    EXPECT_EQ(d[1].x, 7 + 20);
    EXPECT_EQ(d[2].x, 7 + 60);
}

TEST(Text, a_character_ending_past_the_view_starts_a_new_line) {
    auto d = walk("abcd", 0, 0, 0, 17); // 18 pixels: three characters fit
    ASSERT_EQ(d.size(), 4u);
    EXPECT_EQ(d[2].x, 12);
    EXPECT_EQ(d[2].y, 0);
    EXPECT_EQ(d[3].x, 0);
    EXPECT_EQ(d[3].y, 10);
}

TEST(Text, double_byte_and_half_width_katakana_are_drawn_other_bytes_skipped) {
    // "日" (93 FA), half-width "ｱ" (B1), then 80, A0, FD, a control byte and a lone lead byte
    auto d = walk("\x93\xFA\xB1\x80\xA0\xFD\x01x\x93");
    ASSERT_EQ(d.size(), 3u);
    EXPECT_EQ(d[0].code, 0x65E5u);
    EXPECT_EQ(d[1].code, 0xFF71u);
    EXPECT_EQ(d[1].x, 12);
    EXPECT_EQ(d[2].code, 'x');
    EXPECT_EQ(d[2].x, 24);
}

TEST(Text, a_turned_baseline_carries_lines_and_tabs_with_it) {
    // 90 degrees: the baseline runs up the screen, lines move to the right of it
    auto d = walk("ab\nc", 100, 100, std::numbers::pi / 2);
    ASSERT_EQ(d.size(), 3u);
    EXPECT_EQ(d[1].x, d[0].x);
    EXPECT_EQ(d[1].y, d[0].y - 6);
    EXPECT_EQ(d[2].x, d[0].x + 10);
    EXPECT_EQ(d[2].y, d[0].y);
}

TEST(Text, glyph_bits_are_plotted_in_the_colour_and_clipped) {
    Canvas c;
    c.reset(20, 20);
    c.colour = 0x0000FF;
    c.view = {0, 0, 19, 5};
    c.world = {0, 0, 19, 5};
    draw_text(c, font(), 0, 0, "ab\nc");
    EXPECT_EQ(c.picture.get(0, 0), 0x0000FFu);
    EXPECT_EQ(c.picture.get(6, 0), 0x0000FFu);
    EXPECT_EQ(c.picture.get(1, 0), 0u);  // transparent between the bits
    EXPECT_EQ(c.picture.get(0, 10), 0u); // the second line lies below the view
    EXPECT_FALSE(c.take_dirty().empty());
}
