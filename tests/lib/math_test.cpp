// The math built-ins and the random generator, called through their registrations.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "builtin_call.h"
#include "core/array.h"
#include "lib/math.h"

using namespace ruvo;
using namespace ruvo::test;

namespace {

Value m(const char* name, std::vector<Value> args) {
    return call(math_builtins(), name, std::move(args));
}
double num(const char* name, std::vector<Value> args) {
    return m(name, std::move(args)).num();
}

std::vector<double> numbers(const Value& v) {
    std::vector<double> out;
    if (VArray* a = v.as_array())
        for (const Cell& c : a->cells) out.push_back(c.num());
    return out;
}

// Cases that would run for hours with a naive loop: a regression shows as the suite's time
// limit, not as a timing assertion.
template <typename F> void quickly(F f) {
    f();
}

const double kNaN = std::nan("");
const double kInf = INFINITY;

} // namespace

TEST(Math, rounding_half_away_and_half_to_even) {
    struct Row {
        const char* name;
        double x, digits, expected;
    };
    const Row rows[] = {
        {"round", 2.5, 0, 3},
        {"round", -2.5, 0, -3},
        {"bround", 2.5, 0, 2},
        {"bround", 3.5, 0, 4},
        {"bround", -2.5, 0, -2},
        {"round", 2.4999, 0, 2},
        {"round", 1.2345, 2, 1.23},
        {"round", 1234, -2, 1200},
        {"bround", 0.125, 2, 0.12},
        {"bround", 25, -1, 20},
        {"round", 25, -1, 30},
        {"round", 12345, -4, 10000},
        {"round", 1.23456789012345, 10, 1.2345678901}, // 10^10 does not fit 32 bits
        {"round", 2.5, 400, 2.5},
        {"round", 1e300, 5, 1e300},
        {"round", 123, -400, 0},
        {"round", 0, 400, 0},
        {"round", 1.5, 308, 1.5},
        {"bround", 7, 1e10, 7},
    };
    for (const Row& r : rows) {
        double got =
            r.digits == 0 ? num(r.name, {Value(r.x)}) : num(r.name, {Value(r.x), Value(r.digits)});
        EXPECT_DOUBLE_EQ(got, r.expected) << r.name << "(" << r.x << ", " << r.digits << ")";
    }
    EXPECT_TRUE(std::isinf(num("round", {Value(kInf), Value(-400)})));
    EXPECT_TRUE(std::isnan(num("bround", {Value(kNaN), Value(3)})));
}

TEST(Math, elementary_functions_and_their_edges) {
    EXPECT_DOUBLE_EQ(num("asinh", {Value(1)}), 0.881373587019543);
    EXPECT_DOUBLE_EQ(num("asinh", {Value(1e-4)}), 1e-4 * (1 - 1e-8 / 6));
    EXPECT_DOUBLE_EQ(num("asinh", {Value(1e200)}), 461.2101657793691);
    EXPECT_DOUBLE_EQ(num("atanh", {Value(0.5)}), 0.5493061443340548);
    EXPECT_DOUBLE_EQ(num("acosh", {Value(1e300)}), std::log(2e300));
    // 2x overflows here, the result does not.
    EXPECT_DOUBLE_EQ(num("acosh", {Value(1.7e308)}), 710.4199840737881);
    EXPECT_DOUBLE_EQ(num("asinh", {Value(-1e308)}), -709.889355822726);
    EXPECT_TRUE(std::isnan(num("acosh", {Value(0.5)})));
    EXPECT_DOUBLE_EQ(num("log", {Value(8), Value(2)}), 3);
    EXPECT_DOUBLE_EQ(num("atan", {Value(1), Value(-1)}), 3 * std::numbers::pi / 4);
    EXPECT_EQ(num("sign", {Value(-0.0)}), 0);
    EXPECT_EQ(num("sign", {Value(kNaN)}), -1);
    Value f = m("finite", {Value(num("exp", {Value(1000)}))});
    EXPECT_TRUE(f.is_number());
    EXPECT_EQ(f.num(), 0);
    EXPECT_EQ(num("finite", {Value::boolean(true)}), 1);
    EXPECT_EQ(raised(math_builtins(), "sin", {str("1")}),
              "error [7]: Cannot convert arg to number");
}

