// Syntax-tree nodes: the program form the evaluator lowers and runs.
//
// Every construct is one `token_tag__` carrying an opcode, the scanner's line and source-file
// id at the moment it was built, and its operands.  The scanner builds the leaves of literals
// and names, the parser everything else.  While a parse runs, every constructor also enters
// its node into the parse-wide node list, so that a failed parse can free every node it built
// without walking a half-built tree; a successful parse forgets the list and the tree owns its
// nodes (statements belong to their `Context`, children to their parent, parameter lists and
// bodies of top-level functions to their `func_data`).
//
// Destruction walks with an explicit worklist, so a long argument list or a deeply nested
// expression is freed without recursing on the native stack.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "core/atom.h"

namespace ruvo {

class RegExp;
struct FuncInfo;
struct token_tag__;

enum Opcode : int32_t {
    OP_NULL = 1,
    OP_TRUE = 2,
    OP_FALSE = 3,
    OP_NUMBER = 4,
    OP_IDENT = 5,
    OP_STRING = 6,
    OP_ADD = 7,
    OP_SUB = 8,
    OP_MUL = 9,
    OP_DIV = 10,
    OP_MOD = 11,
    OP_IDIV = 12,
    OP_POW = 13,
    OP_MEMBER = 14,
    OP_STRUCT = 15,
    OP_HASH = 16,
    OP_ASSIGN = 17,
    OP_BLOCK = 18,
    OP_VAR = 19,
    OP_EXTERN = 20,
    OP_STATIC = 21,
    OP_CALL = 22,
    OP_INDEX = 23,
    OP_LIST = 24,
    OP_SWAP = 25,
    OP_LET = 26,
    OP_FUNCREF = 27,
    OP_FUNCDEF = 29,
    OP_IF = 30,
    OP_WHILE = 31,
    OP_DOWHILE = 32,
    OP_FOR = 33,
    OP_FOREACH = 34,
    OP_TRY = 35,
    OP_SWITCH = 36,
    OP_CASE = 37,
    OP_DEFAULT = 38,
    OP_EQ = 39,
    OP_NE = 40,
    OP_GT = 41,
    OP_GE = 42,
    OP_LT = 43,
    OP_LE = 44,
    OP_CEQ = 45,
    OP_CNE = 46,
    OP_CGT = 47,
    OP_CGE = 48,
    OP_CLT = 49,
    OP_CLE = 50,
    OP_SEQ = 51,
    OP_SNE = 52,
    OP_MATCH = 53,
    OP_NMATCH = 54,
    OP_NEG = 55,
    OP_PREINC = 56,
    OP_POSTINC = 57,
    OP_PREDEC = 58,
    OP_POSTDEC = 59,
    OP_NOT = 60,
    OP_AND = 61,
    OP_OR = 62,
    OP_COND = 63,
    OP_BREAK = 64,
    OP_CONTINUE = 65,
    OP_RETURN = 66,
    OP_ARRAY = 67,
    OP_REGEX = 68,
    OP_TUPLE = 69,
    OP_BITNOT = 70,
    OP_BITAND = 71,
    OP_BITOR = 72,
    OP_BITXOR = 73,
    OP_SHR = 74,
    OP_SHL = 75,
    OP_USHR = 76,
    OP_ADDEQ = 77,
    OP_SUBEQ = 78,
    OP_MULEQ = 79,
    OP_DIVEQ = 80,
    OP_MODEQ = 81,
    OP_IDIVEQ = 82,
    OP_POWEQ = 83,
    OP_ANDEQ = 85,
    OP_OREQ = 86,
    OP_XOREQ = 87,
    OP_SHREQ = 88,
    OP_SHLEQ = 89,
    OP_USHREQ = 90,
};

// The name of an opcode without its OP_ prefix ("ADD"), or null for numbers that are none.
const char* opcode_name(int op);

// A statement list: the body of a block and of the whole program.  Owns its statements.
struct Context {
    Context() = default;
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;
    ~Context();
    std::vector<token_tag__*> stmts;
};

// Payloads.
struct node_string {
    std::string bytes; // may contain NUL bytes
};
struct node_regex {
    std::string pattern;
    int flags = 0;              // 1: "i", 2: "m"
    RegExp* compiled = nullptr; // made by the evaluator on first use; one reference held
};
struct node_funcdef {
    FuncInfo* info = nullptr; // one reference held
    Atom name = nullptr;
};
// Child records of the statement nodes; any entry may be empty.
//   if {condition, then, else}   while/do-while {condition, body}
//   for {init, condition, step, body}   foreach {variable, collection, body}
//   try {body, handler, catch variable}   switch {subject, block}   cond {test, then, else}
struct node_record {
    token_tag__* kid[4] = {nullptr, nullptr, nullptr, nullptr};
};

// The opcodes whose data is a node_record of child nodes.
inline bool is_record_op(int op) {
    switch (op) {
    case OP_IF:
    case OP_WHILE:
    case OP_DOWHILE:
    case OP_FOR:
    case OP_FOREACH:
    case OP_TRY:
    case OP_SWITCH:
    case OP_COND: return true;
    default: return false;
    }
}

struct token_tag__ {
    int32_t op = 0;
    int32_t line = 0;
    int32_t file = -1;
    // Free for the evaluator's own per-node caches; zero when built.
    uint32_t aux = 0;
    double number = 0;
    void* data = nullptr;
    token_tag__* left = nullptr;
    token_tag__* right = nullptr;
    token_tag__* next = nullptr;
    // A name's variable as last resolved, valid while the set of symbols has not changed
    // since (see eval/scope.h); a call's overload, valid while the function table has not
    // changed (see eval/func.h).
    void* cache = nullptr;
    uint64_t cache_epoch = 0;
    // The evaluator's lowered form of this node (see eval/lower.h): how it is executed, and
    // the record that needs storage of its own (malloc'd, trivially destructible), freed with
    // the node.
    uint8_t lop = 0;
    // Whether the subtree can call or declare anything (see eval/quiet.cpp); 0 not known yet.
    uint8_t quiet = 0;
    void* lowered = nullptr;

