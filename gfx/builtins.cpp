// The graphics built-ins: the window, the world and view rectangles, colours, the drawing
// primitives and text.  Every built-in converts and checks its arguments whether or not a
// window is open; only the drawing is skipped without one.
#include <string>

#include "core/array.h"
#include "core/convert.h"
#include "eval/error.h"
#include "gfx/colour.h"
#include "gfx/graphics.h"
#include "io/format.h"
#include "lib/args.h"
#include "lib/registry.h"

namespace ruvo {

namespace {

using Args = std::span<Value>;
using gfx::Canvas;
using gfx::graphics;

double num(Args a, size_t i, int line) {
    return arg_number(a[i], line);
}

Value number_array(std::initializer_list<double> items) {
    Value out(new VArray(items.size()));
    size_t i = 0;
    for (double d : items) out.as_array()->cells[i++].set_num(d);
    return out;
}

void bi_screen(VContext&, int line, Args a, Value& r) {
    if (a.empty()) {
        r = Value::boolean(gfx::screen_is_open());
        return;
    }
    int w = arg_int(a[0], line), h = arg_int(a[1], line);
    gfx::open_screen(w, h);
    r = Value(1);
}

void bi_window(VContext&, int line, Args a, Value& r) {
    double x1 = num(a, 0, line), x2 = num(a, 1, line), y1 = num(a, 2, line), y2 = num(a, 3, line);
    bool ok = x1 != x2 && y1 != y2;
    if (ok) {
        std::lock_guard guard(graphics.lock);
        graphics.canvas.world = {x1, y1, x2, y2};
    }
    r = Value::boolean(ok);
}

void bi_cls(VContext&, int line, Args a, Value& r) {
    gfx::Colour c = 0;
    if (a.size() == 1) c = gfx::arg_colour(a[0], line);
    if (a.size() == 3) c = gfx::arg_rgb(a[0], a[1], a[2], line);
    gfx::draw([c](Canvas& cv) { cv.cls(c); });
    r = Value(1);
}

void bi_circle(VContext&, int line, Args a, Value& r) {
    double x = num(a, 0, line), y = num(a, 1, line), rad = num(a, 2, line);
    double a1 = a.size() > 3 ? num(a, 3, line) : 0, a2 = a.size() > 3 ? num(a, 4, line) : 0;
    double aspect = a.size() > 5 ? num(a, 5, line) : 1;
    gfx::draw([&](Canvas& cv) { cv.circle(x, y, rad, a1, a2, aspect); });
    r = Value(1);
}

void bi_line(VContext&, int line, Args a, Value& r) {
    double x1 = num(a, 0, line), y1 = num(a, 1, line), x2 = num(a, 2, line), y2 = num(a, 3, line);
    gfx::draw([&](Canvas& cv) { cv.line(x1, y1, x2, y2); });
    r = Value(1);
}

// box and fill: the plain rectangle, or a rounded one with corner sizes rx and ry (ry takes
// rx when it is not given).
void rectangle(int line, Args a, bool solid) {
    double x1 = num(a, 0, line), y1 = num(a, 1, line), x2 = num(a, 2, line), y2 = num(a, 3, line);
    if (a.size() == 4) {
        gfx::draw([&](Canvas& cv) { solid ? cv.fill(x1, y1, x2, y2) : cv.box(x1, y1, x2, y2); });
        return;
    }
    double rx = num(a, 4, line), ry = a.size() > 5 ? num(a, 5, line) : rx;
    gfx::draw([&](Canvas& cv) { cv.round_box(x1, y1, x2, y2, rx, ry, solid); });
}

void bi_box(VContext&, int line, Args a, Value& r) {
    rectangle(line, a, false);
    r = Value(1);
}

void bi_fill(VContext&, int line, Args a, Value& r) {
    rectangle(line, a, true);
    r = Value(1);
}

void bi_pset(VContext&, int line, Args a, Value& r) {
    double x = num(a, 0, line), y = num(a, 1, line);
    bool given = a.size() > 2;
    gfx::Colour c = given ? gfx::arg_colour(a[2], line) : 0;
    gfx::draw([&](Canvas& cv) { cv.pset(x, y, given ? c : cv.colour); });
    r = Value(1);
}

void bi_point(VContext&, int line, Args a, Value& r) {
    double x = num(a, 0, line), y = num(a, 1, line);
    gfx::Colour c = 0;
    {
        std::lock_guard guard(graphics.lock);
        if (graphics.window_open) c = graphics.canvas.point(x, y);
    }
    r = gfx::colour_array(c);
}

void bi_gpos(VContext&, int line, Args a, Value& r) {
    double px = num(a, 0, line), py = num(a, 1, line);
    std::lock_guard guard(graphics.lock);
    r = number_array({graphics.canvas.world_x(px), graphics.canvas.world_y(py)});
}

void bi_update(VContext&, int, Args a, Value& r) {
    if (a.empty()) {
        gfx::update_now();
        r = Value(1);
        return;
    }
    bool on = to_bool(a[0]);
    bool previous = graphics.auto_update.exchange(on);
    if (on) gfx::update_now();
    r = Value::boolean(previous);
}

void text_at(const std::string& text, double x, double y) {
    gfx::draw([&](Canvas& cv) { gfx::draw_text(cv, graphics.font, x, y, text); });
}

void bi_gprint(VContext&, int line, Args a, Value& r) {
    double x = num(a, 0, line), y = num(a, 1, line);
    std::string text(arg_string(a[2], line));
    text_at(text, x, y);
    r = Value(1);
}

void bi_gprintf(VContext&, int line, Args a, Value& r) {
    if (a.size() < 3) raise(line, "Too few argument in gprintf()");
    double x = num(a, 0, line), y = num(a, 1, line);
    std::string text;
    format_print(text, arg_string(a[2], line), a, 3);
    text_at(text, x, y);
    r = Value(1);
}

void bi_font(VContext&, int line, Args a, Value& r) {
    std::string_view name = arg_string(a[0], line);
    int size = arg_int(a[1], line);
    double angle = a.size() > 2 ? num(a, 2, line) : 0;
    gfx::select_font(name, size, angle);
    r = Value(1);
}

void bi_color(VContext&, int line, Args a, Value& r) {
    gfx::Colour c = 0;
    if (a.size() == 1) c = gfx::arg_colour(a[0], line);
    if (a.size() == 3) c = gfx::arg_rgb(a[0], a[1], a[2], line);
    std::lock_guard guard(graphics.lock);
    r = gfx::colour_array(graphics.canvas.colour);
    if (!a.empty()) graphics.canvas.colour = c;
}

void bi_paint(VContext&, int line, Args a, Value& r) {
    double x = num(a, 0, line), y = num(a, 1, line);
    gfx::draw([&](Canvas& cv) { cv.paint(x, y); });
    r = Value(1);
}

void bi_view(VContext&, int line, Args a, Value& r) {
    int v[4];
    for (int i = 0; i < 4; ++i) v[i] = trunc_clamped<int32_t>(num(a, i, line));
    std::lock_guard guard(graphics.lock);
    if (!graphics.window_open) {
        r = number_array({0, 0, 0, 0});
        return;
    }
    Canvas& cv = graphics.canvas;
    r = number_array({static_cast<double>(cv.view.x1), static_cast<double>(cv.view.y1),
                      static_cast<double>(cv.view.x2), static_cast<double>(cv.view.y2)});
    cv.view = {std::min(v[0], v[2]), std::min(v[1], v[3]), std::max(v[0], v[2]),
               std::max(v[1], v[3])};
    cv.world = {0, 0, static_cast<double>(cv.view.x2) - cv.view.x1,
                static_cast<double>(cv.view.y2) - cv.view.y1};
}

constexpr BuiltinDef kGraphics[] = {
    {"screen", 0, bi_screen}, {"screen", 2, bi_screen}, {"window", 4, bi_window},
    {"cls", 0, bi_cls},       {"cls", 1, bi_cls},       {"cls", 3, bi_cls},
    {"circle", 3, bi_circle}, {"circle", 5, bi_circle}, {"circle", 6, bi_circle},
    {"line", 4, bi_line},     {"box", 4, bi_box},       {"box", 5, bi_box},
    {"box", 6, bi_box},       {"fill", 4, bi_fill},     {"fill", 5, bi_fill},
    {"fill", 6, bi_fill},     {"pset", 2, bi_pset},     {"pset", 3, bi_pset},
    {"point", 2, bi_point},   {"gpos", 2, bi_gpos},     {"update", 0, bi_update},
    {"update", 1, bi_update}, {"gprint", 3, bi_gprint}, {"gprintf", -1, bi_gprintf},
    {"font", 2, bi_font},     {"font", 3, bi_font},     {"color", 0, bi_color},
    {"color", 1, bi_color},   {"color", 3, bi_color},   {"paint", 2, bi_paint},
    {"view", 4, bi_view},
};

} // namespace

std::span<const BuiltinDef> graphics_builtins() {
    return kGraphics;
}

} // namespace ruvo