TEST(Math, max_min_and_clamp) {
    EXPECT_EQ(raised(math_builtins(), "max", {Value(1)}), "error [7]: Too few argument in max()");
    EXPECT_EQ(raised(math_builtins(), "min", {}), "error [7]: Too few argument in min()");
    EXPECT_EQ(raised(math_builtins(), "max", {Value(3), str("4")}),
              "error [7]: Cannot convert arg to number");
    Value b = m("max", {Value(0), Value::boolean(true)});
    EXPECT_TRUE(b.is_number());
    EXPECT_EQ(b.num(), 1);
    EXPECT_EQ(num("min", {Value(3), Value(-2), Value(5)}), -2);
    // A NaN already held stays; a later NaN never replaces the held value.
    EXPECT_TRUE(std::isnan(num("max", {Value(kNaN), Value(1)})));
    EXPECT_EQ(num("max", {Value(1), Value(kNaN), Value(0)}), 1);
    EXPECT_EQ(num("min", {Value(1), Value(kNaN)}), 1);
    EXPECT_EQ(num("clamp", {Value(5), Value(0), Value(3)}), 3);
    EXPECT_EQ(num("clamp", {Value(-1), Value(0), Value(3)}), 0);
    EXPECT_EQ(num("clamp", {Value(2), Value(0), Value(3)}), 2);
    EXPECT_EQ(num("clamp", {Value(kNaN), Value(0), Value(3)}), 3);
}

TEST(Math, factorials_and_selections_end_for_any_size) {
    EXPECT_EQ(num("fact", {Value(5)}), 120);
    EXPECT_EQ(num("fact", {Value(0)}), 1);
    EXPECT_EQ(num("fact", {Value(-3)}), 1);
    EXPECT_TRUE(std::isfinite(num("fact", {Value(170)})));
    EXPECT_TRUE(std::isinf(num("fact", {Value(171)})));
    EXPECT_EQ(num("perm", {Value(5), Value(2)}), 20);
    // r > n: the product 3·2·1·0·(-1) is a zero signed by its one negative factor.
    EXPECT_EQ(num("perm", {Value(3), Value(5)}), 0);
    EXPECT_TRUE(std::signbit(num("perm", {Value(3), Value(5)})));
    EXPECT_FALSE(std::signbit(num("perm", {Value(3), Value(6)})));
    EXPECT_FALSE(std::signbit(num("perm", {Value(3), Value(4)})));
    EXPECT_TRUE(std::signbit(num("perm", {Value(200), Value(202)}))); // not infinity times 0
    EXPECT_EQ(num("perm", {Value(5), Value(0)}), 1);
    EXPECT_EQ(num("perm", {Value(-1), Value(1)}), 0);
    EXPECT_EQ(num("comb", {Value(5), Value(2)}), 10);
    EXPECT_EQ(num("comb", {Value(5), Value(0)}), 1);
    EXPECT_EQ(num("comb", {Value(-1), Value(1)}), 0);
    EXPECT_EQ(num("comb", {Value(3), Value(4)}), 0);
    EXPECT_EQ(num("comb", {Value(50), Value(25)}), 126410606437752.0);
    EXPECT_DOUBLE_EQ(num("comb", {Value(1000), Value(500)}), 2.7028824094543656e299);
    EXPECT_EQ(num("comb", {Value(1e15), Value(1e15 - 1)}), 1e15); // C(n, n-1) = C(n, 1)
    quickly([] {
        EXPECT_TRUE(std::isinf(num("fact", {Value(1e308)})));
        EXPECT_TRUE(std::isinf(num("perm", {Value(1e300), Value(1e300)})));
        EXPECT_TRUE(std::isinf(num("comb", {Value(1e18), Value(5e17)})));
    });
}

