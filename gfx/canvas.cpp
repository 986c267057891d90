#include "gfx/canvas.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <utility>
#include <vector>

#include "lib/args.h"

namespace ruvo::gfx {

PixelRect PixelRect::cut(const PixelRect& o) const {
    return {std::max(x1, o.x1), std::max(y1, o.y1), std::min(x2, o.x2), std::min(y2, o.y2)};
}

void PixelRect::add(const PixelRect& o) {
    if (o.empty()) return;
    if (empty()) {
        *this = o;
        return;
    }
    x1 = std::min(x1, o.x1);
    y1 = std::min(y1, o.y1);
    x2 = std::max(x2, o.x2);
    y2 = std::max(y2, o.y2);
}

namespace {

PixelRect normalised(int x1, int y1, int x2, int y2) {
    return {std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)};
}

// The row spans of a shape drawn row by row: span(y, xl, xr) gives the pixels of row y, or
// false when the row is outside the shape.  Rows are contiguous.
template <typename Shape> void fill_shape(Canvas& c, const PixelRect& rows, const Shape& span,
                                          void (*draw)(Canvas&, int, int, int)) {
    PixelRect clip = c.clip().cut(rows);
    for (int y = clip.y1; y <= clip.y2; ++y) {
        int xl, xr;
        if (span(y, xl, xr)) draw(c, y, xl, xr);
    }
}

// The outline of a shape: the pixels of each row that have a 4-neighbour outside it.  A row's
// interior is what its own span and both neighbouring spans share, less the span's ends.
template <typename Shape, typename Keep>
void outline_shape(Canvas& c, const PixelRect& rows, const Shape& span, const Keep& keep) {
    PixelRect clip = c.clip().cut(rows);
    for (int y = clip.y1; y <= clip.y2; ++y) {
        int xl, xr;
        if (!span(y, xl, xr)) continue;
        int il = xl + 1, ir = xr - 1;
        int ul, ur, dl, dr;
        if (span(y - 1, ul, ur) && span(y + 1, dl, dr)) {
            il = std::max({il, ul, dl});
            ir = std::min({ir, ur, dr});
        } else {
            il = xr + 1; // the top or bottom row: all of it is outline
            ir = xr;
        }
        int from = std::max(xl, clip.x1), to = std::min(xr, clip.x2);
        for (int x = from; x <= to; ++x) {
            if (x >= il && x <= ir) {
                x = ir; // jump the interior
                continue;
            }
            if (keep(x, y)) c.plot(x, y);
        }
    }
}

// An ellipse inscribed in [l, r) x [t, b).
struct EllipseRows {
    int l, r, t, b;
    double cx, cy, ea, eb;

    EllipseRows(int l_, int r_, int t_, int b_)
        : l(l_), r(r_), t(t_), b(b_), cx((l_ + static_cast<double>(r_) - 1) / 2),
          cy((t_ + static_cast<double>(b_) - 1) / 2),
          ea((static_cast<double>(r_) - l_) / 2), eb((static_cast<double>(b_) - t_) / 2) {}

    bool empty() const { return r <= l || b <= t; }

    bool operator()(int y, int& xl, int& xr) const {
        if (y < t || y >= b) return false;
        double dy = (y - cy) / eb;
        double half = ea * std::sqrt(std::max(0.0, 1 - dy * dy));
        double lo = std::ceil(cx - half), hi = std::floor(cx + half);
        if (lo > hi) { // a row thinner than a pixel keeps the pixels nearest the centre line
            lo = std::floor(cx);
            hi = std::ceil(cx);
        }
        xl = static_cast<int>(std::max(lo, static_cast<double>(l)));
        xr = static_cast<int>(std::min(hi, static_cast<double>(r) - 1));
        return true;
    }
};

// A rectangle with both corners included whose corners are cut by a cw x ch ellipse.
struct RoundRows {
    PixelRect box;
    EllipseRows corner;

    RoundRows(const PixelRect& b, int cw, int ch)
        : box(b), corner(0, std::min(cw, b.x2 - b.x1 + 1), 0, std::min(ch, b.y2 - b.y1 + 1)) {}

    bool operator()(int y, int& xl, int& xr) const {
        if (y < box.y1 || y > box.y2) return false;
        int inset = 0;
        int k = std::min(y - box.y1, box.y2 - y); // rows from the nearer edge
        if (corner.r >= 2 && corner.b >= 2 && 2 * k < corner.b) {
            int l = 0, r = 0;
            corner(k, l, r);
            inset = l;
        }
        xl = box.x1 + inset;
        xr = box.x2 - inset;
        return true;
    }
};

void draw_span(Canvas& c, int y, int xl, int xr) {
    for (int x = xl; x <= xr; ++x) c.plot(x, y);
}

// The angle of (dx, dy) as seen on the screen (y down), counter-clockwise from +x, in [0, 2pi).
double screen_angle(double dx, double dy) {
    double a = std::atan2(-dy, dx);
    return a < 0 ? a + 2 * std::numbers::pi : a;
}

double ccw_distance(double from, double to) {
    double d = std::fmod(to - from, 2 * std::numbers::pi);
    return d < 0 ? d + 2 * std::numbers::pi : d;
}

} // namespace

