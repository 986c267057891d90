// The canvas without any window: mapping, every primitive against its pixels, clipping by the
// view, the flood fill, and the BMP and clipboard bytes.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <numbers>
#include <set>
#include <utility>

#include "gfx/canvas.h"

using namespace ruvo::gfx;

namespace {

constexpr Colour kWhite = 0xFFFFFF;
constexpr Colour kRed = 0x0000FF;

Canvas make(int w, int h) {
    Canvas c;
    c.reset(w, h);
    return c;
}

using Pixels = std::set<std::pair<int, int>>;

// Every pixel that is not black.
Pixels lit(const Canvas& c) {
    Pixels out;
    for (int y = 0; y < c.picture.height(); ++y)
        for (int x = 0; x < c.picture.width(); ++x)
            if (c.picture.get(x, y) != 0) out.insert({x, y});
    return out;
}

PixelRect bounds(const Pixels& p) {
    PixelRect r;
    for (auto [x, y] : p) r.add({x, y, x, y});
    return r;
}

bool is_lit(const Canvas& c, int x, int y) {
    return c.picture.get(x, y) != 0;
}

} // namespace

TEST(Mapping, world_to_pixel_truncates_toward_zero_in_both_directions) {
    Canvas c = make(101, 101);
    c.world = {0, 0, 1, 1};
    EXPECT_EQ(c.map_x(0.5), 50);
    EXPECT_EQ(c.map_y(0.5), 50);
    EXPECT_EQ(c.map_x(0.999), 99);
    EXPECT_EQ(c.map_x(-0.005), 0); // -0.5 truncates to 0, not -1
    c.world = {0, 1, 1, 0};        // y upwards
    EXPECT_EQ(c.map_x(0.25), 25);
    EXPECT_EQ(c.map_y(0.25), 75);
    EXPECT_DOUBLE_EQ(c.world_y(75), 0.25);
    EXPECT_DOUBLE_EQ(c.world_x(50), 0.5);
}

TEST(Mapping, reset_keeps_a_world_set_before_and_fills_a_degenerate_one) {
    Canvas c;
    c.reset(320, 200);
    EXPECT_EQ(c.world.x2, 319);
    EXPECT_EQ(c.world.y2, 199);
    EXPECT_EQ(c.view.x2, 319);
    c.world = {-1, 1, 1, -1};
    c.reset(10, 10);
    EXPECT_EQ(c.world.x1, -1);
    EXPECT_EQ(c.picture.width(), 10);
}

TEST(Mapping, degenerate_world_and_huge_coordinates_do_not_fault) {
    Canvas c = make(10, 10);
    c.world = {0, 0, 0, 5};
    EXPECT_EQ(c.map_x(0), 0); // 0 / 0: NaN gives pixel 0
    EXPECT_EQ(c.map_x(3), 2147483647);
    c.world = {0, 0, 9, 9};
    EXPECT_EQ(c.map_x(1e300), 2147483647);
    auto t0 = std::chrono::steady_clock::now();
    c.line(-1e12, 5, 1e12, 5);
    c.circle(5, 5, 1e9, 0, 0, 1);
    c.fill(-1e15, -1e15, 1e15, 1e15);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(1));
    EXPECT_EQ(lit(c).size(), 100u);
}

TEST(Pset, writes_inside_picture_and_view_only) {
    Canvas c = make(20, 20);
    c.pset(0, 0, kRed);
    EXPECT_EQ(c.picture.get(0, 0), kRed);
    EXPECT_EQ(c.point(0, 0), kRed);
    c.pset(-1, 3, kWhite);
    c.pset(20, 3, kWhite);
    EXPECT_EQ(lit(c).size(), 1u);
    EXPECT_EQ(c.point(-1, 0), 0u);
    c.view = {5, 5, 9, 9};
    c.world = {0, 0, 4, 4};
    c.pset(0, 0, kWhite);
    EXPECT_TRUE(is_lit(c, 5, 5));
    c.world = {0, 0, 1, 1};
    c.pset(2, 2, kWhite); // pixel 13, 13: outside the view
    EXPECT_FALSE(is_lit(c, 13, 13));
}

