// The tree-walking evaluator.
//
// `evaluate` is one recursive routine that switches on a node's opcode and yields its Value;
// `execBlock` runs a statement list; `callFunction` calls one overload (built-ins use it to
// call script code back).  break, continue and return never throw: they set the status of
// the VContext, and every block, loop, switch and call looks at it after each statement.
// Only script errors (ScriptError) and the exit signal (VExit) travel as C++ exceptions.
//
// Two limits keep the native stack safe: a call raises "Recursion limit exceeded" when the
// scope stack holds more than 1000 entries (about 500 nested calls), and every evaluation
// raises the same error when less than a safety margin of the running thread's stack is left
// (a pathological tree such as a chain of 100 000 `+` ends in a script error, not a crash).
// The run units record the stack bounds before they evaluate anything.
#pragma once

#include <cstdint>
#include <span>

#include "core/value.h"
#include "eval/context.h"
#include "eval/func.h"
#include "front/node.h"

namespace ruvo {

// Process-wide state of the evaluator.
struct EvalState {
    // evaluate() raises "Recursion limit exceeded" when its frame lies below this address;
    // null until a run unit records the bounds of its thread.
    const char* stack_limit = nullptr;
    int run_depth = 0; // nested run units (eval() inside a script)
    // Calls a native function object (VKind::DllFunc); installed by the native-call bridge.
    // While it is null such objects are not callable.
    Value (*call_native)(VContext& ctx, int line, VRef* fn, std::span<Value> args) = nullptr;
    // Steps a run may still take while kAttendBudget is set; see set_step_budget().
    uint64_t steps_left = 0;
};
extern EvalState eval_state;

// Largest element count an array may reach through `var a[n]` or an assignment past its end;
// beyond it the assignment raises "Array range error index:=%d" instead of exhausting memory.
inline constexpr int64_t kMaxArrayGrowth = int64_t(1) << 26;

Value evaluate(Node* n, VContext& ctx);
Value execBlock(Context* c, VContext& ctx);
// Calls one overload with the given arguments (as many as the overload takes, or any number
// for an any-count built-in).  "Recursion limit exceeded" when the scope stack is too deep.
Value callFunction(VContext& ctx, int line, func_data* f, std::span<Value> args);

// Bounds the steps of what runs from now on (a step is one pass of the poll point: at least
// one per node evaluated, loop iteration and call): when they are used up, every further
// step raises VInterrupt.  0 takes the bound away.
void set_step_budget(uint64_t steps);

// Installs the collector's root marker (every scope, every function's statics).
void eval_init();
// Records the stack bounds of the calling thread for the native-stack guard.
void eval_stack_prepare();

} // namespace ruvo