void Canvas::reset(int w, int h) {
    picture.reset(w, h);
    if (world.degenerate()) world = {0, 0, static_cast<double>(w - 1), static_cast<double>(h - 1)};
    view = {0, 0, w - 1, h - 1};
    dirty_ = {};
}

double Canvas::map_x_exact(double x) const {
    return (static_cast<double>(view.x2) - view.x1) * (x - world.x1) / (world.x2 - world.x1) +
           view.x1;
}

double Canvas::map_y_exact(double y) const {
    return (y - world.y1) * (static_cast<double>(view.y2) - view.y1) / (world.y2 - world.y1) +
           view.y1;
}

int Canvas::map_x(double x) const {
    return trunc_clamped<int32_t>(map_x_exact(x));
}

int Canvas::map_y(double y) const {
    return trunc_clamped<int32_t>(map_y_exact(y));
}

double Canvas::world_x(double px) const {
    return (px - view.x1) * (world.x2 - world.x1) / (static_cast<double>(view.x2) - view.x1) +
           world.x1;
}

double Canvas::world_y(double py) const {
    return (py - view.y1) * (world.y2 - world.y1) / (static_cast<double>(view.y2) - view.y1) +
           world.y1;
}

PixelRect Canvas::clip() const {
    return view.cut({0, 0, picture.width() - 1, picture.height() - 1});
}

void Canvas::begin(const PixelRect& area) {
    clip_ = clip();
    dirty_.add(area.cut(clip_));
}

PixelRect Canvas::take_dirty() {
    return std::exchange(dirty_, PixelRect{});
}

void Canvas::span(int y, int xl, int xr) {
    if (y < clip_.y1 || y > clip_.y2) return;
    xl = std::max(xl, clip_.x1);
    xr = std::min(xr, clip_.x2);
    for (int x = xl; x <= xr; ++x) picture.set(x, y, colour);
}

void Canvas::cls(Colour c) {
    begin(view);
    std::swap(colour, c);
    for (int y = clip_.y1; y <= clip_.y2; ++y) span(y, clip_.x1, clip_.x2);
    std::swap(colour, c);
}

void Canvas::pset(double x, double y, Colour c) {
    int px = map_x(x), py = map_y(y);
    begin({px, py, px, py});
    if (clip_.contains(px, py)) picture.set(px, py, c);
}

Colour Canvas::point(double x, double y) const {
    int px = map_x(x), py = map_y(y);
    return picture.contains(px, py) ? picture.get(px, py) : 0;
}

void Canvas::line_px(int x1, int y1, int x2, int y2) {
    int64_t dx = static_cast<int64_t>(x2) - x1, dy = static_cast<int64_t>(y2) - y1;
    int64_t adx = std::llabs(dx), ady = std::llabs(dy);
    int sx = dx < 0 ? -1 : 1, sy = dy < 0 ? -1 : 1;
    bool x_major = adx >= ady;
    int64_t n = x_major ? adx : ady;    // steps; n + 1 pixels, both ends included
    int64_t minor = x_major ? ady : adx;
    int64_t start = x_major ? x1 : y1;
    int step = x_major ? sx : sy;
    // Only the steps whose major coordinate falls inside the clip rectangle are walked.
    int64_t lo = x_major ? clip_.x1 : clip_.y1, hi = x_major ? clip_.x2 : clip_.y2;
    int64_t i_from = step > 0 ? lo - start : start - hi;
    int64_t i_to = step > 0 ? hi - start : start - lo;
    i_from = std::max<int64_t>(i_from, 0);
    i_to = std::min<int64_t>(i_to, n);
    for (int64_t i = i_from; i <= i_to; ++i) {
        // the minor offset of step i: i x minor / n rounded, halves away from the start
        int64_t m = n == 0 ? 0
                           : static_cast<int64_t>((static_cast<__int128>(2) * i * minor + n) /
                                                  (static_cast<__int128>(2) * n));
        int64_t major_c = start + step * i;
        int64_t minor_c = (x_major ? y1 : x1) + (x_major ? sy : sx) * m;
        int64_t px = x_major ? major_c : minor_c, py = x_major ? minor_c : major_c;
        if (px >= clip_.x1 && px <= clip_.x2 && py >= clip_.y1 && py <= clip_.y2)
            picture.set(static_cast<int>(px), static_cast<int>(py), colour);
    }
}