TEST(Line, both_ends_and_one_pixel_per_major_step_in_every_octant) {
    const std::pair<int, int> ends[] = {{20, 3},   {20, -3}, {-20, 3}, {-20, -3}, {3, 20},
                                        {-3, 20},  {3, -20}, {-3, -20}, {20, 0},  {0, -20},
                                        {-20, 0},  {0, 20},  {15, 15},  {-15, 15}, {10, 9},
                                        {-9, -10}, {1, 1},   {1, 0}};
    for (auto [dx, dy] : ends) {
        Canvas c = make(64, 64);
        c.line(30, 30, 30 + dx, 30 + dy);
        Pixels p = lit(c);
        SCOPED_TRACE(testing::Message() << dx << "," << dy);
        EXPECT_TRUE(p.count({30, 30}));
        EXPECT_TRUE(p.count({30 + dx, 30 + dy}));
        EXPECT_EQ(p.size(), static_cast<size_t>(std::max(std::abs(dx), std::abs(dy)) + 1));
        PixelRect b = bounds(p);
        EXPECT_EQ(b.x2 - b.x1, std::abs(dx));
        EXPECT_EQ(b.y2 - b.y1, std::abs(dy));
    }
}

TEST(Line, equal_ends_draw_one_pixel_and_lines_are_symmetric) {
    Canvas c = make(10, 10);
    c.line(4, 4, 4, 4);
    EXPECT_EQ(lit(c), (Pixels{{4, 4}}));
    Canvas a = make(40, 40), b = make(40, 40);
    a.line(2, 2, 30, 13);
    b.line(30, 13, 2, 2);
    EXPECT_EQ(lit(a).size(), lit(b).size());
}

TEST(Line, is_clipped_by_the_view) {
    Canvas c = make(30, 30);
    c.view = {10, 10, 19, 19};
    c.world = {10, 10, 19, 19}; // world = pixels
    c.line(0, 15, 29, 15);
    Pixels p = lit(c);
    EXPECT_EQ(p.size(), 10u);
    EXPECT_EQ(bounds(p).x1, 10);
    EXPECT_EQ(bounds(p).x2, 19);
}

TEST(Box, outline_with_both_corners_fill_solid_with_both_corners) {
    Canvas c = make(20, 20);
    c.box(12, 15, 2, 5);
    Pixels p = lit(c);
    EXPECT_EQ(p.size(), 2u * 11 + 2u * 9);
    EXPECT_TRUE(p.count({2, 5}) && p.count({12, 15}) && p.count({12, 5}) && p.count({2, 15}));
    EXPECT_FALSE(p.count({7, 10}));
    Canvas f = make(20, 20);
    f.fill(12, 15, 2, 5);
    EXPECT_EQ(lit(f).size(), 11u * 11u);
    EXPECT_EQ(bounds(lit(f)).x2, 12);
}

TEST(RoundBox, corners_are_cut_and_sizes_follow_the_world) {
    Canvas c = make(101, 101); // world 0..100: one unit is one pixel
    c.round_box(10, 10, 50, 40, 20, -1, true); // ry < 0 takes rx
    Pixels p = lit(c);
    PixelRect b = bounds(p);
    EXPECT_EQ(b.x1, 10);
    EXPECT_EQ(b.x2, 50);
    EXPECT_EQ(b.y1, 10);
    EXPECT_EQ(b.y2, 40);
    EXPECT_FALSE(p.count({10, 10}));
    EXPECT_FALSE(p.count({50, 40}));
    EXPECT_FALSE(p.count({12, 12}));
    EXPECT_TRUE(p.count({30, 10})); // the straight part of each edge
    EXPECT_TRUE(p.count({10, 25}));
    EXPECT_TRUE(p.count({20, 10}));  // the corner ellipse is 20 wide: its quarter ends at 20
    EXPECT_FALSE(p.count({15, 10}));
    // The same corners in a world twice as large are half as many pixels.
    Canvas h = make(101, 101);
    h.world = {0, 0, 200, 200};
    h.round_box(20, 20, 100, 80, 40, 40, true);
    EXPECT_EQ(lit(h), p);
}

