// Argument checks shared by the built-in families.
//
// Every built-in takes its arguments through these helpers and the three conversions of
// core/convert.h, so that each message ("Cannot convert arg to number", "Bad argument type in
// len()") is written in exactly one place.  A number used as a position, count, width or seed
// is truncated toward zero; a value beyond the target range sticks at the range's nearest end
// (NaN gives 0), so a huge position means "past the end" instead of wrapping around.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <span>

#include "core/convert.h"
#include "core/value.h"
#include "eval/error.h"

namespace ruvo {

// d truncated toward zero into [lo, hi]; NaN gives 0.
template <typename Int> Int trunc_clamped(double d) {
    constexpr double lo = static_cast<double>(std::numeric_limits<Int>::min());
    constexpr double hi = static_cast<double>(std::numeric_limits<Int>::max());
    if (std::isnan(d)) return 0;
    if (d <= lo) return std::numeric_limits<Int>::min();
    // hi of int64 rounds up to 2^63 as a double, so >= keeps the cast in range.
    if (d >= hi) return std::numeric_limits<Int>::max();
    return static_cast<Int>(d);
}

// A number argument used as a signed 32-bit integer.
inline int32_t arg_trunc32(const CellData& v, int line) {
    return trunc_clamped<int32_t>(arg_number(v, line));
}

// A number argument used as a signed 64-bit integer.
inline int64_t arg_trunc64(const CellData& v, int line) {
    return trunc_clamped<int64_t>(arg_number(v, line));
}

// Optional argument i as a 32-bit integer, or `fallback` when the call did not pass it.
inline int32_t opt_trunc32(std::span<Value> args, size_t i, int32_t fallback, int line) {
    return i < args.size() ? arg_trunc32(args[i], line) : fallback;
}

// "Bad argument type in name()": the main argument of a built-in has the wrong type.
[[noreturn]] inline void raise_bad_type(int line, const char* name) {
    raise(line, "Bad argument type in %s()", name);
}

} // namespace ruvo