void Canvas::line(double x1, double y1, double x2, double y2) {
    int px1 = map_x(x1), py1 = map_y(y1), px2 = map_x(x2), py2 = map_y(y2);
    begin(normalised(px1, py1, px2, py2));
    line_px(px1, py1, px2, py2);
}

void Canvas::box(double x1, double y1, double x2, double y2) {
    int px1 = map_x(x1), py1 = map_y(y1), px2 = map_x(x2), py2 = map_y(y2);
    begin(normalised(px1, py1, px2, py2));
    line_px(px1, py1, px2, py1);
    line_px(px2, py1, px2, py2);
    line_px(px2, py2, px1, py2);
    line_px(px1, py2, px1, py1);
}

void Canvas::fill(double x1, double y1, double x2, double y2) {
    PixelRect r = normalised(map_x(x1), map_y(y1), map_x(x2), map_y(y2));
    begin(r);
    PixelRect c = r.cut(clip_);
    for (int y = c.y1; y <= c.y2; ++y) span(y, c.x1, c.x2);
}

void Canvas::round_box(double x1, double y1, double x2, double y2, double rx, double ry,
                       bool solid) {
    if (ry < 0) ry = rx;
    PixelRect r = normalised(map_x(x1), map_y(y1), map_x(x2), map_y(y2));
    // The corner ellipse in pixels: the world sizes scaled by the picture over the world.
    int cw = trunc_clamped<int32_t>((picture.width() - 1) * rx / std::fabs(world.x2 - world.x1));
    int ch = trunc_clamped<int32_t>((picture.height() - 1) * ry / std::fabs(world.y2 - world.y1));
    begin(r);
    RoundRows rows(r, std::max(cw, 0), std::max(ch, 0));
    if (solid)
        fill_shape(*this, r, rows, draw_span);
    else
        outline_shape(*this, r, rows, [](int, int) { return true; });
}

void Canvas::circle(double x, double y, double r, double a1, double a2, double aspect) {
    double ax = aspect < 1 ? r : r / aspect;
    double ay = aspect < 1 ? r * aspect : r;
    PixelRect box = normalised(map_x(x - ax), map_y(y - ay), map_x(x + ax), map_y(y + ay));
    // [x1, x2) x [y1, y2): the right and bottom edges are outside the ellipse
    EllipseRows rows(box.x1, box.x2, box.y1, box.y2);
    if (rows.empty()) return;
    begin({box.x1, box.y1, box.x2 - 1, box.y2 - 1});
    PixelRect area{box.x1, box.y1, box.x2 - 1, box.y2 - 1};
    if (a1 == a2) {
        outline_shape(*this, area, rows, [](int, int) { return true; });
        return;
    }
    // The radials to the start and end points, as seen on the screen.
    double dir = world.y2 >= world.y1 ? -1 : 1;
    double cxd = map_x_exact(x), cyd = map_y_exact(y);
    double from = screen_angle(map_x_exact(x + r * std::cos(a1)) - cxd,
                               map_y_exact(y + dir * r * std::sin(a1)) - cyd);
    double to = screen_angle(map_x_exact(x + r * std::cos(a2)) - cxd,
                             map_y_exact(y + dir * r * std::sin(a2)) - cyd);
    double sweep = ccw_distance(from, to);
    if (sweep == 0) sweep = 2 * std::numbers::pi;
    outline_shape(*this, area, rows, [&](int px, int py) {
        return ccw_distance(from, screen_angle(px - rows.cx, py - rows.cy)) <= sweep;
    });
}

void Canvas::paint(double x, double y) {
    int px = map_x(x), py = map_y(y);
    clip_ = clip();
    if (!clip_.contains(px, py)) return;
    Colour target = picture.get(px, py);
    Colour fill_colour = static_cast<Colour>(colour_red(colour) | colour_green(colour) << 8 |
                                             colour_blue(colour) << 16);
    if (target == fill_colour) return;
    dirty_.add(clip_);
    // Scan-line fill: each seed fills its whole run and leaves seeds in the rows beside it.
    std::vector<std::pair<int, int>> seeds{{px, py}};
    while (!seeds.empty()) {
        auto [sx, sy] = seeds.back();
        seeds.pop_back();
        if (picture.get(sx, sy) != target) continue;
        int l = sx, r = sx;
        while (l > clip_.x1 && picture.get(l - 1, sy) == target) --l;
        while (r < clip_.x2 && picture.get(r + 1, sy) == target) ++r;
        for (int i = l; i <= r; ++i) picture.set(i, sy, fill_colour);
        for (int ny : {sy - 1, sy + 1}) {
            if (ny < clip_.y1 || ny > clip_.y2) continue;
            bool in_run = false;
            for (int i = l; i <= r; ++i) {
                bool match = picture.get(i, ny) == target;
                if (match && !in_run) seeds.emplace_back(i, ny);
                in_run = match;
            }
        }
    }
}

} // namespace ruvo::gfx
