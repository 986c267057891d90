// Statements: blocks and branches, declarations, loops with multi-level break and continue,
// switch, try/catch, and the jump statements.
//
// Every block, branch and loop iteration opens a scope entry (a placeholder until something
// is declared in it) and closes it on the normal path.  When a script error unwinds, the
// entries stay until the nearest catching point (try, a run unit) restores the depth it
// recorded, so nothing here needs to clean up on the error path.
#include <climits>
#include <cmath>
#include <string>

#include "core/array.h"
#include "core/operators.h"
#include "core/string.h"
#include "eval/error.h"
#include "eval/eval_impl.h"
#include "eval/evaluate.h"
#include "eval/funcref.h"
#include "eval/numeric.h"
#include "eval/place.h"
#include "eval/scope.h"
#include "ext/com.h"

namespace ruvo {

namespace {

// After a loop body: what a pending status means.  True: go on with the next iteration.
bool loop_goes_on(VContext& ctx) {
    switch (ctx.status) {
    case VContext::Normal: return true;
    case VContext::Break:
        if (--ctx.level <= 0) ctx.take();
        return false;
    case VContext::Continue:
        if (--ctx.level > 0) return false; // the enclosing loop continues
        ctx.take();
        return true;
    default: return false; // return: leave at once
    }
}

[[gnu::always_inline]] inline bool condition_holds(Node* cond, VContext& ctx) {
    return !cond || condition_true(cond, ctx);
}

// The variable of a foreach head or catch clause gets v: `var x` declares x in the innermost
// scope, a plain `x` is assigned.
void bind_loop_variable(Node* var, const Value& v, VContext& ctx) {
    if (var->op == OP_VAR)
        scopes.declare(var->left->name(), SymMan::Block)->set(v);
    else
        assign(var, v, ctx);
}

// The loop's own `var x` as the innermost scope holds it, or null: before the first
// declaration, and when the body made x an alias of the global variable (a single-statement
// body runs in the loop's scope, so `extern x` there turns the symbol into one).  A scope has
// one symbol per name, so this is what a lookup of x finds first.
[[gnu::always_inline]] inline Symbol* own_loop_symbol(Atom name) {
    SymMan* top = scopes.entries.back();
    Symbol* y = top ? top->find(name) : nullptr;
    return y && !y->is_extern ? y : nullptr;
}

[[noreturn]] void already_declared(Atom name, int line) {
    raise(line, "Symbol %s already declared", name->chars);
}

// A block that opens no scope entry (quiet, or every statement opens its own).
bool block_without_entry(Node* n) {
    return is_quiet(n) || quiet_kind(n) == kQuietOwnEntries;
}

// The one statement of a braced body that opens no entry, or null.
Node* sole_statement(Node* body) {
    if (!body || body->op != OP_BLOCK || !body->data || !block_without_entry(body)) return nullptr;
    Node* only = nullptr;
    for (Node* s : body->block()->stmts)
        if (s) {
            if (only) return nullptr;
            only = s;
        }
    return only;
}

} // namespace

Value exec_block(Node* n, VContext& ctx) {
    if (block_without_entry(n)) {
        QuietBlock block;
        return execBlock(n->block(), ctx);
    }
    scopes.pushBlock();
    Value v = execBlock(n->block(), ctx);
    scopes.popScope();
    return v;
}

Value exec_if(Node* n, VContext& ctx) {
    if (is_quiet(n)) {
        QuietBlock block;
        Node* branch = condition_holds(n->kid(0), ctx) ? n->kid(1) : n->kid(2);
        if (branch) run_statement(branch, ctx);
        return Value();
    }
    // `if (key(h, w)) ...`: a condition that calls a built-in borrowing its arguments, and
    // quiet branches, can declare nothing either.
    if (quiet_kind(n) == kQuietCallCondition) {
        QuietBlock block;
        if (int truth = borrowed_condition(n->kid(0), ctx); truth >= 0) {
            if (Node* branch = truth ? n->kid(1) : n->kid(2)) run_statement(branch, ctx);
            return Value();
        }
    }
    scopes.pushBlock();
    Node* branch = condition_holds(n->kid(0), ctx) ? n->kid(1) : n->kid(2);
    if (branch) run_statement(branch, ctx);
    scopes.popScope();
    return Value();
}

namespace {

// Loops run the parts that the lowering marked in place: a comparison of numbers as the
// condition (`<`, the commonest, without the dispatch over the comparisons), `x = <arithmetic>`
// and ++ or -- of a variable as the body or the statements of a block body, ++ or -- as a for
// loop's step.  The loop's own poll point is theirs too, and they use no more native stack
// from one iteration to the next, so they skip the entry of a node evaluation; what they
// cannot compute takes the general routine of the same node, which polls and checks the stack.
//
// A body made only of such statements (Body::Statement and Body::Block below) calls nothing and declares at most the
// names it stores into, once, so the variables that the loop's parts resolve stay valid from
// one iteration to the next and are kept in their VarCaches.  With any other body a call
// would make them stale at every iteration, and the parts resolve their names each time.

// A statement that runs in place in a loop body.
bool in_place_statement(const Node* s) {
    return s->lop == kLowSetNum || s->lop == kLowIncVar;
}

// A body of in-place statements: one, or a quiet block of them.
bool in_place_body(Node* body) {
    if (!body) return false;
    if (in_place_statement(body)) return true;
    if (body->op != OP_BLOCK || !body->data || !is_quiet(body)) return false;
    bool any = false;
    for (const Node* s : body->block()->stmts) {
        if (!s) continue;
        if (!in_place_statement(s)) return false;
        any = true;
    }
    return any;
}

// The general routine of a statement that did not run in place; out of line, so that the
// loops' own routines stay small enough for the compiler to inline what they do run.
[[gnu::noinline, gnu::cold]] void run_general(Node* s, VContext& ctx) {
    run_statement(s, ctx);
}

// One in-place statement; false when it took its general routine.
[[gnu::always_inline]] inline bool run_in_place(Node* s, VContext& ctx) {
    double d;
    if (s->lop == kLowSetNum ? set_num_in_place<true>(s, d)
                             : incdec_in_place<true>(s, incdec_delta(s), d))
        return true;
    run_general(s, ctx);
    return false;
}

// The condition of a loop; [compare] and [less] say that it is a lowered comparison, and `<`.
template <bool Pure>
[[gnu::always_inline]] inline bool loop_test(Node* cond, bool compare, bool less, VContext& ctx) {
    if (!compare) return condition_holds(cond, ctx);
    double x, y;
    if (compare_operands<Pure>(cond, x, y)) return less ? x < y : compare_numbers(cond->op, x, y);
    return truthy(evaluate(cond, ctx));
}

// What a loop body is: one in-place statement, a block of them, anything else.
enum class Body { Statement, Block, General };

Body body_kind(Node* body) {
    if (!in_place_body(body)) return Body::General;
    return body->op == OP_BLOCK ? Body::Block : Body::Statement;
}

// The body of a loop; true when nothing in it took a general routine, so that the status
// cannot have changed.
template <Body B> [[gnu::always_inline]] inline bool run_loop_body(Node* body, VContext& ctx) {
    if constexpr (B == Body::Statement) {
        return run_in_place(body, ctx);
    } else if constexpr (B == Body::Block) {
        QuietBlock block; // as the block's own routine counts it
        bool all = true;
        for (Node* s : body->block()->stmts)
            if (s && !run_in_place(s, ctx)) {
                all = false;
                if (ctx.status != VContext::Normal) break;
            }
        return all;
    } else {
        if (body) run_statement(body, ctx);
        return false;
    }
}

// After a body that took a general routine: false when the loop is to end (break, return,
// an outer continue).
[[gnu::always_inline]] inline bool loop_continues(VContext& ctx) {
    return ctx.status == VContext::Normal || loop_goes_on(ctx);
}

bool lowered_compare(const Node* cond) {
    return cond && cond->lop == kLowCompareNum;
}

// Each kind of loop is a routine of its own, so that its registers serve its own iteration.
// [Quiet]: neither the condition nor the body can call or declare, so an iteration's block
// opens no entry and is only counted (see eval/quiet.cpp).
template <Body B, bool Quiet>
[[gnu::noinline]] void run_while(Node* n, Node* cond, Node* body, VContext& ctx) {
    constexpr bool Pure = B != Body::General;
    const bool compare = lowered_compare(cond);
    const bool less = compare && cond->op == OP_LT;
    bool first = n->op == OP_DOWHILE; // a do-while tests after its first run
    for (;;) {
        poll_point(n);
        bool go, all = true;
        if constexpr (Quiet) {
            QuietBlock block;
            go = first || loop_test<Pure>(cond, compare, less, ctx);
            if (go && body) all = run_loop_body<B>(body, ctx);
        } else {
            scopes.pushBlock();
            go = first || loop_test<Pure>(cond, compare, less, ctx);
            if (go && body) all = run_loop_body<B>(body, ctx);
            scopes.popScope();
        }
        first = false;
        if (!go || (!all && !loop_continues(ctx))) break;
    }
}

} // namespace

Value exec_while(Node* n, VContext& ctx) {
    Node* cond = n->kid(0);
    Node* body = n->kid(1);
    if ((cond && !is_quiet(cond)) || (body && !is_quiet(body))) {
        run_while<Body::General, false>(n, cond, body, ctx);
        return Value();
    }
    switch (body_kind(body)) {
    case Body::Statement: run_while<Body::Statement, true>(n, cond, body, ctx); break;
    case Body::Block: run_while<Body::Block, true>(n, cond, body, ctx); break;
    default: run_while<Body::General, true>(n, cond, body, ctx); break;
    }
    return Value();
}

namespace {

template <Body B>
[[gnu::noinline]] void run_for(Node* n, Node* cond, Node* step, Node* body, VContext& ctx) {
    constexpr bool Pure = B != Body::General;
    const bool compare = lowered_compare(cond);
    const bool less = compare && cond->op == OP_LT;
    const bool step_in_place = step && step->lop == kLowIncVar;
    const double delta = step_in_place ? incdec_delta(step) : 0.0;
    while (poll_point(n), loop_test<Pure>(cond, compare, less, ctx)) {
        if (!run_loop_body<B>(body, ctx) && !loop_continues(ctx)) break;
        double d;
        if (step && (!step_in_place || !incdec_in_place<Pure>(step, delta, d)))
            run_general(step, ctx);
    }
}

} // namespace

Value exec_for(Node* n, VContext& ctx) {
    Node* init = n->kid(0);
    Node* cond = n->kid(1);
    Node* step = n->kid(2);
    Node* body = n->kid(3);
    scopes.pushBlock(); // variables of the init list live for the whole loop
    if (init) evaluate(init, ctx);
    switch (body_kind(body)) {
    case Body::Statement: run_for<Body::Statement>(n, cond, step, body, ctx); break;
    case Body::Block: run_for<Body::Block>(n, cond, step, body, ctx); break;
    default: run_for<Body::General>(n, cond, step, body, ctx); break;
    }
    scopes.popScope();
    return Value();
}

Value exec_foreach(Node* n, VContext& ctx) {
    Node* var = n->kid(0);
    Node* body = n->kid(2);
    Value coll = evaluate(n->kid(1), ctx);
    if (VComObj* o = as_comobj(coll)) coll = com_to_array(o, n->line); // walks the enumeration
    VArray* a = coll.as_array();
    if (!a) raise(n->line, "Argument must be collection in foreach statement");
    bool declares = var->op == OP_VAR;
    Node* name_node = declares ? var->left : var;
    Atom name = name_node->name();
    // A braced body that opens no entry of its own (see exec_block) with one statement: the
    // statement runs in a counted block, as exec_block would run it.
    Node* only = sole_statement(body);
    scopes.pushBlock();
    // The loop's own symbol stays what it is while the running call's symbols do not change
    // (every declaration and extern moves the epoch; a call the body makes gives it back as
    // it was), so it is looked up again only then.
    Symbol* own = nullptr;
    uint64_t own_epoch = 0;
    // The size is read again at every step: the body may grow or shrink the array.
    for (size_t i = 0; i < a->size(); ++i) {
        poll_point(n);
        if (!declares)
            own = nullptr;
        else if (!own || own_epoch != symbols_epoch)
            own = own_loop_symbol(name);
        if (own) {
            // Declaring x again in the same scope would reuse this symbol: its old value is
            // released first, as a redeclaration does, and every name keeps what it resolves
            // to, so the caches of the names in the body stay valid.
            own->value.set_null();
            own->value.set(a->cells[i]);
        } else {
            bind_loop_variable(var, Value(a->cells[i]), ctx);
        }
        own_epoch = symbols_epoch;
        if (only) {
            QuietBlock block;
            run_statement(only, ctx);
        } else if (body) {
            run_statement(body, ctx);
        }
        // Write the loop variable back, so that assigning to it changes the element.
        if (declares && (!own || own_epoch != symbols_epoch)) own = own_loop_symbol(name);
        own_epoch = symbols_epoch;
        Cell* x = own ? &own->value : declares ? scopes.lookup(name) : scopes.lookup(name_node);
        if (Cell* e = a->at(static_cast<long long>(i)); e && x && !e->identical(*x)) e->set(*x);
        if (ctx.status != VContext::Normal && !loop_goes_on(ctx)) break;
    }
    scopes.popScope();
    return Value();
}

Value exec_switch(Node* n, VContext& ctx) {
    scopes.pushBlock();
    Value subject = evaluate(n->kid(0), ctx);
    Node* block = n->kid(1);
    if (block) {
        const std::vector<Node*>& stmts = block->block()->stmts;
        // Find the first label that matches: `default` as soon as the scan reaches it, a
        // `case` when its value equals the subject.  Labels after it are no-ops.
        size_t start = stmts.size();
        for (size_t i = 0; i < stmts.size(); ++i) {
            Node* s = stmts[i];
            if (!s) continue;
            if (s->op == OP_DEFAULT ||
                (s->op == OP_CASE && op_equal(subject, evaluate(s->left, ctx)))) {
                start = i + 1;
                break;
            }
        }
        for (size_t i = start; i < stmts.size() && ctx.status == VContext::Normal; ++i)
            if (stmts[i]) evaluate(stmts[i], ctx);
    }
    if (ctx.status == VContext::Break && --ctx.level <= 0) ctx.take();
    scopes.popScope();
    return Value();
}

Value exec_try(Node* n, VContext& ctx) {
    size_t depth = scopes.scopeDepth();
    std::string message;
    try {
        if (n->kid(0)) evaluate(n->kid(0), ctx);
        scopes.restoreDepth(depth);
        return Value();
    } catch (ScriptError& e) {
        message = std::move(e.message);
    }
    // The handler runs outside the C++ handler, so that nested errors do not pile up.
    scopes.restoreDepth(depth);
    Node* handler = n->kid(1);
    if (!handler) return Value(); // try without catch drops the error
    scopes.pushBlock();
    try {
        if (Node* var = n->kid(2)) bind_loop_variable(var, make_string(std::move(message)), ctx);
        evaluate(handler, ctx);
    } catch (ScriptError&) {
        scopes.restoreDepth(depth);
        throw;
    }
    scopes.restoreDepth(depth);
    return Value();
}

// var and static: declarators are `x`, `x[n]`, `x[]` and `x = e`.
Value exec_declaration(Node* n, VContext& ctx) {
    bool is_static = n->op == OP_STATIC;
    Value last;
    for (Node* d = n->left; d; d = d->next) {
        Node* target = d->op == OP_ASSIGN ? d->left : d;
        Node* init = d->op == OP_ASSIGN ? d->right : nullptr;
        bool sized = target->op == OP_INDEX;
        Atom name = (sized ? target->left : target)->name();
        if (is_static) {
            if (scopes.staticDeclared(name)) continue; // initialized on the first run only
        } else if (scopes.strict && scopes.declaredInInnermost(name)) {
            already_declared(name, n->line);
        }
        // The cell stays valid while the size and initializer run (see eval/scope.h).
        Cell* c = scopes.declare(name, is_static ? SymMan::Static : SymMan::Block);
        if (sized) {
            Value size = target->right ? evaluate(target->right, ctx) : Value(0.0);
            if (!size.is_numeric()) raise(n->line, "Array size declaration must be number");
            int64_t count = to_int64(size.num());
            if (count > kMaxArrayGrowth)
                raise(n->line, "Array range error index:=%d",
                      static_cast<int>(std::min<int64_t>(count, INT_MAX)));
            c->set(Value(new VArray(count > 0 ? static_cast<size_t>(count) : 0)));
        }
        if (init) c->set(evaluate(init, ctx));
        last = Value(*c);
    }
    return last;
}

Value exec_extern(Node* n, VContext& ctx) {
    (void)ctx;
    for (Node* d = n->left; d; d = d->next) {
        Atom name = d->name();
        if (scopes.strict && scopes.declaredInInnermost(name)) already_declared(name, n->line);
        if (!scopes.declareExtern(name)) raise(n->line, "Variable cannot extern from global scope");
    }
    return Value();
}

// A function defined inside a block is a variable of that block holding a reference to it.
Value exec_funcdef(Node* n, VContext& ctx) {
    (void)ctx;
    node_funcdef* d = n->funcdef();
    scopes.declare(d->name, SymMan::Block)->set(Value(new VFuncRef(d->info)));
    return Value();
}

Value exec_jump(Node* n, VContext& ctx) {
    int32_t level = 1;
    if (n->left) {
        // The number field truncated: a string or other object counts as 0, true as 1.
        double d = std::trunc(evaluate(n->left, ctx).num());
        if (!(d >= 1)) raise(n->line, "break/continue level must be 1 or larger value");
        level = d >= INT32_MAX ? INT32_MAX : static_cast<int32_t>(d);
    }
    ctx.setJump(n->op == OP_BREAK ? VContext::Break : VContext::Continue, n->line, level);
    return Value();
}

Value exec_return(Node* n, VContext& ctx) {
    Value v = n->left ? value_of(n->left, ctx) : Value();
    ctx.setReturn(n->line, std::move(v));
    return Value();
}

} // namespace ruvo
