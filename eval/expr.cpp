// Expressions and places: the dispatch of `evaluate`, literals, variable reads, indexing and
// members, every assignment form, logical operators, comparison chains and operator nodes.
//
// Numbers (and booleans, which count as numbers) are computed inline for the common
// operators before the general routines of core/operators.h are called; the results are the
// same as the routines'.  `x += "..."` appends in place when the string is held by that one
// cell and by no transient value, so building a string piece by piece is linear.
#include <algorithm>
#include <cmath>
#include <vector>

#include "core/array.h"
#include "core/convert.h"
#include "core/hash.h"
#include "core/operators.h"
#include "core/string.h"
#include "eval/error.h"
#include "eval/eval_impl.h"
#include "eval/evaluate.h"
#include "eval/funcref.h"
#include "eval/lower.h"
#include "eval/numeric.h"
#include "eval/place.h"
#include "eval/scope.h"
#include "ext/com.h"
#include "lib/regexp.h"

namespace ruvo {

EvalState eval_state;

void raise_not_declared(Atom name, int line) {
    raise(line, "Symbol %s not declared", name->chars);
}

namespace {

[[noreturn, gnu::cold, gnu::noinline]] void unknown_opcode(const Node* n) {
    raise(n->line, "Unknwon opcode %d", n->op);
}

[[noreturn]] void range_error(int line, int64_t i) {
    raise(line, "Array range error index:=%d", static_cast<int>(i));
}

// The general routine of a binary operator node (OP_ADD .. OP_POW, OP_BITAND .. OP_USHR).
[[gnu::noinline]] Value binary_slow(int op, const Value& a, const Value& b, int line) {
    switch (op) {
    case OP_ADD: return op_arith(ArithOp::Add, a, b, line);
    case OP_SUB: return op_arith(ArithOp::Sub, a, b, line);
    case OP_MUL: return op_arith(ArithOp::Mul, a, b, line);
    case OP_DIV: return op_arith(ArithOp::Div, a, b, line);
    case OP_MOD: return op_arith(ArithOp::Mod, a, b, line);
    case OP_IDIV: return op_arith(ArithOp::IDiv, a, b, line);
    case OP_POW: return op_arith(ArithOp::Pow, a, b, line);
    case OP_BITAND: return op_bit(BitOp::And, a, b, line);
    case OP_BITOR: return op_bit(BitOp::Or, a, b, line);
    case OP_BITXOR: return op_bit(BitOp::Xor, a, b, line);
    case OP_SHL: return op_bit(BitOp::Shl, a, b, line);
    case OP_SHR: return op_bit(BitOp::Shr, a, b, line);
    case OP_USHR: return op_bit(BitOp::UShr, a, b, line);
    default: raise(line, "Unknwon opcode %d", op);
    }
}

// + - * / % of two numbers; false where the general routine must decide (another operator,
// or % by 0, which raises "Division by 0").
[[gnu::always_inline]] inline bool numeric_op(int op, double x, double y, double& out) {
    switch (op) {
    case OP_ADD: out = x + y; return true;
    case OP_SUB: out = x - y; return true;
    case OP_MUL: out = x * y; return true;
    case OP_DIV: out = x / y; return true;
    case OP_MOD:
        if (y == 0) return false;
        out = remainder_of(x, y);
        return true;
    default: return false;
    }
}

[[gnu::always_inline]] inline Value binary(int op, const Value& a, const Value& b, int line) {
    double r;
    if (a.is_numeric() && b.is_numeric() && numeric_op(op, a.num(), b.num(), r)) return Value(r);
    return binary_slow(op, a, b, line);
}

constexpr int kNotArith = 1 << 20;

bool is_arith_node(int op) {
    return op == OP_NUMBER || op == OP_IDENT || op == OP_NEG || (op >= OP_ADD && op <= OP_MOD);
}

// The height of the pure-arithmetic subtree at n: exact when it is at most [budget];
// kNotArith when the subtree is not pure arithmetic or is higher than kNumericHeight;
// otherwise some number above [budget] (not known yet, nothing cached).
int numeric_height(Node* n, int budget) {
    if (n->aux & kAuxClassified)
        return (n->aux & kAuxNumeric) ? static_cast<int>((n->aux >> 8) & 0xff) : kNotArith;
    int h;
    if (!is_arith_node(n->op)) {
        h = kNotArith;
    } else if (n->op == OP_NUMBER || n->op == OP_IDENT) {
        h = 0;
    } else if (budget == 0) {
        return 1;
    } else {
        int m = numeric_height(n->left, budget - 1);
        if (n->op != OP_NEG && m <= budget - 1)
            m = std::max(m, numeric_height(n->right, budget - 1));
        if (m >= kNotArith)
            h = kNotArith;
        else if (m > budget - 1 && budget < kNumericHeight)
            return budget + 1;
        else
            h = m > budget - 1 ? kNotArith : m + 1; // too high to be a candidate at all
    }
    n->aux |= h == kNotArith ? kAuxClassified
                             : kAuxClassified | kAuxNumeric | (static_cast<uint32_t>(h) << 8);
    return h;
}

} // namespace

void classify_numeric(Node* n) {
    numeric_height(n, kNumericHeight);
}

namespace {

// A numeric candidate that has no program of its own (a leaf, or a node the lowering has not
// seen).
[[gnu::noinline]] bool eval_num_tree(Node* n, double& out) {
    double x, y;
    if (n->op == OP_NEG || n->op == OP_NUMBER || n->op == OP_IDENT) {
        if (n->op != OP_NEG) return num_operand(n, out);
        if (!num_operand(n->left, x)) return false;
        out = -x;
        return true;
    }
    if (!num_operand(n->left, x) || !num_operand(n->right, y)) return false;
    return numeric_op(n->op, x, y, out);
}

} // namespace

bool eval_num(Node* n, double& out) {
    if (n->lop == kLowNumeric) return run_numeric(static_cast<NumStep*>(n->lowered), out);
    return eval_num_tree(n, out);
}

namespace {

// The comparison of a (chained or plain) comparison node's opcode.
bool compare(int op, const Value& a, const Value& b, int line) {
    if (op >= OP_CEQ) op -= OP_CEQ - OP_EQ;
    if (a.is_numeric() && b.is_numeric()) return compare_numbers(op, a.num(), b.num());
    switch (op) {
    case OP_EQ: return op_equal(a, b);
    case OP_NE: return !op_equal(a, b);
    case OP_GT: return op_compare(CmpOp::Gt, a, b, line);
    case OP_GE: return op_compare(CmpOp::Ge, a, b, line);
    case OP_LT: return op_compare(CmpOp::Lt, a, b, line);
    default: return op_compare(CmpOp::Le, a, b, line);
    }
}

bool is_chained(const Node* n) {
    return n->op >= OP_CEQ && n->op <= OP_CLE;
}

// `a < b <= c`: every operand evaluated once, left to right, stopping at the first false link.
[[gnu::noinline]] Value eval_chain(Node* n, VContext& ctx) {
    Value left = evaluate(n->left, ctx);
    for (;;) {
        Node* r = n->right;
        bool last = !is_chained(r);
        Value right = evaluate(last ? r : r->left, ctx);
        if (!compare(n->op, left, right, n->line)) return Value::boolean(false);
        if (last) return Value::boolean(true);
        left = std::move(right);
        n = r;
    }
}

// The binary operator of a compound assignment (`+=` uses OP_ADD, `<<=` OP_SHL).
int compound_operator(int op) {
    switch (op) {
    case OP_ANDEQ: return OP_BITAND;
    case OP_OREQ: return OP_BITOR;
    case OP_XOREQ: return OP_BITXOR;
    case OP_SHREQ: return OP_SHR;
    case OP_SHLEQ: return OP_SHL;
    case OP_USHREQ: return OP_USHR;
    default: return op - OP_ADDEQ + OP_ADD; // OP_ADDEQ .. OP_POWEQ
    }
}

inline void assign_ident(Node* n, const Value& v) {
    assigned_variable(n)->set(v);
}

// The element index of an array access: a number or boolean, truncated to 32 bits.
inline int32_t array_index(const Value& idx, int line) {
    if (!idx.is_numeric()) raise(line, "Array index must be number");
    double d = idx.num();
    if (d > -2147483649.0 && d < 2147483648.0) return static_cast<int32_t>(d);
    return to_int32_wrap(d);
}

VString* hash_key(const Value& idx, int line) {
    VString* k = idx.as_string();
    if (!k) raise(line, "Hash index must be string");
    return k;
}

// obj.name: the member's cell in a hash (obj keeps the hash).  Members must exist.
Cell* member_cell(Node* n, const Value& obj) {
    Atom m = n->right->name();
    VHash* h = obj.as_hash();
    if (!h) raise(n->line, "Bad type operation in operator .");
    Cell* c = h->find(m->text());
    if (!c) raise(n->line, "Hash member %s is not declared in operator .", m->chars);
    return c;
}

void com_place(Place& p, Place::ComKind k, Value obj, std::string_view name, int line) {
    p.kind = Place::Com;
    p.com = k;
    p.holder = std::move(obj);
    p.key = name;
    p.line = line;
}

// obj.m(args) as a place, which only an automation object has: the method is invoked and the
// place is its result; writing it puts the property m with the arguments as its index.
// Leaves p alone when n is not a method call.
[[gnu::noinline]] void method_place(Node* n, VContext& ctx, Place& p) {
    Node* callee = n->right;
    if (!callee || callee->op != OP_MEMBER) return;
    Value obj = evaluate(callee->left, ctx);
    VComObj* o = as_comobj(obj);
    if (!o) raise(callee->line, "Bad type operation in operator .");
    std::vector<Value> args;
    for (Node* a = n->left; a; a = a->next) args.push_back(evaluate(a, ctx));
    std::string_view name = callee->right->name()->text();
    Value kept(new VArray()); // the result, then the arguments
    VArray* k = kept.as_array();
    k->push(com_call_method(o, name, args, n->line));
    for (const Value& a : args) k->push(a);
    com_place(p, Place::ComResult, std::move(obj), name, n->line);
    p.key_holder = std::move(kept);
}

// The place of a[i] once the index and the object are evaluated.
void index_place(Node* n, Value idx, Value obj, Place& p) {
    if (VArray* a = obj.as_array()) {
        int32_t i = array_index(idx, n->line);
        if (!a->at(i)) range_error(n->line, i);
        p.kind = Place::Elem;
        p.index = i;
        p.holder = std::move(obj);
        return;
    }
    if (VHash* h = obj.as_hash()) {
        VString* k = hash_key(idx, n->line);
        Cell* c = h->find(k->view());
        if (!c) return; // an absent key: an empty place
        p.kind = Place::Entry;
        p.cell = c;
        p.epoch = h->epoch();
        p.key = k->view();
        p.key_holder = std::move(idx);
        p.holder = std::move(obj);
        return;
    }
    if (as_comobj(obj)) {
        if (!idx.is_numeric()) raise(n->line, "COM collection index must be number");
        p.index = array_index(idx, n->line);
        com_place(p, Place::ComItem, std::move(obj), {}, n->line);
        return;
    }
    raise(n->line, "Bad array operation for non-array object");
}

// Reads a[i], h.m, h[k]; an element of an array is read without a place.
// The element of an array or hash that a read finds in place, or null (the general path then
// decides: a missing element, a bad index, another kind of container).
Cell* element_in_place(const CellData& holder, const Value& idx, int line) {
    if (VArray* a = holder.as_array(); a && idx.is_numeric()) return a->at(array_index(idx, line));
    if (VHash* h = holder.as_hash())
        if (VString* k = idx.as_string()) return h->find(k->view());
    return nullptr;
}

[[gnu::noinline]] Value read_place(Node* n, VContext& ctx) {
    if (n->op == OP_INDEX && n->right) {
        Value idx = value_of(n->right, ctx);
        // A variable's container is read in place: nothing runs between the lookup and the
        // read, so the container needs no transient hold.
        if (n->left->op == OP_IDENT) {
            Cell* v = scopes.lookup(n->left);
            if (!v) v = scopes.lookupGlobal(n->left->name());
            if (v)
                if (Cell* c = element_in_place(*v, idx, n->line)) return Value(*c);
        }
        Value obj = value_of(n->left, ctx);
        if (Cell* c = element_in_place(obj, idx, n->line)) return Value(*c);
        Place p;
        index_place(n, std::move(idx), std::move(obj), p);
        return p.read(n->line);
    }
    Place p;
    getPlace(n, true, p, ctx);
    return p.read(n->line);
}

// h[k] op= y and a[i] op= y where the container and the index are variables or literals, the
// element holds a number and y is pure arithmetic: nothing in between can run script code or
// move the element, so it is updated in its cell.  [t] is the element, [op] the operator
// (OP_ADD .. OP_MOD), [operand] y.  False leaves everything to the general path, which
// evaluates the same nodes again with the same results.
// The operand y of an element update: a literal in place, other arithmetic out of line.
[[gnu::noinline]] bool update_operand_slow(Node* operand, double& y) {
    return numeric_candidate(operand) && num_operand(operand, y);
}

// The element of array [a] that index node [i] (pure arithmetic) names, or null.
[[gnu::noinline]] Cell* array_cell_at(VArray* a, Node* i, int line) {
    double d;
    if (!numeric_candidate(i) || !num_operand(i, d)) return nullptr;
    return a->at(array_index(Value(d), line));
}

bool update_in_cell(Node* t, int op, Node* operand, Value& out) {
    double y; // first, so that a string right side (`h[k] += s`) costs no lookup here
    if (operand->op == OP_NUMBER)
        y = operand->number;
    else if (!update_operand_slow(operand, y))
        return false;
    Node* index = t->right;
    if (t->left->op != OP_IDENT || !index) return false;
    Cell* holder = scopes.lookup(t->left);
    if (!holder) return false;
    Cell* c = nullptr;
    if (VHash* h = holder->as_hash()) {
        std::string_view key;
        if (index->op == OP_IDENT) {
            Cell* kc = scopes.lookup(index);
            VString* k = kc ? kc->as_string() : nullptr;
            if (!k) return false;
            key = k->view();
        } else if (index->op == OP_STRING) {
            key = index->str()->bytes;
        } else {
            return false;
        }
        c = h->find(key);
    } else if (VArray* a = holder->as_array()) {
        c = array_cell_at(a, index, t->line);
    }
    double r;
    if (!c || !c->is_numeric() || !numeric_op(op, c->num(), y, r)) return false;
    c->set_num(r);
    out.set_num(r);
    return true;
}

// Two index nodes that denote the same element while nothing runs between them: the same
// variable indexed by the same variable or by equal literals.
bool same_element(const Node* a, const Node* b) {
    if (a->op != OP_INDEX || b->op != OP_INDEX || a->left->op != OP_IDENT ||
        b->left->op != OP_IDENT || a->left->name() != b->left->name() || !a->right || !b->right)
        return false;
    const Node* i = a->right;
    const Node* j = b->right;
    if (i->op != j->op) return false;
    switch (i->op) {
    case OP_IDENT: return i->name() == j->name();
    case OP_STRING: return i->str()->bytes == j->str()->bytes;
    case OP_NUMBER: return i->number == j->number;
    default: return false;
    }
}

// OP_ADDEQ .. OP_USHREQ: place first, then the right side, then read, compute and write.
[[gnu::noinline]] Value eval_compound(Node* n, VContext& ctx) {
    if (n->left->op == OP_INDEX) {
        Value r;
        if (update_in_cell(n->left, compound_operator(n->op), n->right, r)) return r;
    }
    Place p;
    getPlace(n->left, false, p, ctx);
    int op = compound_operator(n->op);
    if (op == OP_ADD && n->right->op == OP_STRING) {
        // `s += "literal"` on a string held by this place alone: the literal's new string
        // object would only be appended and dropped, so its bytes are appended directly.
        Cell* c = p.target(n->line);
        VString* s = c ? c->as_string() : nullptr;
        if (s && s->refs == 1 && s->locks == 0) {
            s->str += n->right->str()->bytes;
            return Value(s);
        }
    }
    Value right = value_of(n->right, ctx);
    if (Cell* c = p.target(n->line)) {
        if (c->is_numeric() && right.is_numeric()) {
            // Operator routines run no script code: the cell stays valid.
            Value r = binary(op, Value(*c), right, n->line);
            c->set(r);
            return r;
        }
        VString* s = c->as_string();
        if (op == OP_ADD && s && s->refs == 1 && s->locks == 0 && !right.as_array()) {
            append_plain(s->str, right);
            return Value(s);
        }
    }
    Value r = binary(op, p.read(n->line), right, n->line);
    p.write(r);
    return r;
}

// ++a, a++, --a, a--.
// ++ and -- on anything but a variable holding a number.
[[gnu::noinline]] Value incdec_place(Node* n, VContext& ctx, bool pre, double delta) {
    Place p;
    getPlace(n->left, false, p, ctx);
    Value old = p.read(n->line);
    Value r = binary(delta > 0 ? OP_ADD : OP_SUB, old, Value(1.0), n->line);
    p.write(r);
    return pre ? r : old;
}

[[gnu::noinline]] Value eval_incdec(Node* n, VContext& ctx) {
    bool pre = n->op == OP_PREINC || n->op == OP_PREDEC;
    double delta = incdec_delta(n);
    double old;
    if (n->lop == kLowIncVar && incdec_in_place<false>(n, delta, old))
        return Value(pre ? old + delta : old);
    return incdec_place(n, ctx, pre, delta);
}

[[gnu::noinline]] Value eval_swap(Node* n, VContext& ctx) {
    Place a, b;
    getPlace(n->left, false, a, ctx);
    getPlace(n->right, false, b, ctx);
    Value va = a.read(n->line), vb = b.read(n->line);
    a.write(vb);
    b.write(va);
    return Value();
}

[[gnu::noinline]] Value eval_let(Node* n, VContext& ctx) {
    Place p;
    getPlace(n->left, false, p, ctx);
    Value old = p.read(n->line);
    Value v = evaluate(n->right, ctx);
    p.write(v);
    return old;
}

[[gnu::noinline]] Value make_array(Node* n, VContext& ctx) {
    size_t count = 0;
    for (Node* e = n->left; e; e = e->next) ++count;
    auto* a = new VArray(count);
    Value holder(a);
    size_t i = 0;
    for (Node* e = n->left; e; e = e->next) a->cells[i++].set(evaluate(e, ctx));
    return holder;
}

// hash("k" = v, ...) keys are string literals; struct(k = v, ...) keys are identifiers.
[[gnu::noinline]] Value make_hash(Node* n, VContext& ctx) {
    auto* h = new VHash;
    Value holder(h);
    for (Node* e = n->left; e; e = e->next) {
        std::string_view key =
            n->op == OP_HASH ? std::string_view(e->str()->bytes) : e->name()->text();
        h->set(key, e->left ? evaluate(e->left, ctx) : Value());
    }
    return holder;
}

// A literal is compiled on its first evaluation; every value made from it shares the result.
[[gnu::noinline]] Value make_regex(Node* n) {
    node_regex* r = n->regex();
    if (!r->compiled) {
        r->compiled = new RegExp(r->pattern, (r->flags & 1) != 0, (r->flags & 2) != 0);
        r->compiled->addref();
    }
    return make_regexp(r->compiled);
}

[[gnu::noinline]] Value make_funcref(Node* n) {
    Atom name = n->left->name();
    if (FuncInfo* f = funcman.findFunction(name)) return Value(new VFuncRef(f));
    Cell* c = scopes.lookup(name);
    if (!c) c = scopes.lookupGlobal(name);
    if (c && as_funcref(*c)) return Value(*c);
    raise(n->line, "Function %s() not defined", name->chars);
}

} // namespace

Cell* Place::target(int line) {
    switch (kind) {
    case Var: return cell;
    case Elem: {
        Cell* c = static_cast<VArray*>(holder.obj())->at(index);
        if (!c) range_error(line, index); // the right side shrank the array
        return c;
    }
    case Entry: {
        auto* h = static_cast<VHash*>(holder.obj());
        if (h->epoch() != epoch) {
            cell = h->find(key);
            epoch = h->epoch();
        }
        return cell;
    }
    default: return nullptr;
    }
}

void Place::write(const CellData& v) {
    switch (kind) {
    case Var: cell->set(v); break;
    case Elem: static_cast<VArray*>(holder.obj())->set(index, v); break;
    case Entry: {
        auto* h = static_cast<VHash*>(holder.obj());
        if (h->epoch() != epoch || !cell) {
            cell = &h->get_or_insert(key); // the entry was erased meanwhile: store it anew
            epoch = h->epoch();
        }
        cell->set(v);
        break;
    }
    case Com: write_com(v); break;
    default: break;
    }
}

Value Place::read_com() {
    auto* o = static_cast<VComObj*>(holder.obj());
    switch (com) {
    case ComProperty: return com_get_property(o, key, line);
    case ComResult: return Value(key_holder.as_array()->cells[0]);
    default: return com_item(o, index, line);
    }
}

void Place::write_com(const CellData& v) {
    auto* o = static_cast<VComObj*>(holder.obj());
    switch (com) {
    case ComProperty: com_set_property(o, key, {}, v, line); break;
    case ComResult: {
        const CellVector& kept = key_holder.as_array()->cells;
        std::vector<Value> index(kept.begin() + 1, kept.end());
        com_set_property(o, key, index, v, line);
        break;
    }
    default: raise(line, "Cannot assign to COM collection element");
    }
}

void getPlace(Node* n, bool allow_global, Place& p, VContext& ctx) {
    switch (n->op) {
    case OP_IDENT: {
        Cell* c = scopes.lookup(n);
        if (!c && allow_global) c = scopes.lookupGlobal(n->name());
        if (!c) raise_not_declared(n->name(), n->line);
        p.kind = Place::Var;
        p.cell = c;
        return;
    }
    case OP_INDEX: {
        Value idx = n->right ? value_of(n->right, ctx) : Value();
        Value obj = value_of(n->left, ctx);
        index_place(n, std::move(idx), std::move(obj), p);
        return;
    }
    case OP_MEMBER: {
        Value obj = evaluate(n->left, ctx);
        if (as_comobj(obj)) {
            com_place(p, Place::ComProperty, std::move(obj), n->right->name()->text(), n->line);
            return;
        }
        p.cell = member_cell(n, obj);
        p.kind = Place::Entry;
        p.epoch = obj.as_hash()->epoch();
        p.key = n->right->name()->text();
        p.holder = std::move(obj);
        return;
    }
    case OP_CALL:
        method_place(n, ctx, p);
        if (p.kind == Place::Com) return;
        break;
    default: break;
    }
    raise(n->line, "Internal error in s_get()");
}

Value assign(Node* n, Value v, VContext& ctx) {
    switch (n->op) {
    case OP_IDENT: assign_ident(n, v); return v;
    case OP_INDEX: {
        Value idx = n->right ? value_of(n->right, ctx) : Value();
        Value obj = value_of(n->left, ctx);
        if (VArray* a = obj.as_array()) {
            int32_t i = array_index(idx, n->line);
            if (i < 0 || static_cast<int64_t>(i) >= int64_t(a->size()) + kMaxArrayGrowth)
                range_error(n->line, i);
            a->set(i, v);
            return v;
        }
        if (VHash* h = obj.as_hash()) {
            h->set(hash_key(idx, n->line)->view(), v);
            return v;
        }
        if (as_comobj(obj)) raise(n->line, "Cannot assign to COM collection element");
        raise(n->line, "Bad array operation for non-array object");
    }
    case OP_MEMBER: {
        Value obj = evaluate(n->left, ctx);
        if (VComObj* o = as_comobj(obj))
            com_set_property(o, n->right->name()->text(), {}, v, n->line);
        else
            member_cell(n, obj)->set(v);
        return v;
    }
    case OP_ARRAY: {
        // [a, null, b] = v: element i of an array, or v itself for anything else.
        int64_t i = 0;
        for (Node* e = n->left; e; e = e->next, ++i) {
            if (e->op == OP_NULL) continue;
            if (VArray* a = v.as_array()) {
                Cell* c = a->at(i);
                assign(e, c ? Value(*c) : Value(), ctx);
            } else {
                assign(e, v, ctx);
            }
        }
        return Value();
    }
    case OP_CALL: {
        Place p;
        method_place(n, ctx, p);
        if (p.kind != Place::Com) break;
        p.write(v);
        return v;
    }
    default: break;
    }
    raise(n->line, "Internal error in s_set()");
}

void stack_exhausted(int line) {
    raise(line, "Recursion limit exceeded");
}

Value arith_values(Node* n, const Value& a, const Value& b) {
    if (n->op == OP_ADD && (a.as_string() || b.as_string()) && !a.as_array() && !b.as_array())
        return concat_plain(a, b);
    return binary(n->op, a, b, n->line);
}

namespace {

// The cases of evaluate() that need locals live in functions of their own, so that evaluate
// itself is a thin dispatcher: little to save on entry, and its calls become jumps.

// The rest of an arithmetic node's evaluation once its left operand [a] is known.
[[gnu::always_inline]] inline Value arith_rest(Node* n, Value& a, VContext& ctx) {
    // A string that only this temporary holds (the result of a literal or of the `+`
    // before it) takes the right side in place: a chain a + b + c + ... builds one string.
    // A literal on the right is appended from its bytes, without a string object of its own.
    VString* s = n->op == OP_ADD ? a.as_string() : nullptr;
    if (s && (s->locks != 1 || s->refs != 0)) s = nullptr;
    if (s && n->right->op == OP_STRING) {
        std::string_view t = n->right->str()->bytes;
        string_buffers.reserve(s->str, s->str.size() + t.size());
        s->str.append(t);
        return a;
    }
    Value b = value_of(n->right, ctx);
    if (s && !b.as_array()) {
        char buf[kNumberTextMax];
        std::string_view v;
        if (short_plain(b, buf, v)) {
            string_buffers.reserve(s->str, s->str.size() + v.size());
            s->str.append(v);
        } else {
            append_plain(s->str, b);
        }
        return a;
    }
    return arith_values(n, a, b);
}

[[gnu::noinline]] Value eval_arith(Node* n, VContext& ctx) {
    if (n->op <= OP_MOD && numeric_candidate(n)) {
        double d;
        if (eval_num(n, d)) return Value(d);
    }
    Value a = value_of(n->left, ctx);
    return arith_rest(n, a, ctx);
}

// A comparison with a string literal on one side (`(line = gets()) != ""`): when the other
// side yields a string, its bytes are compared with the literal's, and the literal's string
// object is never made.  Any other value takes the general routine.  The literal has nothing
// to run, so evaluating the other side first changes nothing.
[[gnu::noinline]] Value compare_with_literal(Node* n, VContext& ctx) {
    bool literal_left = n->left->op == OP_STRING;
    Node* literal = literal_left ? n->left : n->right;
    Value v = value_of(literal_left ? n->right : n->left, ctx);
    if (VString* s = v.as_string()) {
        std::string_view t = literal->str()->bytes;
        int c = literal_left ? compare_bytes(t, s->view()) : compare_bytes(s->view(), t);
        return Value::boolean(compare_numbers(n->op, c, 0)); // the byte order against 0
    }
    Value w = evaluate(literal, ctx);
    return Value::boolean(literal_left ? compare(n->op, w, v, n->line)
                                       : compare(n->op, v, w, n->line));
}

[[gnu::noinline]] Value eval_compare(Node* n, VContext& ctx) {
    double x, y;
    if (numeric_candidate(n->left) && numeric_candidate(n->right) && num_operand(n->left, x) &&
        num_operand(n->right, y))
        return Value::boolean(compare_numbers(n->op, x, y));
    if (n->left->op == OP_STRING || n->right->op == OP_STRING) return compare_with_literal(n, ctx);
    Value a = value_of(n->left, ctx);
    Value b = value_of(n->right, ctx);
    return Value::boolean(compare(n->op, a, b, n->line));
}

[[gnu::noinline]] Value eval_strict_or_match(Node* n, VContext& ctx) {
    Value a = evaluate(n->left, ctx);
    Value b = evaluate(n->right, ctx);
    if (n->op == OP_SEQ || n->op == OP_SNE)
        return Value::boolean(op_strict_equal(a, b) != (n->op == OP_SNE));
    return Value::boolean(op_match(a, b, n->op == OP_NMATCH, n->line));
}

[[gnu::noinline]] Value eval_neg(Node* n, VContext& ctx) {
    if (numeric_candidate(n)) {
        double d;
        if (eval_num(n, d)) return Value(d);
    }
    Value a = evaluate(n->left, ctx);
    if (a.is_numeric()) return Value(-a.num());
    return op_neg(a, n->line);
}

[[gnu::noinline]] Value eval_logic(Node* n, VContext& ctx) {
    // The deciding operand's own value, not a boolean.
    Value a = evaluate(n->left, ctx);
    if (truthy(a) == (n->op == OP_OR)) return a;
    return evaluate(n->right, ctx);
}

[[gnu::noinline]] Value eval_cond(Node* n, VContext& ctx) {
    Node* branch = truthy(evaluate(n->kid(0), ctx)) ? n->kid(1) : n->kid(2);
    return branch ? evaluate(branch, ctx) : Value();
}

[[gnu::noinline]] Value assign_general(Node* n, VContext& ctx) {
    Value v = value_of(n->right, ctx); // the right side runs before the target's parts
    if (n->left->op == OP_IDENT) {
        assign_ident(n->left, v);
        return v;
    }
    return assign(n->left, std::move(v), ctx);
}

// Whether assignment n is h[k] = h[k] + y (or - * / %), decided once and kept in `aux`.
[[gnu::noinline]] bool classify_update(Node* n) {
    Node* r = n->right;
    bool update = n->left->op == OP_INDEX && r->op >= OP_ADD && r->op <= OP_MOD &&
                  same_element(n->left, r->left);
    n->aux |= kAuxUpdateKnown | (update ? kAuxElementUpdate : 0);
    return update;
}

[[gnu::always_inline]] inline bool element_update(Node* n) {
    if (n->aux & kAuxUpdateKnown) return n->aux & kAuxElementUpdate;
    return classify_update(n);
}

[[gnu::always_inline]] inline Value assignment(Node* n, VContext& ctx) {
    // h[k] = h[k] + y reads and writes one element: updated in its cell, found once.
    if (element_update(n)) {
        Value out;
        if (update_in_cell(n->left, n->right->op, n->right->right, out)) return out;
    }
    return assign_general(n, ctx);
}

[[gnu::noinline]] Value eval_assign(Node* n, VContext& ctx) {
    return assignment(n, ctx);
}

} // namespace

Value arith_after_left(Node* n, Value& a, VContext& ctx) {
    return arith_rest(n, a, ctx);
}

Value exec_assign(Node* n, VContext& ctx) {
    return assignment(n, ctx);
}

// x = <pure arithmetic>: the double goes straight into the variable; anything that is not a
// number takes the general assignment, which evaluates the same nodes again.
Value exec_set_num(Node* n, VContext& ctx) {
    double d;
    if (!set_num_in_place<false>(n, d)) return eval_assign(n, ctx);
    return Value(d);
}

namespace {

[[gnu::noinline]] Value eval_not(Node* n, VContext& ctx) {
    Value a = evaluate(n->left, ctx);
    if (n->op == OP_NOT) return Value::boolean(!truthy(a));
    return op_bitnot(a, n->line);
}

[[gnu::noinline]] Value eval_list(Node* n, VContext& ctx) {
    evaluate(n->left, ctx);
    return evaluate(n->right, ctx);
}

[[gnu::noinline]] Value eval_string(Node* n) {
    return make_string(std::string_view(n->str()->bytes));
}

[[gnu::noinline]] Value eval_ident(Node* n) {
    Cell* c = scopes.lookup(n);
    if (!c) c = scopes.lookupGlobal(n->name());
    if (!c) raise_not_declared(n->name(), n->line);
    return Value(*c);
}

} // namespace

Value evaluate(Node* n, VContext& ctx) {
    enter_node(n);
    switch (n->op) {
    case OP_NULL: return Value();
    case OP_TRUE: return Value::boolean(true);
    case OP_FALSE: return Value::boolean(false);
    case OP_NUMBER: return Value(n->number);
    case OP_STRING: return eval_string(n);
    case OP_IDENT: return eval_ident(n);
    case OP_ADD:
    case OP_SUB:
    case OP_MUL:
    case OP_DIV:
    case OP_MOD:
    case OP_IDIV:
    case OP_POW:
    case OP_BITAND:
    case OP_BITOR:
    case OP_BITXOR:
    case OP_SHR:
    case OP_SHL:
    case OP_USHR: return eval_arith(n, ctx);
    case OP_EQ:
    case OP_NE:
    case OP_GT:
    case OP_GE:
    case OP_LT:
    case OP_LE: return eval_compare(n, ctx);
    case OP_CEQ:
    case OP_CNE:
    case OP_CGT:
    case OP_CGE:
    case OP_CLT:
    case OP_CLE: return eval_chain(n, ctx);
    case OP_SEQ:
    case OP_SNE:
    case OP_MATCH:
    case OP_NMATCH: return eval_strict_or_match(n, ctx);
    case OP_NEG: return eval_neg(n, ctx);
    case OP_BITNOT:
    case OP_NOT: return eval_not(n, ctx);
    case OP_AND:
    case OP_OR: return eval_logic(n, ctx);
    case OP_COND: return eval_cond(n, ctx);
    case OP_LIST: return eval_list(n, ctx);
    case OP_ASSIGN: return n->lop == kLowSetNum ? exec_set_num(n, ctx) : eval_assign(n, ctx);
    case OP_ADDEQ:
    case OP_SUBEQ:
    case OP_MULEQ:
    case OP_DIVEQ:
    case OP_MODEQ:
    case OP_IDIVEQ:
    case OP_POWEQ:
    case OP_ANDEQ:
    case OP_OREQ:
    case OP_XOREQ:
    case OP_SHREQ:
    case OP_SHLEQ:
    case OP_USHREQ: return eval_compound(n, ctx);
    case OP_PREINC:
    case OP_POSTINC:
    case OP_PREDEC:
    case OP_POSTDEC: return eval_incdec(n, ctx);
    case OP_SWAP: return eval_swap(n, ctx);
    case OP_LET: return eval_let(n, ctx);
    case OP_INDEX:
    case OP_MEMBER: return read_place(n, ctx);
    case OP_ARRAY: return make_array(n, ctx);
    case OP_HASH:
    case OP_STRUCT: return make_hash(n, ctx);
    case OP_REGEX: return make_regex(n);
    case OP_FUNCREF: return make_funcref(n);
    case OP_CALL: return eval_call(n, ctx);
    case OP_BLOCK: return exec_block(n, ctx);
    case OP_IF: return exec_if(n, ctx);
    case OP_WHILE:
    case OP_DOWHILE: return exec_while(n, ctx);
    case OP_FOR: return exec_for(n, ctx);
    case OP_FOREACH: return exec_foreach(n, ctx);
    case OP_SWITCH: return exec_switch(n, ctx);
    case OP_TRY: return exec_try(n, ctx);
    case OP_VAR:
    case OP_STATIC: return exec_declaration(n, ctx);
    case OP_EXTERN: return exec_extern(n, ctx);
    case OP_FUNCDEF: return exec_funcdef(n, ctx);
    case OP_BREAK:
    case OP_CONTINUE: return exec_jump(n, ctx);
    case OP_RETURN: return exec_return(n, ctx);
    case OP_CASE:
    case OP_DEFAULT: return Value();
    default: unknown_opcode(n);
    }
}

Value execBlock(Context* c, VContext& ctx) {
    // Each value is dropped as soon as the next statement is due: a statement such as
    // `s += "x"` may only append in place while no transient value holds the string.  The
    // last statement's value is the block's; so is the value of one that leaves early.
    Node* const* p = c->stmts.data();
    Node* const* end = p + c->stmts.size();
    while (end != p && !end[-1]) --end;
    if (p == end) return Value();
    for (; p + 1 != end; ++p) {
        if (!*p) continue;
        Value v = run_statement(*p, ctx);
        if (ctx.status != VContext::Normal) return v;
    }
    return run_statement(*p, ctx);
}

} // namespace ruvo