TEST(RoundBox, hollow_is_the_outline_of_solid_and_zero_corners_are_a_box) {
    Canvas solid = make(60, 60), hollow = make(60, 60);
    solid.round_box(5, 5, 50, 40, 16, 10, true);
    hollow.round_box(5, 5, 50, 40, 16, 10, false);
    Pixels s = lit(solid), h = lit(hollow);
    EXPECT_FALSE(h.count({27, 22}));
    for (auto px : h) EXPECT_TRUE(s.count(px));
    for (auto [x, y] : s) {
        bool inner = s.count({x - 1, y}) && s.count({x + 1, y}) && s.count({x, y - 1}) &&
                     s.count({x, y + 1});
        EXPECT_EQ(h.count({x, y}) == 1, !inner) << x << "," << y;
    }
    Canvas r = make(60, 60), b = make(60, 60);
    r.round_box(5, 5, 50, 40, 0, 0, false);
    b.box(5, 5, 50, 40);
    EXPECT_EQ(lit(r), lit(b));
    Canvas big = make(60, 60); // corners larger than the box: an ellipse, nothing outside
    big.round_box(5, 5, 50, 40, 500, 500, true);
    EXPECT_EQ(bounds(lit(big)).x2, 50);
}

TEST(Circle, is_inscribed_with_right_and_bottom_edges_excluded) {
    Canvas c = make(100, 100);
    c.circle(50, 50, 10, 0, 0, 1);
    Pixels p = lit(c);
    PixelRect b = bounds(p);
    EXPECT_EQ(b.x1, 40);
    EXPECT_EQ(b.x2, 59);
    EXPECT_EQ(b.y1, 40);
    EXPECT_EQ(b.y2, 59);
    EXPECT_FALSE(p.count({50, 50}));
    for (auto [x, y] : p) { // symmetric about the rectangle's centre 49.5
        EXPECT_TRUE(p.count({99 - x, y}));
        EXPECT_TRUE(p.count({x, 99 - y}));
        EXPECT_TRUE(p.count({y, x}));
    }
}

TEST(Circle, aspect_below_one_flattens_above_one_narrows) {
    Canvas flat = make(100, 100), tall = make(100, 100);
    flat.circle(50, 50, 20, 0, 0, 0.5);
    tall.circle(50, 50, 20, 0, 0, 2);
    PixelRect f = bounds(lit(flat)), t = bounds(lit(tall));
    EXPECT_EQ(f.x2 - f.x1 + 1, 40);
    EXPECT_EQ(f.y2 - f.y1 + 1, 20);
    EXPECT_EQ(t.x2 - t.x1 + 1, 20);
    EXPECT_EQ(t.y2 - t.y1 + 1, 40);
}

TEST(Circle, arcs_run_counter_clockwise_on_screen_in_both_world_directions) {
    const double half_pi = std::numbers::pi / 2;
    for (bool y_up : {false, true}) {
        Canvas c = make(101, 101);
        if (y_up) c.world = {0, 100, 100, 0};
        c.circle(50, 50, 30, 0, half_pi, 1);
        Pixels p = lit(c);
        SCOPED_TRACE(y_up ? "y up" : "y down");
        ASSERT_FALSE(p.empty());
        for (auto [x, y] : p) { // the upper right quarter as seen on the screen
            EXPECT_GE(x, 49);
            EXPECT_LE(y, 51);
        }
        EXPECT_TRUE(p.count({79, 50}) || p.count({79, 49}));
        // from 90 to 0 degrees is the other three quarters
        Canvas rest = make(101, 101);
        rest.world = c.world;
        rest.circle(50, 50, 30, half_pi, 0, 1);
        Pixels q = lit(rest);
        EXPECT_TRUE(q.count({20, 50}) || q.count({20, 49}));
        EXPECT_GT(q.size(), 2 * p.size());
    }
}

TEST(Paint, fills_a_closed_ring_inside_and_leaks_through_a_gap) {
    Canvas c = make(60, 60);
    c.circle(30, 30, 20, 0, 0, 1);
    Pixels ring = lit(c);
    c.colour = kRed;
    c.paint(30, 30);
    EXPECT_EQ(c.picture.get(30, 30), kRed);
    EXPECT_EQ(c.picture.get(0, 0), 0u);
    EXPECT_EQ(c.picture.get(30, 10), kWhite); // the ring itself keeps its colour

    Canvas g = make(60, 60);
    g.circle(30, 30, 20, 0, 0, 1);
    PixelRect b = bounds(lit(g));
    g.colour = 0;
    g.line(30, b.y1, 30, b.y1 + 1); // cut the ring at its top
    g.colour = kRed;
    g.paint(30, 30);
    EXPECT_EQ(g.picture.get(0, 0), kRed);
    EXPECT_EQ(g.picture.get(59, 59), kRed);
}

