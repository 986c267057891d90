// Running the numeric programs of eval/lower.h: the accumulator machine, its variable reads
// and the remainder of numbers.
//
// Everything here is inline so that a loop's routine (eval/stmt.cpp) holds the whole machine
// in its own frame instead of calling into it; eval/numeric.cpp holds the one out-of-line copy
// that the rest of the evaluator calls.  A program has no side effects: reading a variable
// changes nothing and a program that meets something it cannot compute returns false before
// anything has been stored, so its caller can run the general routine of the same nodes with
// identical results.
#pragma once

#include <cmath>
#include <cstdint>
#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "eval/eval_impl.h"
#include "eval/lower.h"
#include "eval/scope.h"
#include "front/node.h"

namespace ruvo {

// fmod(x, y) for y != 0.  For integers the integer remainder is the same number (exact, with
// the dividend's sign, also for a zero result) and much cheaper than the library call.
// Integers above 2^53 in magnitude are exact too, but take the library path.
[[gnu::always_inline]] inline double remainder_of(double x, double y) {
    constexpr double kExact = 9007199254740992.0; // 2^53
    if (std::fabs(x) < kExact && std::fabs(y) < kExact) {
        auto xi = static_cast<int64_t>(x), yi = static_cast<int64_t>(y);
        if (static_cast<double>(xi) == x && static_cast<double>(yi) == y)
            return std::copysign(static_cast<double>(xi % yi), x); // a zero keeps x's sign
    }
    return std::fmod(x, y);
}

// x % k for a constant k that is an integer, 1 <= |k| < 2^63, whose magnitude is [k_abs]
// (NumStep::ModI).  x % k and x % |k| are the same number.  Every double of magnitude below
// 2^63 that is an integer converts exactly, so the integer remainder is fmod's exact result;
// NaN, the infinities and fractions take fmod.
[[gnu::always_inline]] inline double remainder_by_integer(double x, int64_t k_abs, double k) {
    int64_t xi;
#if defined(__x86_64__)
    // The processor's truncation gives INT64_MIN for NaN and for every value out of range,
    // which converts back to x only when x is -2^63 itself, an exact integer.
    xi = _mm_cvttsd_si64(_mm_set_sd(x));
#else
    constexpr double kInt64 = 9223372036854775808.0; // 2^63
    if (!(std::fabs(x) < kInt64)) return std::fmod(x, k);
    xi = static_cast<int64_t>(x);
#endif
    if (static_cast<double>(xi) != x) [[unlikely]]
        return std::fmod(x, k);
    int64_t r = xi % k_abs;
    if (r == 0) [[unlikely]]
        return std::copysign(0.0, x);
    return static_cast<double>(r); // the dividend's sign
}

// acc = x op y for operator [index] of a numeric step family (0: +, 1: -, 2: *, 3: /, 4: %);
// false for a remainder by 0, which the general routine reports.
[[gnu::always_inline]] inline bool num_apply(int index, double x, double y, double& acc) {
    switch (index) {
    case 0: acc = x + y; return true;
    case 1: acc = x - y; return true;
    case 2: acc = x * y; return true;
    case 3: acc = x / y; return true;
    default:
        if (y == 0) return false;
        acc = remainder_of(x, y);
        return true;
    }
}

// The highest subtree that is computed as pure arithmetic, and the deepest operand stack its
// program can need.
inline constexpr int kNumericHeight = 32;
inline constexpr int kNumericStack = kNumericHeight + 2;

// How a lowered operation finds its variable, as its general routine would: a read of
// arithmetic (read_variable), the target of ++ and -- (a lookup that does not reach the
// global variable from a function), the target of an assignment (assigned_variable, which
// declares an undeclared name).
enum class Resolve { Read, Count, Assign };


// The variable an assignment to name node [n] stores into: assigning to an undeclared name
// declares it in the current call (outside strict mode).
inline Cell* assigned_variable(Node* n) {
    Cell* c = scopes.lookup(n);
    if (!c) {
        if (scopes.strict) raise_not_declared(n->name(), n->line);
        c = scopes.declare(n->name(), 0);
    }
    return c;
}

// The variable of name node [leaf] as its operation's general routine finds it.
template <Resolve R> [[gnu::always_inline]] inline Cell* resolve_variable(Node* leaf) {
    if constexpr (R == Resolve::Read)
        return read_variable(leaf);
    else if constexpr (R == Resolve::Count)
        return scopes.lookup(leaf);
    else
        return assigned_variable(leaf);
}

// A stale VarCache: the variable found again and kept (a declaration moves the epoch before
// it is kept).  Out of line: a loop takes it once, or after something changed the symbols.
template <Resolve R>
[[gnu::noinline, gnu::cold]] Cell* resolve_and_keep(VarCache& vc, Node* leaf) {
    Cell* c = resolve_variable<R>(leaf);
    if (c) vc = {c, symbols_epoch};
    return c;
}

// The variable of name node [leaf] of a lowered operation.  [Cached]: through the
// operation's VarCache, which only the loops that call nothing use (see exec_for).
template <bool Cached, Resolve R>
[[gnu::always_inline]] inline Cell* operation_cell(VarCache& vc, Node* leaf) {
    if constexpr (Cached) {
        if (vc.epoch == symbols_epoch) [[likely]] {
            if (!vc.cell) __builtin_unreachable(); // only a variable found is kept
            return vc.cell;
        }
        return resolve_and_keep<R>(vc, leaf);
    } else {
        (void)vc;
        return resolve_variable<R>(leaf);
    }
}

// A name operand of arithmetic read as a number.
template <bool Cached>
[[gnu::always_inline]] inline bool variable_number(VarCache& vc, Node* leaf, double& out) {
    return cell_number(operation_cell<Cached, Resolve::Read>(vc, leaf), out);
}

// An operand of a lowered comparison: a leaf read in place, an operator through eval_num.
template <bool Cached>
[[gnu::always_inline]] inline bool compare_operand(Node* n, VarCache& vc, double& out) {
    if (n->op == OP_NUMBER) {
        out = n->number;
        return true;
    }
    if (n->op == OP_IDENT) return variable_number<Cached>(vc, n, out);
    return eval_num(n, out);
}

// Both operands of a kLowCompareNum node; false when one is not a number.
template <bool Cached>
[[gnu::always_inline]] inline bool compare_operands(Node* c, double& x, double& y) {
    auto* r = static_cast<NumCompare*>(c->lowered);
    return compare_operand<Cached>(c->left, r->left, x) &&
           compare_operand<Cached>(c->right, r->right, y);
}

// The steps of one operator family with their operator known when compiled (0: +, 1: -,
// 2: *, 3: /, 4: %), so that each case of the machine below is straight code.
template <bool Cached, int I>
[[gnu::always_inline]] inline bool variable_step(NumStep* s, double& acc) {
    double v;
    return variable_number<Cached>(s->var, s->leaf, v) && num_apply(I, acc, v, acc);
}
template <bool Cached, int I>
[[gnu::always_inline]] inline bool reversed_variable_step(NumStep* s, double& acc) {
    double v;
    return variable_number<Cached>(s->var, s->leaf, v) && num_apply(I, v, acc, acc);
}

// Runs a numeric program; false when a value on the way is not a number or a remainder is
// by 0.
template <bool Cached>
[[gnu::always_inline]] inline bool run_numeric_inline(NumStep* s, double& out) {
    double stack[kNumericStack];
    double* sp = stack; // the next free entry
    double acc = 0;
    for (;; ++s) {
        switch (s->op) {
        case NumStep::End: out = acc; return true;
        case NumStep::LoadK: acc = s->k; break;
        case NumStep::LoadV:
            if (!variable_number<Cached>(s->var, s->leaf, acc)) return false;
            break;
        case NumStep::AddK: acc += s->k; break;
        case NumStep::SubK: acc -= s->k; break;
        case NumStep::MulK: acc *= s->k; break;
        case NumStep::DivK: acc /= s->k; break;
        case NumStep::ModK:
            if (!num_apply(4, acc, s->k, acc)) return false;
            break;
        case NumStep::ModI: acc = remainder_by_integer(acc, s->k_abs, s->k); break;
        case NumStep::AddV: if (!variable_step<Cached, 0>(s, acc)) return false; break;
        case NumStep::SubV: if (!variable_step<Cached, 1>(s, acc)) return false; break;
        case NumStep::MulV: if (!variable_step<Cached, 2>(s, acc)) return false; break;
        case NumStep::DivV: if (!variable_step<Cached, 3>(s, acc)) return false; break;
        case NumStep::ModV: if (!variable_step<Cached, 4>(s, acc)) return false; break;
        case NumStep::RAddK: acc = s->k + acc; break;
        case NumStep::RSubK: acc = s->k - acc; break;
        case NumStep::RMulK: acc = s->k * acc; break;
        case NumStep::RDivK: acc = s->k / acc; break;
        case NumStep::RModK:
            if (!num_apply(4, s->k, acc, acc)) return false;
            break;
        case NumStep::RAddV: if (!reversed_variable_step<Cached, 0>(s, acc)) return false; break;
        case NumStep::RSubV: if (!reversed_variable_step<Cached, 1>(s, acc)) return false; break;
        case NumStep::RMulV: if (!reversed_variable_step<Cached, 2>(s, acc)) return false; break;
        case NumStep::RDivV: if (!reversed_variable_step<Cached, 3>(s, acc)) return false; break;
        case NumStep::RModV: if (!reversed_variable_step<Cached, 4>(s, acc)) return false; break;
        case NumStep::Push: *sp++ = acc; break;
        case NumStep::PopAdd: acc = *--sp + acc; break;
        case NumStep::PopSub: acc = *--sp - acc; break;
        case NumStep::PopMul: acc = *--sp * acc; break;
        case NumStep::PopDiv: acc = *--sp / acc; break;
        case NumStep::PopMod:
            --sp;
            if (!num_apply(4, *sp, acc, acc)) return false;
            break;
        case NumStep::Neg: acc = -acc; break;
        default: __builtin_unreachable();
        }
    }
}

// x = <pure arithmetic> (kLowSetNum): the double goes straight into the variable.  False,
// with nothing changed, where the general assignment must run.
template <bool Cached>
[[gnu::always_inline]] inline bool set_num_in_place(Node* n, double& out) {
    auto* program = static_cast<NumStep*>(n->right->lowered);
    if (!(Cached ? run_numeric_inline<true>(program, out) : run_numeric(program, out)))
        return false;
    operation_cell<Cached, Resolve::Assign>(*static_cast<VarCache*>(n->lowered), n->left)
        ->set_num(out);
    return true;
}

// ++ or -- (kLowIncVar, [delta] 1 or -1) of a variable holding a number, in place; [old] is
// its value before.  False, with nothing changed, for anything else (a boolean's old value
// stays a boolean, so it takes the general path too).
template <bool Cached>
[[gnu::always_inline]] inline bool incdec_in_place(Node* n, double delta, double& old) {
    Cell* c =
        operation_cell<Cached, Resolve::Count>(*static_cast<VarCache*>(n->lowered), n->left);
    if (!c || !c->is_number()) return false;
    old = c->num();
    c->set_num(old + delta); // releases nothing: the cell holds a number
    return true;
}

// The step of ++ and -- nodes: 1 or -1.
inline double incdec_delta(const Node* n) {
    return n->op == OP_PREINC || n->op == OP_POSTINC ? 1.0 : -1.0;
}

} // namespace ruvo
