// The math built-ins: elementary functions, rounding (half away from zero and half to even,
// optionally to a number of decimal places), minimum, maximum and clamping, combinatorics,
// gcd and lcm, prime factorization, and the random generator of lib/math.h.
//
// Every parameter goes through the number argument helper and every result is a number (never
// a boolean).  Domains are not checked: what falls outside the real domain comes out as the
// floating-point unit gives it (NaN or infinity).  Loops that multiply stop once the product
// is infinite, so no argument, however large, makes a call run long.
#include "lib/math.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <ctime>
#include <limits>
#include <numbers>
#include <numeric>
#include <vector>

#include "core/array.h"
#include "lib/args.h"
#include "lib/registry.h"

namespace ruvo {

MathState math_state;

// ---- the generator ------------------------------------------------------------------------

void Mt19937::seed(uint32_t s) {
    state_[0] = s;
    for (uint32_t i = 1; i < kWords; ++i)
        state_[i] = 1812433253u * (state_[i - 1] ^ (state_[i - 1] >> 30)) + i;
    index_ = kWords;
}

void Mt19937::regenerate() {
    constexpr int kShift = 397;
    for (int k = 0; k < kWords; ++k) {
        uint32_t y = (state_[k] & 0x80000000u) | (state_[(k + 1) % kWords] & 0x7FFFFFFFu);
        state_[k] = state_[(k + kShift) % kWords] ^ (y >> 1) ^ (y & 1 ? 0x9908B0DFu : 0u);
    }
    index_ = 0;
}

uint32_t Mt19937::next() {
    if (index_ >= kWords) {
        if (index_ == kUnseeded) seed(5489);
        regenerate();
    }
    uint32_t y = state_[index_++];
    y ^= y >> 11;
    y ^= (y << 7) & 0x9D2C5680u;
    y ^= (y << 15) & 0xEFC60000u;
    y ^= y >> 18;
    return y;
}

namespace {

using Args = std::span<Value>;

// ---- one-argument functions ---------------------------------------------------------------

// For |x| beyond this, x*x overflows; there sqrt(x*x ± 1) is |x| to double precision, so the
// logarithm forms below become ln(2|x|), taken as ln|x| + ln 2 since 2|x| may overflow too.
constexpr double kHugeArg = 1e150;

double log_twice(double a) {
    return std::log(a) + std::numbers::ln2;
}

double m_sin(double x) {
    return std::sin(x);
}
double m_cos(double x) {
    return std::cos(x);
}
double m_tan(double x) {
    return std::tan(x);
}
double m_asin(double x) {
    return std::asin(x);
}
double m_acos(double x) {
    return std::acos(x);
}
double m_atan(double x) {
    return std::atan(x);
}
double m_sinh(double x) {
    return std::sinh(x);
}
double m_cosh(double x) {
    return std::cosh(x);
}
double m_tanh(double x) {
    return std::tanh(x);
}
double m_log(double x) {
    return std::log(x);
}
double m_log10(double x) {
    return std::log10(x);
}
double m_exp(double x) {
    return std::exp(x);
}
double m_sqrt(double x) {
    return std::sqrt(x);
}
double m_abs(double x) {
    return std::fabs(x);
}
double m_floor(double x) {
    return std::floor(x);
}
double m_ceil(double x) {
    return std::ceil(x);
}

// Near zero the logarithm form cancels badly; the series is exact to double precision there.
double m_asinh(double x) {
    if (std::fabs(x) > kHugeArg) return std::copysign(log_twice(std::fabs(x)), x);
    if (x > 0.001) return std::log(x + std::sqrt(x * x + 1));
    if (x < -0.001) return -std::log(std::sqrt(x * x + 1) - x);
    return x * (1 - x * x / 6);
}

double m_acosh(double x) {
    if (x > kHugeArg) return log_twice(x);
    return std::log(x + std::sqrt(x * x - 1));
}

double m_atanh(double x) {
    if (std::fabs(x) > 0.001) return 0.5 * std::log((1 + x) / (1 - x));
    return x * (1 + x * x / 3);
}

double round_half_away(double x) {
    double s = x < 0 ? -1.0 : 1.0;
    double a = std::fabs(x);
    return std::fmod(a, 1.0) < 0.5 ? s * std::floor(a) : s * std::ceil(a);
}

double round_half_even(double x) {
    double a = std::fabs(x);
    if (std::fmod(a, 1.0) != 0.5) return round_half_away(x);
    double s = x < 0 ? -1.0 : 1.0;
    return trunc_clamped<int64_t>(a) % 2 != 0 ? s * std::ceil(a) : s * std::floor(a);
}

// x rounded to d decimal places (d < 0: to tens, hundreds, ...).  The power of ten is a double,
// so it never wraps; where x·10^d would overflow, x has no digits that far out and stays as
// it is, and rounding to a power of ten beyond the double range gives zero.
template <double (*R)(double)> double round_digits(double x, int32_t d) {
    if (!std::isfinite(x)) return x;
    double p = std::pow(10.0, std::fabs(static_cast<double>(d)));
    if (d >= 0) {
        double scaled = x * p;
        return std::isfinite(scaled) ? R(scaled) / p : x;
    }
    double q = R(x / p);
    return std::isinf(p) ? q : q * p;
}

double m_sign(double x) {
    if (x > 0) return 1;
    if (x == 0) return 0;
    return -1; // negative or NaN
}

double m_finite(double x) {
    return std::isfinite(x) ? 1 : 0;
}

double m_fact(double x) {
    int64_t n = trunc_clamped<int64_t>(x);
    double r = 1;
    for (int64_t i = 2; i <= n && !std::isinf(r); ++i) r *= static_cast<double>(i);
    return r;
}

// ---- combinatorics ------------------------------------------------------------------------

// The factors n, n-1, ... are at least 2 until the last one, so the product is infinite
// after at most about a thousand of them.  For r > n the product passes through the factor 0
// and then through the r - n - 1 negative factors -1 ... n - r + 1, which give the zero its
// sign; the zero is kept also where n! alone is infinite and infinity times 0 would be NaN.
double perm_of(int64_t n, int64_t r) {
    if (n < 0 || r < 0) return 0;
    if (r > n) return (r - n - 1) % 2 != 0 ? -0.0 : 0.0;
    double p = 1;
    for (int64_t i = 0; i < r && !std::isinf(p); ++i) p *= static_cast<double>(n - i);
    return p;
}

// Built up as C(n-k+1, 1), C(n-k+2, 2), ..., C(n, k) with k = min(r, n-r): every step is an
// exact integer while it fits in 53 bits, a result below the double range is not lost to an
// infinite n!/(n-r)!, and each step at least doubles the value, so huge arguments end soon.
double comb_of(int64_t n, int64_t r) {
    if (n < 0 || r < 0 || r > n) return 0;
    int64_t k = std::min(r, n - r);
    double c = 1;
    for (int64_t i = 1; i <= k && !std::isinf(c); ++i) {
        double f = static_cast<double>(n - k + i);
        double grown = c * f;
        c = std::isinf(grown) ? c / static_cast<double>(i) * f : grown / static_cast<double>(i);
    }
    return c;
}

// Euclid with the truncating remainder; the sign of the result is whatever the steps give.
int64_t gcd2(int64_t x, int64_t y) {
    while (y != 0) {
        int64_t r = y == -1 ? 0 : x % y; // INT64_MIN % -1 would trap
        x = y;
        y = r;
    }
    return x;
}

// ---- prime factors ------------------------------------------------------------------------

// Trial division runs up to this divisor; what is left then has only large prime factors,
// which the prime test and Pollard's rho find in milliseconds where trial division up to the
// square root of a 63-bit number would take minutes.  The factors are the same either way.
constexpr uint64_t kTrialLimit = 1 << 16;

uint64_t mul_mod(uint64_t a, uint64_t b, uint64_t m) {
    return static_cast<uint64_t>(static_cast<unsigned __int128>(a) * b % m);
}

uint64_t pow_mod(uint64_t b, uint64_t e, uint64_t m) {
    uint64_t r = 1;
    for (b %= m; e; e >>= 1, b = mul_mod(b, b, m))
        if (e & 1) r = mul_mod(r, b, m);
    return r;
}

// Miller-Rabin with the first twelve primes as bases: exact for every 64-bit n.
bool is_prime(uint64_t n) {
    if (n < 2) return false;
    static constexpr uint64_t kBases[] = {2, 3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37};
    for (uint64_t p : kBases)
        if (n % p == 0) return n == p;
    uint64_t d = n - 1;
    int s = 0;
    for (; d % 2 == 0; d /= 2) ++s;
    for (uint64_t a : kBases) {
        uint64_t x = pow_mod(a, d, n);
        if (x == 1 || x == n - 1) continue;
        bool composite = true;
        for (int i = 1; i < s && composite; ++i) {
            x = mul_mod(x, x, n);
            if (x == n - 1) composite = false;
        }
        if (composite) return false;
    }
    return true;
}

// A proper divisor of the odd composite n (Floyd's cycle search on x² + c).
uint64_t rho_divisor(uint64_t n) {
    for (uint64_t c = 1;; ++c) {
        auto step = [&](uint64_t v) { return (mul_mod(v, v, n) + c) % n; };
        uint64_t x = 2, y = 2, d = 1;
        while (d == 1) {
            x = step(x);
            y = step(step(y));
            d = std::gcd(x > y ? x - y : y - x, n);
        }
        if (d != n) return d;
    }
}

void large_factors(uint64_t n, std::vector<uint64_t>& out) {
    if (n == 1) return;
    if (is_prime(n)) {
        out.push_back(n);
        return;
    }
    uint64_t d = rho_divisor(n);
    large_factors(d, out);
    large_factors(n / d, out);
}

// Prime factors of n > 1 in ascending order with repetition.
std::vector<uint64_t> prime_factors(uint64_t n) {
    std::vector<uint64_t> out;
    for (uint64_t d = 2; n > 1 && d < kTrialLimit; d += d == 2 ? 1 : 2) {
        if (d * d > n) break; // what is left is prime
        while (n % d == 0) {
            out.push_back(d);
            n /= d;
        }
    }
    size_t small = out.size();
    large_factors(n, out);
    std::sort(out.begin() + static_cast<std::ptrdiff_t>(small), out.end());
    return out;
}

// ---- handlers -----------------------------------------------------------------------------

template <double (*F)(double)> void unary(VContext&, int line, Args args, Value& result) {
    result.set_num(F(arg_number(args[0], line)));
}

template <double (*F)(double, double)> void binary(VContext&, int line, Args args, Value& result) {
    double x = arg_number(args[0], line);
    double y = arg_number(args[1], line);
    result.set_num(F(x, y));
}

double m_atan2(double y, double x) {
    return std::atan2(y, x);
}
double m_pow(double x, double y) {
    return std::pow(x, y);
}
double m_log_base(double x, double b) {
    return std::log(x) / std::log(b);
}

// round(x) and round(x, d); the same for bround.
template <double (*R)(double)> void rounding(VContext&, int line, Args args, Value& result) {
    double x = arg_number(args[0], line);
    result.set_num(args.size() < 2 ? R(x) : round_digits<R>(x, arg_trunc32(args[1], line)));
}

// A NaN already held stays; a NaN argument never replaces the held value.
template <bool Max> void extreme(VContext&, int line, Args args, Value& result) {
    if (args.size() < 2) raise(line, "Too few argument in %s()", Max ? "max" : "min");
    double m = arg_number(args[0], line);
    for (size_t i = 1; i < args.size(); ++i) {
        double y = arg_number(args[i], line);
        if (Max ? m <= y : y <= m) m = y;
    }
    result.set_num(m);
}

void clamp_value(VContext&, int line, Args args, Value& result) {
    double x = arg_number(args[0], line);
    double lo = arg_number(args[1], line);
    double hi = arg_number(args[2], line);
    if (x > hi || std::isnan(x))
        result.set_num(hi);
    else
        result.set_num(x < lo ? lo : x);
}

template <double (*F)(int64_t, int64_t)>
void combinatoric(VContext&, int line, Args args, Value& result) {
    int64_t n = arg_trunc64(args[0], line);
    int64_t r = arg_trunc64(args[1], line);
    result.set_num(F(n, r));
}

// Every argument is checked even after the divisor has reached 1.
void gcd_all(VContext&, int line, Args args, Value& result) {
    if (args.size() < 2) raise(line, "Too few arguments in gcd()");
    int64_t r = arg_trunc64(args[0], line);
    for (size_t i = 1; i < args.size(); ++i) {
        int64_t x = arg_trunc64(args[i], line);
        if (r != 1) r = gcd2(x, r);
    }
    result.set_num(static_cast<double>(r));
}

// A zero argument makes the result 0 (also when the running value is 0 as well, where the
// divisor would be 0); a multiple beyond 64 bits becomes an infinity of its sign.
void lcm_all(VContext&, int line, Args args, Value& result) {
    if (args.size() < 2) raise(line, "Too few arguments in lcm()");
    int64_t r = 1;
    double overflowed = 0; // ±infinity once the multiple no longer fits
    for (const Value& a : args) {
        int64_t x = arg_trunc64(a, line);
        if (x == 0) {
            r = 0;
            overflowed = 0;
        }
        if (r == 0 || overflowed != 0) continue;
        int64_t g = gcd2(r, x);
        bool negative = ((x < 0) != (g < 0)) != (r < 0);
        // x / g overflows only for INT64_MIN / -1.
        bool fits = !(g == -1 && x == std::numeric_limits<int64_t>::min());
        int64_t product = 0;
        if (fits && !__builtin_mul_overflow(x / g, r, &product))
            r = product;
        else
            overflowed = negative ? -INFINITY : INFINITY;
    }
    result.set_num(overflowed != 0 ? overflowed : static_cast<double>(r));
}

void factor_list(VContext&, int line, Args args, Value& result) {
    int64_t n = arg_trunc64(args[0], line);
    Value list(new VArray());
    if (n <= 1) {
        list.as_array()->push(Value(1));
    } else {
        for (uint64_t f : prime_factors(static_cast<uint64_t>(n)))
            list.as_array()->push(Value(static_cast<double>(f)));
    }
    result = std::move(list);
}

void seed_random(VContext&, int line, Args args, Value&) {
    uint32_t s = args.empty() ? static_cast<uint32_t>(std::time(nullptr))
                              : static_cast<uint32_t>(arg_trunc32(args[0], line));
    math_state.generator.seed(s);
}

constexpr double kTwoTo32 = 4294967296.0;

void draw_random(VContext&, int, Args, Value& result) {
    result.set_num(math_state.generator.next() / kTwoTo32);
}

// The integer part of u / 2^32 * n; a negative n can give -0.5 and so on, whose integer part
// is 0, not -0 (adding +0 turns -0 into +0 and leaves every other value as it is).
void draw_rand(VContext&, int line, Args args, Value& result) {
    double n = args.empty() ? 32767 : arg_number(args[0], line);
    result.set_num(std::trunc(math_state.generator.next() / kTwoTo32 * n) + 0.0);
}

constexpr BuiltinDef kMathBuiltins[] = {
    {"sin", 1, unary<m_sin>},
    {"cos", 1, unary<m_cos>},
    {"tan", 1, unary<m_tan>},
    {"asin", 1, unary<m_asin>},
    {"acos", 1, unary<m_acos>},
    {"atan", 1, unary<m_atan>},
    {"atan", 2, binary<m_atan2>},
    {"sinh", 1, unary<m_sinh>},
    {"cosh", 1, unary<m_cosh>},
    {"tanh", 1, unary<m_tanh>},
    {"asinh", 1, unary<m_asinh>},
    {"acosh", 1, unary<m_acosh>},
    {"atanh", 1, unary<m_atanh>},
    {"log", 1, unary<m_log>},
    {"log", 2, binary<m_log_base>},
    {"log10", 1, unary<m_log10>},
    {"pow", 2, binary<m_pow>},
    {"exp", 1, unary<m_exp>},
    {"sqrt", 1, unary<m_sqrt>},
    {"abs", 1, unary<m_abs>},
    {"floor", 1, unary<m_floor>},
    {"ceil", 1, unary<m_ceil>},
    {"round", 1, rounding<round_half_away>},
    {"round", 2, rounding<round_half_away>},
    {"bround", 1, rounding<round_half_even>},
    {"bround", 2, rounding<round_half_even>},
    {"sign", 1, unary<m_sign>},
    {"finite", 1, unary<m_finite>},
    {"max", -1, extreme<true>},
    {"min", -1, extreme<false>},
    {"fact", 1, unary<m_fact>},
    {"perm", 2, combinatoric<perm_of>},
    {"comb", 2, combinatoric<comb_of>},
    {"gcd", -1, gcd_all},
    {"lcm", -1, lcm_all},
    {"factor", 1, factor_list},
    {"clamp", 3, clamp_value},
    {"srand", 0, seed_random},
    {"srand", 1, seed_random},
    {"random", 0, draw_random},
    {"rand", 0, draw_rand},
    {"rand", 1, draw_rand},
};

} // namespace

std::span<const BuiltinDef> math_builtins() {
    return kMathBuiltins;
}

} // namespace ruvo