TEST(Paint, stays_inside_the_view_and_needs_no_deep_stack) {
    Canvas c = make(40, 40);
    c.view = {10, 10, 29, 29};
    c.world = {0, 0, 19, 19};
    c.colour = kRed;
    c.paint(5, 5);
    EXPECT_EQ(c.picture.get(10, 10), kRed);
    EXPECT_EQ(c.picture.get(29, 29), kRed);
    EXPECT_EQ(c.picture.get(9, 10), 0u);
    EXPECT_EQ(c.picture.get(30, 30), 0u);
    c.paint(-1, 5); // outside the view: nothing
    EXPECT_EQ(c.picture.get(9, 15), 0u);

    Canvas big = make(4000, 4000);
    big.colour = kWhite;
    for (int x = 0; x < 4000; x += 2) big.line(x, x % 4 ? 0 : 1, x, x % 4 ? 3998 : 3999);
    big.colour = kRed;
    big.paint(1, 0); // a serpentine path through every column
    EXPECT_EQ(big.picture.get(3999, 2000), kRed);
    EXPECT_EQ(big.picture.get(1, 3999), kRed);
}

TEST(Cls, fills_the_view_only) {
    Canvas c = make(10, 10);
    c.view = {2, 2, 4, 4};
    c.cls(kRed);
    EXPECT_EQ(c.picture.get(2, 2), kRed);
    EXPECT_EQ(c.picture.get(4, 4), kRed);
    EXPECT_EQ(c.picture.get(5, 5), 0u);
    EXPECT_EQ(lit(c).size(), 9u);
    EXPECT_EQ(c.colour, kWhite); // the drawing colour is not changed
}

TEST(Dirty, primitives_report_the_clipped_area_they_drew) {
    Canvas c = make(50, 50);
    EXPECT_TRUE(c.take_dirty().empty());
    c.line(10, 20, 30, 5);
    PixelRect d = c.take_dirty();
    EXPECT_EQ(d.x1, 10);
    EXPECT_EQ(d.y1, 5);
    EXPECT_EQ(d.x2, 30);
    EXPECT_EQ(d.y2, 20);
    c.fill(-100, -100, 10, 10);
    d = c.take_dirty();
    EXPECT_EQ(d.x1, 0);
    EXPECT_EQ(d.y1, 0);
    EXPECT_TRUE(c.take_dirty().empty());
}

TEST(Bmp, file_and_clipboard_bytes_field_by_field) {
    Canvas c = make(3, 2);
    c.pset(0, 0, kRed);           // top-left: the second row in memory
    c.pset(2, 1, 0x00332211);     // bottom-right: the first row
    std::string f = picture_bmp(c.picture);
    auto u32 = [&](size_t at) {
        return static_cast<uint32_t>(static_cast<unsigned char>(f[at])) |
               static_cast<uint32_t>(static_cast<unsigned char>(f[at + 1])) << 8 |
               static_cast<uint32_t>(static_cast<unsigned char>(f[at + 2])) << 16 |
               static_cast<uint32_t>(static_cast<unsigned char>(f[at + 3])) << 24;
    };
    auto u16 = [&](size_t at) { return u32(at) & 0xFFFF; };
    ASSERT_EQ(f.size(), 54u + 12u * 2);
    EXPECT_EQ(f.substr(0, 2), "BM");
    EXPECT_EQ(u32(2), 0u);   // file size left 0
    EXPECT_EQ(u32(6), 0u);   // reserved
    EXPECT_EQ(u32(10), 54u); // pixel offset
    EXPECT_EQ(u32(14), 40u);
    EXPECT_EQ(u32(18), 3u);
    EXPECT_EQ(u32(22), 2u);
    EXPECT_EQ(u16(26), 1u);
    EXPECT_EQ(u16(28), 24u);
    for (size_t at = 30; at < 54; at += 4) EXPECT_EQ(u32(at), 0u) << at;
    EXPECT_EQ(c.picture.stride(), 12);
    // bottom row first: pixel (2, 1) at byte 6 of it as blue, green, red
    EXPECT_EQ(f.substr(54 + 6, 3), "\x33\x22\x11");
    EXPECT_EQ(f.substr(54 + 12, 3), std::string("\x00\x00\xFF", 3));
    std::string dib = picture_dib(c.picture);
    EXPECT_EQ(dib, f.substr(14));
}
