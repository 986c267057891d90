// Script errors, the exit signal and the interrupt signal.
//
// Every failure a script can cause travels as one C++ exception, `ScriptError`, carrying the
// finished message ("error [12]: Division by 0", or "error: ..." without a line).  `raise` is
// the single way to throw it.  `VExit` is the exit signal of the `exit` built-in: it is not a
// script error, so `try`/`catch` lets it pass and only the run units take its value.
// `VInterrupt` stops a run from outside.  Exceptions are used for these three only, never
// for break, continue or return.
#pragma once

#include <string>

#include "core/value.h"

namespace ruvo {

struct ScriptError {
    std::string message;
};

struct VExit {
    Value value; // null when exit() had no argument
    int line = 0;
};

// The interrupt signal: the running line was interrupted (talk mode's Ctrl-C) or its step
// budget ran out.  Neither `try` nor a run unit stops it: it unwinds to whoever set the
// interrupt up, which decides what the user sees.
struct VInterrupt {
    int line = 0;
};

// Formats like printf into 512 bytes, prefixes "error [line]: " (line >= 1) or "error: ",
// and throws a ScriptError.  Never returns.
[[noreturn]] void raise(int line, const char* format, ...) __attribute__((format(printf, 2, 3)));

// The same with an already formatted message, taken literally (no directives).
[[noreturn]] void raise_text(int line, const std::string& message);

// The finished text raise() would throw, for callers that print instead of throwing.
std::string error_text(int line, const std::string& message);

} // namespace ruvo
