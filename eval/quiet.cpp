// Quiet statements: a branch or body in which nothing can call a function or declare a
// variable.  Such code cannot tell whether its block has an entry on the scope stack: a
// lookup skips empty entries, an assignment to an undeclared name declares in the call's own
// scope, and the match variables are global.  So a quiet `if` opens no entry; it only counts
// toward the recursion limit, through ScopeStack::quiet (a destructor that the collector or a
// release runs meanwhile is a call and sees the same depth as before).  A quiet block `{...}`
// opens no entry either.
//
// What is not quiet is looked at once more where that pays (see quiet_kind below): an `if`
// whose only call is its condition, a call of a built-in that borrows its arguments
// (func_data::borrows) with variables and literals for arguments, opens no entry while the
// name still calls that built-in; a block whose every statement is quiet or opens its own
// entry (an if, a loop other than foreach, a block) can have nothing declared in it, so it
// opens none either.  foreach is not among them: its collection is computed in the
// enclosing block.
#include "eval/eval_impl.h"

namespace ruvo {

namespace {

constexpr uint8_t kQuietUnknown = 0, kQuietNo = 1;

// Operators and statements that run no script code and declare nothing of their own.
bool quiet_op(int op) {
    switch (op) {
    case OP_NULL: case OP_TRUE: case OP_FALSE: case OP_NUMBER: case OP_IDENT: case OP_STRING:
    case OP_ADD: case OP_SUB: case OP_MUL: case OP_DIV: case OP_MOD: case OP_IDIV: case OP_POW:
    case OP_BITAND: case OP_BITOR: case OP_BITXOR: case OP_SHR: case OP_SHL: case OP_USHR:
    case OP_EQ: case OP_NE: case OP_GT: case OP_GE: case OP_LT: case OP_LE:
    case OP_CEQ: case OP_CNE: case OP_CGT: case OP_CGE: case OP_CLT: case OP_CLE:
    case OP_SEQ: case OP_SNE: case OP_MATCH: case OP_NMATCH: case OP_REGEX:
    case OP_NEG: case OP_NOT: case OP_BITNOT: case OP_AND: case OP_OR: case OP_COND:
    case OP_LIST: case OP_ASSIGN: case OP_ADDEQ: case OP_SUBEQ: case OP_MULEQ: case OP_DIVEQ:
    case OP_MODEQ: case OP_IDIVEQ: case OP_POWEQ: case OP_ANDEQ: case OP_OREQ: case OP_XOREQ:
    case OP_SHREQ: case OP_SHLEQ: case OP_USHREQ: case OP_PREINC: case OP_POSTINC:
    case OP_PREDEC: case OP_POSTDEC: case OP_INDEX: case OP_ARRAY: case OP_RETURN:
    case OP_BREAK: case OP_CONTINUE: case OP_IF: case OP_BLOCK: return true;
    default: return false;
    }
}

bool quiet_node(Node* n, int depth);

bool quiet_chain(Node* n, int depth) {
    for (; n; n = n->next)
        if (!quiet_node(n, depth)) return false;
    return true;
}

// The answer is kept in every node looked at.  The depth bound keeps the walk shallow on the
// native stack; what lies deeper counts as not quiet.
bool quiet_node(Node* n, int depth) {
    if (n->quiet != kQuietUnknown) return n->quiet == kQuietYes;
    bool q = depth < 48 && quiet_op(n->op);
    if (q && is_record_op(n->op) && n->data)
        for (Node* k : n->record()->kid) q = q && quiet_chain(k, depth + 1);
    if (q && n->op == OP_BLOCK && n->data)
        for (Node* st : n->block()->stmts) q = q && (!st || quiet_node(st, depth + 1));
    if (q && n->op != OP_IDENT && n->op != OP_STRING && n->op != OP_REGEX)
        q = quiet_chain(n->left, depth + 1) && quiet_chain(n->right, depth + 1);
    n->quiet = q ? kQuietYes : kQuietNo;
    return q;
}

} // namespace

bool compute_quiet(Node* n) {
    return quiet_node(n, 0);
}

namespace {

// An argument that is read without any effect: a variable or a literal.
bool plain_argument(const Node* a) {
    switch (a->op) {
    case OP_IDENT: case OP_NUMBER: case OP_STRING: case OP_NULL: case OP_TRUE: case OP_FALSE:
        return true;
    default: return false;
    }
}

// Statements that open their own scope entry (or are counted quiet blocks) before they
// evaluate anything, so that nothing they run declares into the enclosing block.
bool opens_own_entry(const Node* s) {
    switch (s->op) {
    case OP_IF: case OP_WHILE: case OP_DOWHILE: case OP_FOR: case OP_BLOCK: return true;
    default: return false;
    }
}

uint8_t refine(Node* n) {
    if (n->op == OP_CALL) {
        if (!n->right || n->right->op != OP_IDENT) return kQuietLooked;
        uint8_t count = 0;
        for (Node* a = n->left; a; a = a->next)
            if (!plain_argument(a) || ++count > kInlineCallArgs) return kQuietLooked;
        return static_cast<uint8_t>(kQuietPlainCall + count);
    }
    if (n->op == OP_IF && n->data) {
        Node* c = n->kid(0);
        bool branches = (!n->kid(1) || is_quiet(n->kid(1))) && (!n->kid(2) || is_quiet(n->kid(2)));
        return c && branches && quiet_kind(c) >= kQuietPlainCall ? kQuietCallCondition : kQuietLooked;
    }
    if (n->op == OP_BLOCK && n->data) {
        for (Node* st : n->block()->stmts)
            if (st && !opens_own_entry(st) && !is_quiet(st)) return kQuietLooked;
        return kQuietOwnEntries;
    }
    return kQuietLooked;
}

} // namespace

uint8_t refine_quiet(Node* n) {
    if (n->op != OP_CALL) { // a call is never quiet
        if (!n->quiet) compute_quiet(n);
        if (n->quiet == kQuietYes) return n->quiet;
    }
    return n->quiet = refine(n);
}

} // namespace ruvo
