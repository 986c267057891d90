// The graphics built-ins with no display: every one converts and checks its arguments and
// raises its errors, screen(w, h) opens nothing at once, drawing is skipped; and the colour
// arguments.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

#include "core/convert.h"
#include "gfx/colour.h"
#include "gfx/graphics.h"
#include "lib/builtin_call.h"
#include "test_support.h"

using namespace ruvo;
using namespace ruvo::test;

namespace {

const Family gfx_call(graphics_builtins());

std::string at7(const std::string& m) { return "error [7]: " + m; }

class NoDisplay : public testing::Test {
protected:
    void SetUp() override {
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
    }
};

std::string rgb(const Value& v) {
    VArray* a = v.as_array();
    if (!a || a->size() != 3) return "(not [r, g, b])";
    return std::to_string(static_cast<int>(a->cells[0].num())) + "," +
           std::to_string(static_cast<int>(a->cells[1].num())) + "," +
           std::to_string(static_cast<int>(a->cells[2].num()));
}

} // namespace

TEST_F(NoDisplay, screen_opens_nothing_and_returns_at_once) {
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(gfx_call("screen", {Value(320), Value(200)}).num(), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(200));
    Value open = gfx_call("screen");
    EXPECT_TRUE(open.is_bool());
    EXPECT_FALSE(to_bool(open));
}

TEST_F(NoDisplay, drawing_returns_one_and_changes_nothing) {
    for (const char* name : {"cls", "update"}) EXPECT_EQ(gfx_call(name).num(), 1) << name;
    EXPECT_EQ(gfx_call("pset", {Value(0), Value(0), str("#FF0000")}).num(), 1);
    EXPECT_EQ(gfx_call("line", {Value(0), Value(0), Value(5), Value(5)}).num(), 1);
    EXPECT_EQ(gfx_call("circle", {Value(5), Value(5), Value(3), Value(0), Value(1)}).num(), 1);
    EXPECT_EQ(gfx_call("fill", {Value(0), Value(0), Value(5), Value(5), Value(2)}).num(), 1);
    EXPECT_EQ(gfx_call("paint", {Value(1), Value(1)}).num(), 1);
    EXPECT_EQ(gfx_call("gprint", {Value(0), Value(0), str("a")}).num(), 1);
    EXPECT_EQ(gfx_call("gprintf", {Value(0), Value(0), str("%d"), Value(3)}).num(), 1);
    EXPECT_EQ(gfx_call("font", {str("x"), Value(12), Value(0.5)}).num(), 1);
    EXPECT_EQ(rgb(gfx_call("point", {Value(0), Value(0)})), "0,0,0");
    Value v = gfx_call("view", {Value(10), Value(10), Value(59), Value(59)});
    ASSERT_TRUE(v.as_array());
    EXPECT_EQ(v.as_array()->size(), 4u);
    for (const Cell& c : v.as_array()->cells) EXPECT_EQ(c.num(), 0);
}

TEST_F(NoDisplay, window_color_and_update_flag_keep_their_state) {
    EXPECT_FALSE(to_bool(gfx_call("window", {Value(1), Value(1), Value(0), Value(5)})));
    EXPECT_TRUE(to_bool(gfx_call("window", {Value(0), Value(4), Value(0), Value(2)})));
    Value p = gfx_call("gpos", {Value(0), Value(0)});
    ASSERT_TRUE(p.as_array());
    EXPECT_EQ(p.as_array()->size(), 2u);

    gfx_call("color", {Value(300), Value(-5), Value(0)});
    EXPECT_EQ(rgb(gfx_call("color")), "255,0,0");
    EXPECT_EQ(rgb(gfx_call("color", {Value(0x00FF00)})), "255,0,0");
    EXPECT_EQ(rgb(gfx_call("color", {arr({Value(1), Value(2), Value(3)})})), "0,255,0");
    EXPECT_EQ(rgb(gfx_call("color", {str("#0a0B0c")})), "1,2,3");
    EXPECT_EQ(rgb(gfx_call("color", {Value::boolean(true)})), "10,11,12");
    EXPECT_EQ(rgb(gfx_call("color", {Value(0xFFFFFF)})), "0,0,1");
    // any seven characters after "#" are a colour: each pair reads its leading hex digits
    EXPECT_EQ(rgb(gfx_call("color", {str("#GG1G0f")})), "255,255,255");
    EXPECT_EQ(rgb(gfx_call("color", {str("#ffffff")})), "0,1,15");

    EXPECT_TRUE(to_bool(gfx_call("update", {Value(0)})));
    EXPECT_FALSE(to_bool(gfx_call("update", {Value(1)})));
    gfx::graphics.canvas.world = {};
}

TEST_F(NoDisplay, arguments_are_checked_without_a_window) {
    EXPECT_EQ(gfx_call.raised("screen", {Value(1.5), Value(2)}),
              at7("Cannot convert arg to integer"));
    EXPECT_EQ(gfx_call.raised("screen", {Value(2), str("2")}),
              at7("Cannot convert arg to integer"));
    EXPECT_EQ(gfx_call.raised("screen", {Value(4294967296.0), Value(2)}),
              at7("Cannot convert arg to integer"));
    EXPECT_EQ(gfx_call.raised("line", {Value(0), Value(0), Value(), Value(1)}),
              at7("Cannot convert arg to number"));
    EXPECT_EQ(gfx_call.raised("pset", {Value(0), Value(0), str("red")}),
              at7("Cannot convert arg to color"));
    EXPECT_EQ(gfx_call.raised("cls", {str("#FF00001")}), at7("Cannot convert arg to color"));
    EXPECT_EQ(gfx_call.raised("cls", {str("FF00001")}), at7("Cannot convert arg to color"));
    EXPECT_EQ(gfx_call.raised("cls", {arr({Value(1), Value(2)})}),
              at7("Cannot convert arg to number"));
    EXPECT_EQ(gfx_call.raised("color", {arr({Value(1), str("x"), Value(2)})}),
              at7("Cannot convert arg to number"));
    EXPECT_EQ(gfx_call.raised("cls", {Value(1), str("x"), Value(2)}),
              at7("Cannot convert arg to number"));
    EXPECT_EQ(gfx_call.raised("gprint", {Value(0), Value(0), Value(1)}),
              at7("Cannot convert arg to string"));
    EXPECT_EQ(gfx_call.raised("gprintf", {Value(0), Value(0)}),
              at7("Too few argument in gprintf()"));
    EXPECT_EQ(gfx_call.raised("gprintf", {Value(0), str("y"), str("%d")}),
              at7("Cannot convert arg to number"));
    EXPECT_EQ(gfx_call.raised("font", {Value(1), Value(12)}), at7("Cannot convert arg to string"));
    EXPECT_EQ(gfx_call.raised("font", {str("a"), Value(12.5)}),
              at7("Cannot convert arg to integer"));
    EXPECT_EQ(gfx_call.raised("view", {Value(0), Value(0), Value(1), str("1")}),
              at7("Cannot convert arg to number"));
    EXPECT_EQ(gfx_call.raised("circle", {Value(0), Value(0), Value(1), Value(0), Value(1), str("")}),
              at7("Cannot convert arg to number"));
}
