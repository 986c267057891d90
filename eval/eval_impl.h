// Internal interface between the parts of the evaluator: expressions and places
// (eval/expr.cpp, which holds the dispatch of `evaluate`), statements (eval/stmt.cpp) and
// calls (eval/call.cpp).  Each statement routine is kept out of line so that the frame of
// `evaluate`, which every nested expression and script call adds to the native stack, stays
// small.
#pragma once

#include "core/attention.h"
#include "core/convert.h"
#include "core/value.h"
#include "eval/context.h"
#include "eval/evaluate.h"
#include "eval/lower.h"
#include "eval/scope.h"
#include "front/node.h"

namespace ruvo {

// to_bool with the number case inline.
inline bool truthy(const CellData& v) {
    if (v.is_numeric()) {
        double d = v.num();
        return d != 0.0 && d == d;
    }
    return to_bool(v);
}

// Pure arithmetic: a subtree of number literals, variables, unary minus and + - * / % that
// is at most 32 high can be computed on doubles alone, without a Value per node.  Such a
// computation has no side effects, so when it meets something that is not a number (a
// variable holding a string, a remainder by zero) it gives up and the general path evaluates
// the same nodes again, with identical results.  Skipping the collector's turn for these
// nodes is safe: they allocate nothing.  The classification is made once per node and kept
// in `aux`; the height bound keeps classification and computation shallow on the stack.
inline constexpr uint32_t kAuxClassified = 1, kAuxNumeric = 2; // the height in bits 8 to 15
// An assignment `h[k] = h[k] op y` looked at once: whether it has that shape (eval/expr.cpp).
inline constexpr uint32_t kAuxUpdateKnown = 1u << 30, kAuxElementUpdate = 1u << 31;
// A lowered operator node that is a name plus, minus or times a number literal (`n - 1`).
inline constexpr uint32_t kAuxNameOpConstant = 64;
// A lowered comparison of a name that has a slot with a number literal, the condition of a
// function body's guard (`if (n < 2) return n;`).
inline constexpr uint32_t kAuxSlotAgainstNumber = 128;

void classify_numeric(Node* n);
inline bool numeric_candidate(Node* n) {
    if (!(n->aux & kAuxClassified)) classify_numeric(n);
    return n->aux & kAuxNumeric;
}
// Computes a numeric candidate; false when a value on the way is not a number.
bool eval_num(Node* n, double& out);
// run_numeric_inline<false> (eval/numeric.h) for the expressions outside the loops that run
// their programs in place (eval/numeric.cpp: a file of its own, so that the machine's many
// variable reads do not use up the room the compiler leaves for inlining in the evaluator's
// other files).
bool run_numeric(NumStep* s, double& out);

// The variable a name operand of arithmetic reads, or null when it is undeclared.  A name
// that no scope but the global one holds is its global variable wherever it is read (a
// function that does not declare it reads the global one too); any other name goes through
// the scope stack's lookup and, failing that, the global variable.
[[gnu::always_inline]] inline Cell* read_variable(Node* leaf) {
    Atom name = leaf->name();
    if (name->locals == 0) return name->global ? &name->global->value : nullptr;
    Cell* c = scopes.lookup(leaf);
    return c ? c : scopes.lookupGlobal(leaf->name());
}

// The number in a variable's cell; false when there is none or it holds something else.
[[gnu::always_inline]] inline bool cell_number(const Cell* c, double& out) {
    if (!c || !c->is_numeric()) return false;
    out = c->num();
    return true;
}

// The number in name node [n]'s slot of the running call; false when it has none or the
// slot holds something else (the name is then read as usual).
[[gnu::always_inline]] inline bool slot_number(const Node* n, double& out) {
    Cell* c = scopes.slot_cell(n);
    return c && c->is_numeric() && (out = c->num(), true);
}

// num_operand: a leaf read in place, an operator node through eval_num.
[[gnu::always_inline]] inline bool num_operand(Node* n, double& out) {
    if (n->op == OP_NUMBER) {
        out = n->number;
        return true;
    }
    if (n->op == OP_IDENT) return slot_number(n, out) || cell_number(read_variable(n), out);
    return eval_num(n, out);
}

// Comparison of numbers (false with NaN, except for !=); op is OP_EQ .. OP_LE.  `<`, the
// commonest in conditions, is decided before the switch.
[[gnu::always_inline]] inline bool compare_numbers(int op, double x, double y) {
    if (op == OP_LT) return x < y;
    switch (op) {
    case OP_EQ: return x == y;
    case OP_NE: return !(x == y);
    case OP_GT: return x > y;
    case OP_GE: return x >= y;
    default: return x <= y;
    }
}

// x op y for op + - * (an operator node whose operands are numbers).
[[gnu::always_inline]] inline double add_sub_mul(int op, double x, double y) {
    return op == OP_ADD ? x + y : op == OP_SUB ? x - y : x * y;
}

// "Recursion limit exceeded": the native stack is nearly used up.
[[noreturn, gnu::cold, gnu::noinline]] void stack_exhausted(int line);

// The out-of-line half of the poll: the collector's turn, an interrupt, the step budget.
[[gnu::cold, gnu::noinline]] void attend(int line);

// The poll point: one load while nobody asks for attention.  Every node evaluation passes it,
// and every loop iteration, so that even `for (;;) ;` can be interrupted.
[[gnu::always_inline]] inline void poll_point(const Node* n) {
    if (attention.load(std::memory_order_relaxed) != 0) [[unlikely]]
        attend(n->line);
}
// The same where there is a line but no node (a call that a built-in makes).  The node's
// line is read only once attention is asked for, so the two are not one routine.
[[gnu::always_inline]] inline void poll_point(int line) {
    if (attention.load(std::memory_order_relaxed) != 0) [[unlikely]]
        attend(line);
}

// What every node evaluation does first: the poll point and the native-stack guard.
[[gnu::always_inline]] inline void enter_node(const Node* n) {
    poll_point(n);
    // The stack pointer itself: asking for the frame address would force a frame pointer on
    // every routine that makes this check.
    const char* sp;
#if defined(__x86_64__)
    asm("mov %%rsp, %0" : "=r"(sp));
#else
    sp = static_cast<const char*>(__builtin_frame_address(0));
#endif
    if (sp < eval_state.stack_limit) [[unlikely]]
        stack_exhausted(n->line);
}

// Calls (eval/call.cpp).
Value eval_call(Node* n, VContext& ctx);
struct func_data;
// A condition that is a call of a built-in borrowing its plain arguments (kQuietPlainCall,
// func_data::borrows): whether the built-in's result is true, or -1 when the call does not
// reach such a built-in (nothing has run then).
int borrowed_condition(Node* c, VContext& ctx);

// The value of an operand, argument or right side: literals, variables, arithmetic and calls
// are computed in place or go straight to their routine, everything else through evaluate().
[[gnu::always_inline]] inline Value value_of(Node* c, VContext& ctx) {
    if (c->op == OP_NUMBER) return Value(c->number);
    if (c->op == OP_IDENT) {
        if (Cell* cell = scopes.slot_cell(c)) return Value(*cell);
        if (Cell* cell = scopes.lookup(c)) return Value(*cell);
    } else if (c->op == OP_CALL) {
        enter_node(c);
        return eval_call(c, ctx);
    } else if (c->lop == kLowNumeric) {
        double d;
        if (c->aux & kAuxNameOpConstant) { // `n - 1`: no program to run
            if (slot_number(c->left, d) || cell_number(read_variable(c->left), d)) {
                return Value(add_sub_mul(c->op, d, c->right->number));
            }
        } else if (run_numeric(static_cast<NumStep*>(c->lowered), d)) {
            return Value(d);
        }
    } else if (c->lop == kLowUnset && numeric_candidate(c)) {
        double d;
        if (eval_num(c, d)) return Value(d);
    }
    return evaluate(c, ctx);
}

// A + - * node of numbers, or one whose operands are not both numbers: the general rules
// (string concatenation, the errors), given the two operands' values.
Value arith_values(Node* n, const Value& a, const Value& b);
// The rest of the general evaluation of a + - * / % node once its left operand [a] is known.
Value arith_after_left(Node* n, Value& a, VContext& ctx);

// The value of a + - * node that is not pure arithmetic (`fib(n - 1) + fib(n - 2)`), without
// a routine of its own when both operands turn out to be numbers.  Every operand that is a
// call passes the call node's poll point and stack check.
[[gnu::always_inline]] inline Value arith_of(Node* e, VContext& ctx) {
    Value a = value_of(e->left, ctx);
    if (!a.is_numeric()) return arith_after_left(e, a, ctx);
    Value b = value_of(e->right, ctx);
    if (!b.is_numeric()) return arith_values(e, a, b);
    return Value(add_sub_mul(e->op, a.num(), b.num()));
}

// The truth of a condition; a comparison of numbers is decided in place.
[[gnu::always_inline]] inline bool condition_true(Node* c, VContext& ctx) {
    if (c->lop == kLowCompareNum) {
        double x, y;
        if (num_operand(c->left, x) && num_operand(c->right, y))
            return compare_numbers(c->op, x, y);
    }
    if (c->op == OP_CALL) { // `if (key(h, w))`: straight to the call routine
        enter_node(c);
        return truthy(eval_call(c, ctx));
    }
    return truthy(evaluate(c, ctx));
}

// "Symbol %s not declared".
[[noreturn]] void raise_not_declared(Atom name, int line);

// Whether nothing in the statement n (its own subtree) can call a function or declare a
// variable; see eval/quiet.cpp.
bool compute_quiet(Node* n);
inline constexpr uint8_t kQuietYes = 2;
inline bool is_quiet(Node* n) {
    return n->quiet ? n->quiet == kQuietYes : compute_quiet(n);
}
// What more is known of a node that is not quiet, kept in the same field: nothing
// (kQuietLooked); an `if` whose only call is its condition, a call with plain arguments
// (kQuietCallCondition); a block that can have nothing declared in it (kQuietOwnEntries); a
// call by name whose arguments, kQuietPlainCall + their count, are variables and literals.
inline constexpr uint8_t kQuietLooked = 3, kQuietCallCondition = 4, kQuietOwnEntries = 5,
                         kQuietPlainCall = 16;
inline constexpr uint8_t kInlineCallArgs = 8; // arguments a call keeps in its own frame
uint8_t refine_quiet(Node* n);
inline uint8_t quiet_kind(Node* n) {
    return n->quiet > kQuietYes ? n->quiet : refine_quiet(n);
}

Value exec_if(Node* n, VContext& ctx);
Value exec_block(Node* n, VContext& ctx);
Value exec_return(Node* n, VContext& ctx);
Value exec_set_num(Node* n, VContext& ctx); // kLowSetNum
Value exec_assign(Node* n, VContext& ctx);  // any other `=`

// A statement of a block, loop or branch: the commonest statements go straight to their
// routines instead of through the dispatch of evaluate().
[[gnu::always_inline]] inline Value run_statement(Node* s, VContext& ctx) {
    switch (s->op) {
    case OP_IF: enter_node(s); return exec_if(s, ctx);
    case OP_RETURN: enter_node(s); return exec_return(s, ctx);
    case OP_BLOCK: enter_node(s); return exec_block(s, ctx);
    case OP_ASSIGN:
        enter_node(s);
        return s->lop == kLowSetNum ? exec_set_num(s, ctx) : exec_assign(s, ctx);
    default: return evaluate(s, ctx);
    }
}

// Statements.
Value exec_while(Node* n, VContext& ctx); // while and do-while
Value exec_for(Node* n, VContext& ctx);
Value exec_foreach(Node* n, VContext& ctx);
Value exec_switch(Node* n, VContext& ctx);
Value exec_try(Node* n, VContext& ctx);
Value exec_declaration(Node* n, VContext& ctx); // var and static
Value exec_extern(Node* n, VContext& ctx);
Value exec_funcdef(Node* n, VContext& ctx);
Value exec_jump(Node* n, VContext& ctx); // break and continue

} // namespace ruvo
