// Conversions: truth, numbers from strings, the argument conversions, plain and display forms.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "core/array.h"
#include "core/convert.h"
#include "core/hash.h"
#include "core/string.h"
#include "eval/error.h"
#include "test_support.h"

using namespace ruvo;
using test::raised;

namespace {
double num_of(const char* s) { return to_number(make_string(s)); }
bool converts(const char* s) {
    double d;
    return to_number_checked(make_string(s), d);
}
} // namespace

TEST(Convert, string_forms_decimal_hex_octal_binary) {
    EXPECT_EQ(num_of("0x10"), 16);
    EXPECT_EQ(num_of("0xFFFFFFFF"), -1);
    EXPECT_EQ(num_of("0x80000000"), -2147483648.0);
    EXPECT_EQ(num_of("0b101"), 5);
    EXPECT_EQ(num_of("017"), 15);
    EXPECT_EQ(num_of("007"), 7);
    EXPECT_EQ(num_of(" -1.5e3 "), -1500);
    EXPECT_EQ(num_of("12"), 12);
    EXPECT_EQ(num_of("0"), 0);
    EXPECT_EQ(num_of("5."), 5);
    EXPECT_EQ(num_of("+.5"), 0.5);
    EXPECT_EQ(num_of("\t0_\n"), 0);
    EXPECT_EQ(num_of("1.2.3e1"), 1.2) << "the C conversion reads the leading number";
    for (const char* bad : {"08", "1_000", "0X10", "abc", "", " ", "-0x10", "1e", "0x", "0b",
                            "0b102", "inf", "nan", "1 2"}) {
        EXPECT_TRUE(std::isnan(num_of(bad))) << bad;
        EXPECT_FALSE(converts(bad)) << bad;
    }
    EXPECT_TRUE(std::isnan(to_number(Value())));
}

TEST(Convert, truth_values) {
    EXPECT_FALSE(to_bool(Value(0)));
    EXPECT_FALSE(to_bool(Value(ruvo_nan())));
    EXPECT_TRUE(to_bool(Value(-1)));
    EXPECT_FALSE(to_bool(Value()));
    EXPECT_FALSE(to_bool(make_string("")));
    EXPECT_TRUE(to_bool(make_string("0")));
    EXPECT_FALSE(to_bool(Value(new VArray())));
    EXPECT_FALSE(to_bool(Value(new VHash())));
    EXPECT_TRUE(to_bool(Value::boolean(true)));
}

TEST(Convert, integer_argument_bounds) {
    EXPECT_EQ(arg_int(Value(-2147483648.0), 1), INT32_MIN);
    EXPECT_EQ(arg_int(Value(2147483647.0), 1), INT32_MAX);
    EXPECT_EQ(arg_int(Value::boolean(true), 1), 1);
    for (double bad : {2.5, 1e300, 2147483648.0, -2147483649.0, ruvo_nan(), double(INFINITY)})
        EXPECT_EQ(raised([&] { arg_int(Value(bad), 7); }),
                  "error [7]: Cannot convert arg to integer")
            << bad;
    EXPECT_EQ(raised([&] { arg_int(make_string("12"), 7); }),
              "error [7]: Cannot convert arg to integer");
    EXPECT_EQ(raised([&] { arg_number(make_string("1"), 0); }),
              "error: Cannot convert arg to number");
    EXPECT_EQ(raised([&] { arg_string(Value(1), 2); }), "error [2]: Cannot convert arg to string");
}

TEST(Convert, plain_forms) {
    EXPECT_EQ(plain_form(Value(1.0 / 3)), "0.3333333333");
    EXPECT_EQ(plain_form(Value(1e20)), "1e+20");
    EXPECT_EQ(plain_form(Value(4294967295.0)), "4294967295");
    EXPECT_EQ(plain_form(Value(-0.0)), "-0");
    EXPECT_EQ(plain_form(Value(12345678901.0)), "1.23456789e+10");
    EXPECT_EQ(plain_form(Value(ruvo_nan())), "NaN");
    EXPECT_EQ(plain_form(Value(-INFINITY)), "-Inf");
    EXPECT_EQ(plain_form(Value(INFINITY)), "+Inf");
    EXPECT_EQ(plain_form(Value::boolean(false)), "false");
    EXPECT_EQ(plain_form(Value()), "null");
    std::string a = plain_form(Value(new VArray()));
    EXPECT_EQ(a.substr(0, 7), "<array:");
    EXPECT_EQ(a.size(), 16u);
}

TEST(Convert, number_format_applies_to_plain_forms) {
    std::string old = set_number_format("%.3f");
    EXPECT_EQ(old, "%.10g");
    EXPECT_EQ(plain_form(Value(2)), "2.000");
    set_number_format("%s%s%n"); // no directive can read a wrong argument
    EXPECT_EQ(plain_form(Value(2)), "2n");
    set_number_format(old);
    EXPECT_EQ(plain_form(Value(2)), "2");
}

TEST(Convert, display_form_quotes_and_cuts_at_depth_eleven) {
    EXPECT_EQ(display_form(make_string("a\tb")), "\"a\\tb\"");
    EXPECT_EQ(display_form(make_string(std::string("\0\x7f\"\\\x82\xa0", 6))),
              "\"\\0\\x7f\"\\\x82\xa0\"");
    Value empty(new VArray());
    EXPECT_EQ(display_form(empty), "[  ]");
    Value h(new VHash());
    h.as_hash()->set("k", make_string("v"));
    h.as_hash()->set("a", Value(1));
    EXPECT_EQ(display_form(h), "hash( \"a\"=1, \"k\"=\"v\" )");
    Value root(new VArray());
    Value cur = root;
    for (int i = 0; i < 12; ++i) {
        Value next(new VArray());
        cur.as_array()->push(next);
        cur = next;
    }
    std::string d = display_form(root);
    std::string expect;
    for (int i = 0; i < 11; ++i) expect += "[ ";
    expect += "...";
    for (int i = 0; i < 11; ++i) expect += " ]";
    EXPECT_EQ(d, expect);
}
