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

[[noreturn]] void already_declared(Atom name, int line) {
    raise(line, "Symbol %s already declared", name->chars);
}

} // namespace

Value exec_block(Node* n, VContext& ctx) {
    if (is_quiet(n)) {
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
    scopes.pushBlock();
    Node* branch = condition_holds(n->kid(0), ctx) ? n->kid(1) : n->kid(2);
    if (branch) run_statement(branch, ctx);
    scopes.popScope();
    return Value();
}

Value exec_while(Node* n, VContext& ctx) {
    Node* cond = n->kid(0);
    Node* body = n->kid(1);
    bool first = n->op == OP_DOWHILE; // a do-while tests after its first run
    for (;;) {
        poll_point(n);
        scopes.pushBlock();
        bool go = first || condition_holds(cond, ctx);
        first = false;
        if (go && body) run_statement(body, ctx);
        scopes.popScope();
        if (!go) break;
        if (ctx.status != VContext::Normal && !loop_goes_on(ctx)) break;
    }
    return Value();
}

// The iterations of a for loop.  The parts that the lowering marked run in place: a
// comparison of numbers as the condition (`<`, the commonest, without the dispatch over the
// comparisons), `x = <arithmetic>` as the body and ++ or -- of a variable as the step.  The
// loop's own poll point is theirs too, and they use no more native stack from one iteration
// to the next, so they skip the entry of a node evaluation; what they cannot compute takes
// the general routine of the same node, which polls and checks the stack.
//
// [Pure]: the body is `x = <arithmetic>`, which calls nothing and declares at most x, once, so
// the variables the parts resolve stay valid from one iteration to the next and are kept in
// their VarCaches.  With any other body a call would make them stale at every iteration, and
// the parts resolve their names each time.
template <bool Pure>
[[gnu::always_inline]] inline void run_for(Node* n, Node* cond, Node* step, Node* body,
                                           VContext& ctx) {
    const bool compare_in_place = cond && cond->lop == kLowCompareNum;
    const bool less = compare_in_place && cond->op == OP_LT;
    const bool step_in_place = step && step->lop == kLowIncVar;
    const double delta = step_in_place ? incdec_delta(step) : 0.0;
    for (;;) {
        poll_point(n);
        if (compare_in_place) {
            double x, y;
            if (compare_operands<Pure>(cond, x, y)) {
                if (less ? !(x < y) : !compare_numbers(cond->op, x, y)) break;
            } else if (!truthy(evaluate(cond, ctx))) {
                break;
            }
        } else if (!condition_holds(cond, ctx)) {
            break;
        }
        double d;
        if (!Pure || !set_num_in_place<true>(body, d)) {
            if (body) run_statement(body, ctx);
            if (ctx.status != VContext::Normal && !loop_goes_on(ctx)) break;
        }
        if (step && (!step_in_place || !incdec_in_place<Pure>(step, delta, d)))
            evaluate(step, ctx);
    }
}

Value exec_for(Node* n, VContext& ctx) {
    Node* init = n->kid(0);
    Node* cond = n->kid(1);
    Node* step = n->kid(2);
    Node* body = n->kid(3);
    scopes.pushBlock(); // variables of the init list live for the whole loop
    if (init) evaluate(init, ctx);
    if (body && body->lop == kLowSetNum)
        run_for<true>(n, cond, step, body, ctx);
    else
        run_for<false>(n, cond, step, body, ctx);
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
    Atom name = (var->op == OP_VAR ? var->left : var)->name();
    scopes.pushBlock();
    // The size is read again at every step: the body may grow or shrink the array.
    for (size_t i = 0; i < a->size(); ++i) {
        poll_point(n);
        bind_loop_variable(var, Value(a->cells[i]), ctx);
        if (body) run_statement(body, ctx);
        // Write the loop variable back, so that assigning to it changes the element.
        Cell* x = scopes.lookup(name);
        if (Cell* e = a->at(static_cast<long long>(i)); e && x) e->set(*x);
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
