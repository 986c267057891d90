// Internal interface between the parts of the evaluator: expressions and places
// (eval/expr.cpp, which holds the dispatch of `evaluate`), statements (eval/stmt.cpp) and
// calls (eval/call.cpp).  Each statement routine is kept out of line so that the frame of
// `evaluate`, which every nested expression and script call adds to the native stack, stays
// small.
#pragma once

#include "core/convert.h"
#include "core/value.h"
#include "eval/context.h"
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

// "Symbol %s not declared".
[[noreturn]] void raise_not_declared(Atom name, int line);

// Statements.
Value exec_block(Node* n, VContext& ctx);
Value exec_if(Node* n, VContext& ctx);
Value exec_while(Node* n, VContext& ctx); // while and do-while
Value exec_for(Node* n, VContext& ctx);
Value exec_foreach(Node* n, VContext& ctx);
Value exec_switch(Node* n, VContext& ctx);
Value exec_try(Node* n, VContext& ctx);
Value exec_declaration(Node* n, VContext& ctx); // var and static
Value exec_extern(Node* n, VContext& ctx);
Value exec_funcdef(Node* n, VContext& ctx);
Value exec_jump(Node* n, VContext& ctx); // break and continue
Value exec_return(Node* n, VContext& ctx);

// Calls.
Value eval_call(Node* n, VContext& ctx);

} // namespace ruvo
