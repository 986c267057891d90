// What the fuzz targets share: calling a built-in of one family the way the evaluator calls
// it, with script errors swallowed (a script error is an answer, not a finding), and building
// script values from the fuzzer's bytes.
//
// A finding is whatever the sanitizers or libFuzzer stop on: a crash, a leak, undefined
// behaviour, a timeout, or memory beyond the limits the run is started with.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/convert.h"
#include "core/string.h"
#include "core/value.h"
#include "eval/context.h"
#include "eval/error.h"
#include "lib/registry.h"

namespace ruvo::fuzz {

// Calls [name] of [family] with [args]; the result, or null when it raised a script error.
inline Value call_builtin(std::span<const BuiltinDef> family, const char* name,
                          std::vector<Value> args) {
    BuiltinHandler h = find_builtin(family, name, static_cast<int>(args.size()));
    if (!h) __builtin_trap(); // the harness names a registration that is not there
    VContext ctx;
    Value result;
    try {
        h(ctx, 1, args, result);
    } catch (const ScriptError&) {
        result.set_null();
    }
    return result;
}

// A value of any scalar kind: a number (NaN, infinities and huge ones included), a boolean,
// null, or a string of up to [max_text] bytes.
inline Value any_scalar(FuzzedDataProvider& in, size_t max_text = 64) {
    switch (in.ConsumeIntegralInRange<int>(0, 4)) {
    case 0: return Value(in.ConsumeFloatingPoint<double>());
    case 1: return Value(static_cast<double>(in.ConsumeIntegral<int32_t>()));
    case 2: return Value::boolean(in.ConsumeBool());
    case 3: return Value();
    default: return make_string(in.ConsumeRandomLengthString(max_text));
    }
}

} // namespace ruvo::fuzz