    token_tag__() = default;
    token_tag__(const token_tag__&) = delete;
    token_tag__& operator=(const token_tag__&) = delete;
    ~token_tag__() { std::free(lowered); }

    Atom name() const { return static_cast<Atom>(data); }
    node_string* str() const { return static_cast<node_string*>(data); }
    node_regex* regex() const { return static_cast<node_regex*>(data); }
    node_funcdef* funcdef() const { return static_cast<node_funcdef*>(data); }
    Context* block() const { return static_cast<Context*>(data); }
    node_record* record() const { return static_cast<node_record*>(data); }
    token_tag__* kid(int i) const { return record()->kid[i]; }
};
using Node = token_tag__;

// Where constructors take their line and file from: the scanner keeps its line counter and
// current file id here.  `nodes` is the parse-wide node list while a parse runs, else null.
struct ScanPosition {
    int32_t line = 1;
    int32_t file = -1;
    std::vector<Node*>* nodes = nullptr;
};
extern ScanPosition scan_pos;

// Makes room for one more entry without moving the vector's growth off its usual doubling, so
// that an object can go on a list that owns it without the push itself failing for memory.
template <class T> void reserve_one_more(std::vector<T>& v) {
    if (v.size() == v.capacity()) v.reserve(v.empty() ? 64 : v.size() * 2);
}

inline int32_t currentLine() {
    return scan_pos.line;
}
inline int32_t currentFileId() {
    return scan_pos.file;
}

// Constructors, one per shape.
Node* new_leaf(int op); // OP_NULL, OP_TRUE, OP_FALSE, OP_DEFAULT
Node* new_number(double d);
Node* new_ident(Atom name);
Node* new_string(std::string_view bytes);
// One string node holding a's bytes followed by b's; a and b are destroyed.
Node* new_concat(Node* a, Node* b);
Node* new_regex(std::string_view pattern, int flags);
Node* new_node(int op, Node* left = nullptr, Node* right = nullptr);
Node* new_block(Context* body);
Node* new_record(int op, Node* a, Node* b, Node* c = nullptr, Node* d = nullptr);
// OP_FUNCDEF for a function defined inside a block; takes a reference on info.
Node* new_funcdef(Atom name, FuncInfo* info);

// Destroys the node, its children, its `next` siblings and its payload.
void destroy_node(Node* n);
// Destroys exactly the given nodes and their payloads, not their children: for a failed
// parse, whose node list holds every node it built.  Contexts and function definitions made
// during that parse must already have been emptied of the nodes they hold (see
// front/parser.y), so that nothing is freed twice.
void destroy_node_list(std::vector<Node*>& nodes);

// Destroys a node of the running parse that the tree will not hold (the parts of a string
// concatenation, the `in` of a foreach head, the name of a function definition), taking it
// and its descendants off the parse-wide node list.
void discard_node(Node* n);

// Releases a compiled regular expression held by a node (defined with RegExp).
void regexp_release(RegExp* r);

// A one-line text of the tree for tests and debugging, such as
// "(ASSIGN a (ADD 1 (MUL 2 3)))".  Lists print their items in order.
std::string print_tree(const Node* n);
std::string print_context(const Context* c);

} // namespace ruvo
