// Calls: argument evaluation, callee resolution and `callFunction`.
//
// Up to eight arguments live in the calling frame; only longer argument lists use the heap.
// A callee found in a variable (a function reference, a native function) is held by a
// transient value for the whole call, so the function stays alive even when the call
// overwrites the variable that named it.
#include <algorithm>
#include <new>
#include <vector>

#include "core/hash.h"
#include "eval/error.h"
#include "eval/eval_impl.h"
#include "eval/evaluate.h"
#include "eval/funcref.h"
#include "eval/lower.h"
#include "eval/scope.h"
#include "ext/com.h"

namespace ruvo {

namespace {

constexpr size_t kInlineArgs = kInlineCallArgs;

// Argument values in the caller's frame, constructed one by one as they are evaluated.
class InlineArgs {
public:
    InlineArgs() = default;
    InlineArgs(const InlineArgs&) = delete;
    InlineArgs& operator=(const InlineArgs&) = delete;
    ~InlineArgs() {
        for (size_t i = n_; i > 0; --i) data()[i - 1].~Value();
    }
    // The value of argument node a, made in its slot (no temporary to move from).
    [[gnu::always_inline]] void push(Node* a, VContext& ctx) {
        new (data() + n_) Value(value_of(a, ctx));
        ++n_;
    }
    // The value of cell c with the transient count it keeps; c becomes null.
    void push_transient(Cell& c) {
        c.give_transient(*new (data() + n_) Value());
        ++n_;
    }
    std::span<Value> span() { return {data(), n_}; }
    size_t size() const { return n_; }

private:
    Value* data() { return std::launder(reinterpret_cast<Value*>(raw_)); }
    alignas(Value) unsigned char raw_[kInlineArgs * sizeof(Value)];
    size_t n_ = 0;
};

// The arguments of a built-in that borrows them (func_data::borrows), all plain (variables and
// literals): a variable's value is passed as it lies in its cell, without a count; a literal's
// value (a new string) is held here as usual.  Reading the arguments changes nothing, so the
// cells stay as they are until the handler returns.
class BorrowedArgs {
public:
    BorrowedArgs() = default;
    BorrowedArgs(const BorrowedArgs&) = delete;
    BorrowedArgs& operator=(const BorrowedArgs&) = delete;
    ~BorrowedArgs() {
        if (held_)
            for (size_t i = n_; i > 0; --i)
                if (held_ & (1u << (i - 1))) data()[i - 1].~Value();
    }
    [[gnu::always_inline]] void push(Node* a, VContext& ctx) {
        if (a->op == OP_IDENT)
            if (Cell* c = scopes.lookup(a)) {
                new (data() + n_++) Value(Value::Borrow{}, *c);
                return;
            }
        new (data() + n_) Value(value_of(a, ctx));
        held_ |= 1u << n_++;
    }
    std::span<Value> span() { return {data(), n_}; }

private:
    Value* data() { return std::launder(reinterpret_cast<Value*>(raw_)); }
    alignas(Value) unsigned char raw_[kInlineArgs * sizeof(Value)];
    uint32_t n_ = 0;
    uint32_t held_ = 0; // the arguments held here, one bit each
};

// Whether a call of [name] reaches the function table: no variable of that name could hold
// something callable that would shadow it (whether the table has the name at all is for
// table_overload to say).
[[gnu::always_inline]] inline bool table_callee(Atom name) {
    return name->locals == 0 && !(name->global && name->global->value.is_object());
}

// A call node whose kept overload is a script function taking exactly its arguments, so
// that they can be computed straight into the parameter slots (call_in_frame).
constexpr uint32_t kAuxLeanCall = 1u << 29;

// The overload a call node by name with [count] arguments calls, kept in the node (null:
// none, the general resolution reports it).
[[gnu::noinline]] void resolve_callee(Node* n, Atom name, size_t count) {
    auto* fd = name->func ? name->func->select(static_cast<int>(count)) : nullptr;
    n->cache = fd;
    n->cache_epoch = functions_version;
    n->aux &= ~kAuxLeanCall;
    if (fd && !fd->builtin && fd->argc == static_cast<int32_t>(count) && count <= kParamSlots)
        n->aux |= kAuxLeanCall;
}

// The table's overload that call node [n] of [name] with [count] arguments reaches.
[[gnu::always_inline]] inline func_data* table_overload(Node* n, Atom name, size_t count) {
    if (n->cache_epoch != functions_version) [[unlikely]]
        resolve_callee(n, name, count);
    return static_cast<func_data*>(n->cache);
}

// Each call adds two entries (static table and call scope), each open block one.
constexpr size_t kMaxScopeDepth = 1000;

[[gnu::always_inline]] inline Value call_builtin(VContext& ctx, int line, func_data* f,
                                                 std::span<Value> args) {
    if (scopes.countedDepth() > kMaxScopeDepth) raise(line, "Recursion limit exceeded");
    Value result;
    f->handler(ctx, line, args, result);
    return result;
}

[[noreturn]] void not_defined(Atom name, size_t count, int line) {
    raise(line, "Function %s() [arg count:%d] not defined", name->chars, static_cast<int>(count));
}

// Calls a candidate found in a variable or hash member when it is callable with this many
// arguments; false to fall through to the function table.
bool call_candidate(VContext& ctx, int line, const Value& cand, std::span<Value> args,
                    Value& result) {
    if (VFuncRef* f = as_funcref(cand)) {
        if (func_data* fd = f->info->select(static_cast<int>(args.size()))) {
            result = callFunction(ctx, line, fd, args);
            return true;
        }
    } else if (cand.kind() == VKind::DllFunc && eval_state.call_native) {
        result = eval_state.call_native(ctx, line, cand.obj(), args);
        return true;
    }
    return false;
}

Value dispatch(Node* n, VContext& ctx, std::span<Value> args);

// The arguments that went into a frame's slots, for the general dispatch of call node n.
[[gnu::noinline]] Value redispatch(Node* n, VContext& ctx, FillingFrame& filling) {
    InlineArgs args;
    for (uint32_t i = 0; i < filling.filled; ++i) args.push_transient(filling.frame->param(i)->value);
    filling.done();
    return dispatch(n, ctx, args.span());
}

// Resolves the callee of a call node and calls it with the evaluated arguments.
Value dispatch(Node* n, VContext& ctx, std::span<Value> args) {
    Node* callee = n->right;
    if (callee->op == OP_MEMBER) {
        // obj.m(...): a method of an automation object, or a hash member holding a function;
        // no object argument is added.
        Value obj = evaluate(callee->left, ctx);
        Atom m = callee->right->name();
        if (VComObj* o = as_comobj(obj)) return com_call_method(o, m->text(), args, n->line);
        if (VHash* h = obj.as_hash()) {
            if (Cell* c = h->find(m->text())) {
                Value cand(*c), result;
                if (call_candidate(ctx, n->line, cand, args, result)) return result;
            }
        }
        not_defined(m, args.size(), n->line);
    }
    if (callee->op != OP_IDENT) raise(n->line, "Unknwon opcode %d", callee->op);
    Atom name = callee->name();
    // A variable holding something callable shadows the function table.
    Cell* c = scopes.lookup(name);
    if (!c) c = scopes.lookupGlobal(name);
    if (c && c->is_object()) {
        Value cand(*c), result;
        if (call_candidate(ctx, n->line, cand, args, result)) return result;
    }
    FuncInfo* f = funcman.findFunction(name);
    func_data* fd = f ? f->select(static_cast<int>(args.size())) : nullptr;
    if (!fd) not_defined(name, args.size(), n->line);
    return callFunction(ctx, n->line, fd, args);
}

// A call with more than eight arguments: the first eight, already evaluated, move to the heap
// with the rest.
[[gnu::noinline]] Value call_long(Node* n, VContext& ctx, InlineArgs& first, Node* rest) {
    std::vector<Value> args;
    for (Value& v : first.span()) args.push_back(std::move(v));
    for (; rest; rest = rest->next) args.push_back(evaluate(rest, ctx));
    return dispatch(n, ctx, args);
}

// The name a declarator of `var` declares: x, x = e, x[n], x[n] = e.
Atom declared_name(Node* d) {
    Node* target = d->op == OP_ASSIGN ? d->left : d;
    return (target->op == OP_INDEX ? target->left : target)->name();
}

// Gives every name node of f's body that names a parameter, or a local that the body's own
// `var` statements declare, its slot, and decides whether f may use slots at all.  Functions
// defined inside the body are bodies of their own.
void mark_param_slots(func_data* f) {
    static_assert(sizeof(func_data::slot_names) == kParamSlots * sizeof(Atom));
    Atom* names = f->slot_names;
    uint32_t count = 0;
    f->slots = func_data::NoSlots;
    auto known = [&](Atom a) {
        for (uint32_t i = 0; i < count; ++i)
            if (names[i] == a) return true;
        return false;
    };
    for (Node* p = f->params; p; p = p->next) {
        if (count == kParamSlots || known(p->name())) return;
        names[count++] = p->name();
    }
    f->slots = func_data::Slots;
    f->nslots = static_cast<uint8_t>(count);
    if (f->body)
        for (Node* st : f->body->block()->stmts)
            if (st && st->op == OP_VAR)
                for (Node* d = st->left; d && count < kParamSlots; d = d->next)
                    if (!known(declared_name(d))) names[count++] = declared_name(d);
    f->nall = static_cast<uint8_t>(count);
    if (count == 0 || !f->body) return;
    walk_tree(f->body, [&](Node* n) {
        if (n->op == OP_IDENT)
            for (uint32_t i = 0; i < count; ++i)
                if (names[i] == n->name())
                    n->aux |= static_cast<uint32_t>((i + 1) * sizeof(Symbol)) << kAuxSlotShift;
    });
}

// Before the first call: the parameter slots and the lowered form of the body.
[[gnu::noinline]] void prepare_body(func_data* f) {
    mark_param_slots(f);
    if (!f->statics) f->statics = new SymMan(SymMan::Static);
    if (!f->body) return;
    lower_tree(f->body);
    const std::vector<Node*>& stmts = f->body->block()->stmts;
    for (Node* s : stmts)
        if (s) f->body_stmts.push_back(s);
    f->body_begin = f->body_stmts.data();
    f->body_end = f->body_stmts.data() + f->body_stmts.size();
    for (Node* s : f->body_stmts) {
        if (s->op == OP_RETURN) {
            s->lop = kLowBodyReturn;
        } else if (s->op == OP_IF && s->kid(1) && s->kid(1)->op == OP_RETURN && is_quiet(s)) {
            s->lop = kLowBodyGuard;
            Node* c = s->kid(0);
            if (c && c->lop == kLowCompareNum && c->left->op == OP_IDENT &&
                (c->left->aux >> kAuxSlotShift) && c->right->op == OP_NUMBER)
                c->aux |= kAuxSlotAgainstNumber;
        }
    }
}

} // namespace

namespace {

// Whether the condition [c] of a body's guard holds (no condition: it does).  A slot compared
// with a number literal (`n < 2`) is read in place.
[[gnu::always_inline]] inline bool guard_holds(Node* c, VContext& ctx) {
    if (!c) return true;
    double x;
    if ((c->aux & kAuxSlotAgainstNumber) && slot_number(c->left, x)) {
        return compare_numbers(c->op, x, c->right->number);
    }
    return condition_true(c, ctx);
}

// What a finished call yields: the returned value, null when the body ran to its end.
[[gnu::always_inline]] inline Value call_result(VContext& ctx) {
    if (ctx.status == VContext::Return) [[likely]]
        return ctx.take();
    if (ctx.status == VContext::Normal) return Value();
    int at = ctx.line;
    ctx.take();
    raise(at, "Bad break or continue");
}

// Runs a function body (it opens no scope of its own) and yields what the call returns.  A
// `return` among the body's own statements hands its value back directly; one nested deeper
// (in a branch or a loop) sets the context's status on the way out.  The body's own return
// and guard statements run at the depth of the native stack that the call node was checked
// at, and the call has passed its poll point (callFunction's or the call node's), so they
// make neither check again.  A guard is quiet as a whole: its condition and its return
// value call nothing and release nothing that could look at the recursion count; an else
// branch, which may release a variable's value, is counted as the if's block.
[[gnu::always_inline]] inline Value run_body(func_data* f, VContext& ctx) {
    for (Node* const* at = f->body_begin; at != f->body_end; ++at) {
        Node* s = *at;
        if (s->lop == kLowBodyReturn) {
            Node* e = s->left;
            if (!e) return Value();
            if (e->op >= OP_ADD && e->op <= OP_MUL && e->lop == kLowPlain) return arith_of(e, ctx);
            return value_of(e, ctx);
        }
        if (s->lop == kLowBodyGuard) {
            Node* r = s->kid(1);
            if (guard_holds(s->kid(0), ctx)) {
                return r->left ? value_of(r->left, ctx) : Value();
            }
            if (Node* e = s->kid(2)) {
                QuietBlock block;
                run_statement(e, ctx);
                if (ctx.status != VContext::Normal) return call_result(ctx);
            }
            continue;
        }
        run_statement(s, ctx);
        if (ctx.status != VContext::Normal) return call_result(ctx);
    }
    return Value();
}

// A function whose parameters cannot have slots (more than kParamSlots, a name twice): each
// parameter is declared in the call's scope like a variable.
[[gnu::noinline]] Value call_declaring(VContext& ctx, func_data* f, std::span<Value> args) {
    ActiveCall running(f);
    SymMan* frame = scopes.enterCall(f->statics);
    size_t i = 0;
    for (Node* p = f->params; p; p = p->next, ++i) {
        Cell& c = frame->add(p->name())->value; // a repeated name: the later one wins
        if (i < args.size()) c.set(args[i]);
    }
    Value result = run_body(f, ctx);
    scopes.endCall(frame);
    return result;
}

// A call of script function f.
[[gnu::always_inline]] inline Value call_script(VContext& ctx, int line, func_data* f,
                                               std::span<Value> args) {
    if (scopes.countedDepth() > kMaxScopeDepth) raise(line, "Recursion limit exceeded");
    if (f->slots != func_data::Slots) [[unlikely]] {
        if (f->slots == func_data::SlotsUnknown) prepare_body(f);
        if (f->slots == func_data::NoSlots) return call_declaring(ctx, f, args);
    }
    ActiveCall running(f);
    SymMan* frame = f->frame(static_cast<uint32_t>(f->active - 1));
    scopes.enterFrame(f->statics, frame, f->nslots, f->nall, args);
    Value result = run_body(f, ctx);
    scopes.endCall(frame);
    return result;
}

// A call of script function f, whose parameters have slots, from call node n that has as
// many arguments: f's frame for this depth is claimed first (a call of f among the arguments
// takes the next one), the arguments are computed into its slots, and then, as for any
// call, the name is resolved: should it no longer reach f (an argument redefined it, or
// made a variable of that name that holds something callable), the values go to the general
// dispatch instead.
[[gnu::always_inline]] inline Value call_in_frame(Node* n, VContext& ctx, func_data* f) {
    ActiveCall running(f);
    SymMan* frame = f->frame(static_cast<uint32_t>(f->active - 1));
    {
        FillingFrame filling(frame);
        for (Node* a = n->left; a; a = a->next) filling.push(value_of(a, ctx));
        if (n->cache_epoch != functions_version || !table_callee(n->right->name())) [[unlikely]]
            return redispatch(n, ctx, filling);
        if (scopes.countedDepth() > kMaxScopeDepth) raise(n->line, "Recursion limit exceeded");
        filling.done();
    }
    scopes.enterFilled(f->statics, frame, f->nslots, f->nall);
    Value result = run_body(f, ctx);
    scopes.endCall(frame);
    return result;
}

} // namespace

// A call from a built-in (a callback of sort or map) or through a variable: a script
// function's call passes the poll point here, a call node has passed it already.
Value callFunction(VContext& ctx, int line, func_data* f, std::span<Value> args) {
    if (f->builtin) return call_builtin(ctx, line, f, args);
    poll_point(line);
    return call_script(ctx, line, f, args);
}

// The built-in that call n reaches when it borrows plain arguments, or null.
[[gnu::always_inline]] inline func_data* find_borrowing(Node* n) {
    uint8_t kind = quiet_kind(n);
    if (kind < kQuietPlainCall) return nullptr;
    Atom name = n->right->name();
    if (!table_callee(name)) return nullptr;
    func_data* fd = table_overload(n, name, kind - kQuietPlainCall);
    if (fd && fd->borrows) return fd;
    // A callee that does not borrow is left to the general path from now on; should the name
    // come to call one that does, the call only misses the shortcut.
    if (fd) n->quiet = kQuietLooked;
    return nullptr;
}

[[gnu::always_inline]] inline Value call_borrowed(Node* n, VContext& ctx, func_data* f) {
    BorrowedArgs args;
    for (Node* a = n->left; a; a = a->next) args.push(a, ctx);
    return call_builtin(ctx, n->line, f, args.span());
}

// A call whose callee borrows plain arguments: found before they are read, since reading
// them cannot change what the name calls.
[[gnu::noinline]] Value call_borrowing(Node* n, VContext& ctx, func_data* f) {
    return call_borrowed(n, ctx, f);
}

int borrowed_condition(Node* c, VContext& ctx) {
    func_data* f = find_borrowing(c);
    if (!f) return -1;
    enter_node(c);
    return truthy(call_borrowed(c, ctx, f));
}

Value eval_call(Node* n, VContext& ctx) {
    if (n->cache_epoch == functions_version && (n->aux & kAuxLeanCall)) {
        auto* fd = static_cast<func_data*>(n->cache);
        if (fd->slots == func_data::Slots) return call_in_frame(n, ctx, fd);
    }
    if (n->quiet != kQuietLooked)
        if (func_data* fd = find_borrowing(n)) return call_borrowing(n, ctx, fd);
    InlineArgs args;
    Node* a = n->left;
    for (; a && args.size() < kInlineArgs; a = a->next) args.push(a, ctx);
    if (a) return call_long(n, ctx, args, a);
    // A function called by name, with no variable of that name that could shadow it, is the
    // table's overload for this count, which the call node keeps while the table is unchanged.
    if (Node* callee = n->right; callee->op == OP_IDENT) {
        Atom name = callee->name();
        if (table_callee(name)) {
            if (func_data* fd = table_overload(n, name, args.size())) {
                if (fd->builtin) return call_builtin(ctx, n->line, fd, args.span());
                return call_script(ctx, n->line, fd, args.span());
            }
        }
    }
    return dispatch(n, ctx, args.span());
}

} // namespace ruvo