TEST(Math, gcd_and_lcm) {
    EXPECT_EQ(num("gcd", {Value(12), Value(18)}), 6);
    EXPECT_EQ(num("gcd", {Value(12), Value(0)}), 12);
    EXPECT_EQ(num("gcd", {Value(12), Value(18), Value(8)}), 2);
    EXPECT_EQ(num("gcd", {Value(-9.3e18), Value(-1)}), -1); // no trap on INT64_MIN % -1
    EXPECT_EQ(raised(math_builtins(), "gcd", {Value(7)}), "error [7]: Too few arguments in gcd()");
    EXPECT_EQ(raised(math_builtins(), "gcd", {Value(1), Value(1), str("x")}),
              "error [7]: Cannot convert arg to number");
    EXPECT_EQ(num("lcm", {Value(4), Value(6)}), 12);
    EXPECT_EQ(num("lcm", {Value(3), Value(4), Value(5)}), 60);
    EXPECT_EQ(num("lcm", {Value(4), Value(0)}), 0);
    EXPECT_EQ(num("lcm", {Value(0), Value(0)}), 0);
    EXPECT_EQ(raised(math_builtins(), "lcm", {Value(4)}), "error [7]: Too few arguments in lcm()");
    // 3 * 2^62 does not fit 64 bits.
    EXPECT_TRUE(std::isinf(num("lcm", {Value(4611686018427387904.0), Value(3)})));
    EXPECT_EQ(num("lcm", {Value(4611686018427387904.0), Value(3), Value(0)}), 0);
}

TEST(Math, factor_lists_primes_in_order_and_is_fast_for_large_ones) {
    EXPECT_EQ(numbers(m("factor", {Value(12)})), (std::vector<double>{2, 2, 3}));
    EXPECT_EQ(numbers(m("factor", {Value(97)})), (std::vector<double>{97}));
    for (double n : {1.0, 0.0, -6.0})
        EXPECT_EQ(numbers(m("factor", {Value(n)})), (std::vector<double>{1})) << n;
    EXPECT_EQ(numbers(m("factor", {Value(360.9)})), (std::vector<double>{2, 2, 2, 3, 3, 5}));
    quickly([] {
        EXPECT_EQ(numbers(m("factor", {Value(9007199254740881.0)})),
                  (std::vector<double>{9007199254740881.0}));
        EXPECT_EQ(numbers(m("factor", {Value(9007195909437503.0)})),
                  (std::vector<double>{94906247, 94906249}));
        // Beyond 2^63 the argument sticks at 2^63 - 1 = 7^2 * 73 * 127 * 337 * 92737 * 649657.
        EXPECT_EQ(numbers(m("factor", {Value(1e30)})),
                  (std::vector<double>{7, 7, 73, 127, 337, 92737, 649657}));
    });
}

TEST(Math, generator_is_the_published_mt19937) {
    math_state.generator.reset();
    std::mt19937 reference; // seeded with 5489
    EXPECT_EQ(reference(), 3499211612u);
    EXPECT_EQ(num("random", {}), 3499211612.0 / 4294967296.0);
    for (int i = 0; i < 2000; ++i) // across several regenerations of the state
        ASSERT_EQ(num("random", {}), reference() / 4294967296.0) << i;

    m("srand", {Value(42)});
    std::mt19937 seeded(42);
    std::vector<double> first;
    for (int i = 0; i < 700; ++i) {
        first.push_back(num("rand", {}));
        ASSERT_EQ(first.back(), std::trunc(seeded() / 4294967296.0 * 32767)) << i;
    }
    m("srand", {Value(42)});
    for (int i = 0; i < 700; ++i) ASSERT_EQ(num("rand", {}), first[i]) << i;

    m("srand", {Value(-1)}); // the seed's 32 bits: 0xFFFFFFFF
    std::mt19937 all_ones(4294967295u);
    EXPECT_EQ(num("random", {}), all_ones() / 4294967296.0);
    EXPECT_TRUE(m("srand", {}).is_null());
}

TEST(Math, rand_ranges) {
    math_state.generator.reset();
    for (int i = 0; i < 200; ++i) {
        double r = num("rand", {});
        EXPECT_TRUE(r >= 0 && r <= 32766 && r == std::trunc(r)) << r;
        double d = num("rand", {Value(6)});
        EXPECT_TRUE(d >= 0 && d <= 5) << d;
        double n = num("rand", {Value(-6)});
        EXPECT_TRUE(n >= -5 && n <= 0) << n;
        if (n == 0) {
            EXPECT_FALSE(std::signbit(n)) << "the integer part of -0.5 is 0, not -0";
        }
        double h = num("rand", {Value(2.5)});
        EXPECT_TRUE(h >= 0 && h <= 2) << h;
        double u = num("random", {});
        EXPECT_TRUE(u >= 0 && u < 1) << u;
    }
    EXPECT_EQ(num("rand", {Value(0)}), 0);
    EXPECT_EQ(raised(math_builtins(), "rand", {str("6")}),
              "error [7]: Cannot convert arg to number");
}
