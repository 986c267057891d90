// The lowered form: what the evaluator runs instead of the bare syntax tree.
//
// Before a program text runs (a run unit: the script, an eval text, a talk-mode line) and
// before a function body runs for the first time, one pass over the tree decides for every
// node how it is to be executed and keeps that in the node itself (`lop`, and `lowered` for
// the records that need storage of their own).  The tree keeps its shape, its lines and its
// opcodes, so every message and every fallback still comes from the same nodes; what the pass
// adds is the part of the work that does not depend on the values of a run:
//
//   - pure arithmetic (a subtree of number literals, variables, unary minus and + - * / % at
//     most 32 high) becomes a short linear program over doubles with constant and variable
//     operands folded into the operator that uses them (`s + i % 7` is four steps), and a
//     remainder by a constant integer computed on integers;
//   - a comparison of two such operands is marked to be decided on doubles;
//   - `x = <pure arithmetic>` is marked to store the double straight into the variable;
//   - `x++` and its kin on a name are marked to update a number in place.
//
// Nothing here resolves a variable ahead of time: a variable operand is the name node itself,
// read through the scope stack's lookup, so eval, run-time declarations and scopes behave as
// before.  The records of the operations a loop runs in place have room for the variable they
// resolved (VarCache), which a loop that calls nothing keeps while no symbol changes.  A
// lowered operation that meets something that is not a number gives up before it has changed
// anything and the node's general routine runs instead, with identical results.  A node the
// pass has not seen (lop 0) takes the general routine too.
#pragma once

#include <cstdint>
#include <vector>

#include "front/node.h"

namespace ruvo {

class Cell;

enum LowOp : uint8_t {
    kLowUnset = 0,    // not lowered: the general routine
    kLowPlain,        // the general routine of its opcode
    kLowNumeric,      // pure arithmetic, `lowered` holds its NumStep program
    kLowInner,        // pure arithmetic inside a kLowNumeric node, computed by that node's steps
    kLowCompareNum,   // == != < <= > >= of two pure-arithmetic operands; a NumCompare
    kLowSetNum,       // name = pure arithmetic (an operator node, not a bare leaf); the
                      // right side holds its program, the node a VarCache of the name
    kLowIncVar,       // ++ or -- of a name; a VarCache of the name
    // Statements of a function body's own block, marked before its first call (see run_body
    // in eval/call.cpp): a `return`, and a guard `if (...) return ...;` (else branch
    // allowed) in which nothing can call or declare.
    kLowBodyReturn,
    kLowBodyGuard,
};

// A variable as a lowered operation of a loop last resolved it: valid while symbols_epoch
// (eval/scope.h), the running call's version of its symbols, has not moved since, which
// every declaration and every scope that ends with symbols in it move (a call runs under a
// version of its own and gives its caller's back).  Only loops whose body cannot call
// anything use these (see exec_for).
struct VarCache {
    Cell* cell;
    uint64_t epoch; // 0: never resolved (the epoch starts at 1)
};

// The record of a kLowCompareNum node: its operands' variables, for the operands that are
// names.
struct NumCompare {
    VarCache left, right;
};

// One step of a numeric program.  The program computes into one accumulator; the operand
// stack holds the left sides of operators whose two operands are both operators.  The order
// in which the program reads the variables differs from the tree's, which nothing can see:
// reading a variable has no effect, and a program that fails has changed nothing.
struct NumStep {
    enum Op : uint8_t {
        End,                           // the result is the accumulator
        LoadK, LoadV,                  // acc = k; acc = variable `leaf`
        AddK, SubK, MulK, DivK, ModK,  // acc = acc op k
        AddV, SubV, MulV, DivV, ModV,  // acc = acc op variable
        RAddK, RSubK, RMulK, RDivK, RModK, // acc = k op acc
        RAddV, RSubV, RMulV, RDivV, RModV, // acc = variable op acc
        Push,                          // push acc
        PopAdd, PopSub, PopMul, PopDiv, PopMod, // acc = popped op acc
        Neg,
        ModI,                          // acc = acc % k, k an integer: by `k_abs` = |k|
    };
    uint8_t op;
    union {
        Node* leaf;     // the steps with a variable operand: the name node
        int64_t k_abs;  // ModI
    };
    double k;           // LoadK and the steps with a constant operand
    VarCache var;       // the steps with a variable operand
};

// Calls f on every node under [root] and its `next` siblings: children, block statements and
// the kids of statement records, parents before children.  Functions defined inside are
// bodies of their own and are not entered.  Not recursive: a tree may nest deeply.
template <class F>
void walk_tree(Node* root, F f) {
    std::vector<Node*> todo{root};
    while (!todo.empty()) {
        Node* n = todo.back();
        todo.pop_back();
        for (; n; n = n->next) {
            f(n);
            if (n->op == OP_BLOCK && n->data) {
                for (Node* st : n->block()->stmts)
                    if (st) todo.push_back(st);
            } else if (is_record_op(n->op) && n->data) {
                for (Node* k : n->record()->kid)
                    if (k) todo.push_back(k);
            }
            if (n->left) todo.push_back(n->left);
            if (n->right) todo.push_back(n->right);
        }
    }
}

// Lowers every node of the tree under [root] (its siblings through `next` too) that has not
// been lowered yet.  Iterative: a tree may nest deeply.
void lower_tree(Node* root);
// lower_tree of every statement of a program text.
void lower_program(Context* program);

} // namespace ruvo
