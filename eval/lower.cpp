#include "eval/lower.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "eval/eval_impl.h"

namespace ruvo {

namespace {

bool is_operator(const Node* n) {
    return n->op == OP_NEG || (n->op >= OP_ADD && n->op <= OP_MOD);
}

bool is_leaf(const Node* n) {
    return n->op == OP_NUMBER || n->op == OP_IDENT;
}

// The step of operator [index] (0: +, 1: -, 2: *, 3: /, 4: %) in the family starting at
// [kfirst] (constant operand) or [vfirst] (variable operand), with leaf operand [l].
NumStep leaf_step(NumStep::Op kfirst, NumStep::Op vfirst, int index, Node* l) {
    NumStep s{};
    if (l->op == OP_NUMBER) {
        s.op = static_cast<uint8_t>(kfirst + index);
        s.k = l->number;
        // A remainder by an integer other than 0 is taken on integers.
        double m = std::fabs(l->number);
        if (s.op == NumStep::ModK && m >= 1 && m < 9223372036854775808.0 && m == std::trunc(m)) {
            s.op = NumStep::ModI;
            s.k_abs = static_cast<int64_t>(m);
        }
        return s;
    }
    s.op = static_cast<uint8_t>(vfirst + index);
    s.leaf = l;
    return s;
}

NumStep plain_step(int op) {
    NumStep s{};
    s.op = static_cast<uint8_t>(op);
    return s;
}

// Appends the steps that leave the value of pure-arithmetic node n in the accumulator; the
// operator nodes below the root are computed by the root's program.  The depth of the
// recursion is the subtree's height, at most 32.
void emit(Node* n, Node* root, std::vector<NumStep>& out) {
    if (n != root && is_operator(n)) n->lop = kLowInner;
    if (is_leaf(n)) {
        out.push_back(leaf_step(NumStep::LoadK, NumStep::LoadV, 0, n));
        return;
    }
    if (n->op == OP_NEG) {
        emit(n->left, root, out);
        out.push_back(plain_step(NumStep::Neg));
        return;
    }
    int index = n->op - OP_ADD; // + - * / % in opcode order
    Node* l = n->left;
    Node* r = n->right;
    if (is_leaf(r)) {
        emit(l, root, out);
        out.push_back(leaf_step(NumStep::AddK, NumStep::AddV, index, r));
    } else if (is_leaf(l)) {
        emit(r, root, out);
        out.push_back(leaf_step(NumStep::RAddK, NumStep::RAddV, index, l));
    } else {
        emit(l, root, out);
        out.push_back(plain_step(NumStep::Push));
        emit(r, root, out);
        out.push_back(plain_step(NumStep::PopAdd + index));
    }
}

void lower_numeric(Node* n) {
    std::vector<NumStep> steps;
    emit(n, n, steps);
    steps.push_back(plain_step(NumStep::End));
    size_t bytes = steps.size() * sizeof(NumStep);
    void* code = std::malloc(bytes); // the steps' caches start unresolved: epoch 0
    if (!code) throw std::bad_alloc();
    std::memcpy(code, steps.data(), bytes);
    n->lowered = code;
    n->lop = kLowNumeric;
    if (steps.size() == 3 && steps[0].op == NumStep::LoadV &&
        (steps[1].op == NumStep::AddK || steps[1].op == NumStep::SubK ||
         steps[1].op == NumStep::MulK))
        n->aux |= kAuxNameOpConstant;
}

bool numeric_operator(Node* n) {
    return is_operator(n) && numeric_candidate(n);
}

// The zeroed record of a lowered node.
template <class T> void give_record(Node* n) {
    void* r = std::calloc(1, sizeof(T));
    if (!r) throw std::bad_alloc();
    n->lowered = r;
}

void lower_node(Node* n) {
    if (n->lop != kLowUnset) return;
    if (numeric_operator(n)) return lower_numeric(n);
    n->lop = kLowPlain;
    if (n->op >= OP_EQ && n->op <= OP_LE) {
        if (numeric_candidate(n->left) && numeric_candidate(n->right)) {
            give_record<NumCompare>(n);
            n->lop = kLowCompareNum;
        }
    } else if (n->op == OP_ASSIGN) {
        // The right side's program is made now: the statement runs it without asking.
        if (n->left->op == OP_IDENT && numeric_operator(n->right)) {
            if (n->right->lop == kLowUnset) lower_numeric(n->right);
            if (n->right->lop == kLowNumeric) {
                give_record<VarCache>(n);
                n->lop = kLowSetNum;
            }
        }
    } else if (n->op >= OP_PREINC && n->op <= OP_POSTDEC) {
        if (n->left->op == OP_IDENT) {
            give_record<VarCache>(n);
            n->lop = kLowIncVar;
        }
    }
}

} // namespace

void lower_tree(Node* root) {
    walk_tree(root, [](Node* n) { lower_node(n); });
}

void lower_program(Context* program) {
    for (Node* s : program->stmts)
        if (s) lower_tree(s);
}

} // namespace ruvo
