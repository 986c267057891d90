#include "front/node.h"

#include <new>

#include "core/reserve.h"
#include "eval/func.h"

namespace ruvo {

ScanPosition scan_pos;

namespace {

// During a parse the node goes on the parse's list before it is handed out, so that running
// out of memory at any later point frees it with the list.
Node* make(int op) {
    if (scan_pos.nodes) reserve_one_more(*scan_pos.nodes);
    Node* n = new Node;
    n->op = op;
    n->line = scan_pos.line;
    n->file = scan_pos.file;
    if (scan_pos.nodes) scan_pos.nodes->push_back(n);
    return n;
}

// Trees are freed on the way out of runs that ran out of memory, and by destructors: freeing
// must not fail for want of memory.  When the destruction stack cannot grow, the memory
// reserve is given back for it; a part that still finds no room is left unfreed.
template <class Add> void add_for_destruction(Add&& add) {
    try {
        add();
    } catch (const std::bad_alloc&) {
        spend_memory_reserve();
        try {
            add();
        } catch (const std::bad_alloc&) {
        }
    }
}

// Frees the payload of n; children found in it are handed to `more` (or dropped when null,
// for the node-list destruction of a failed parse, where they are freed from the list).
void free_payload(Node* n, std::vector<Node*>* more) {
    if (!n->data) return;
    switch (n->op) {
    case OP_STRING: delete n->str(); break;
    case OP_REGEX:
        if (n->regex()->compiled) regexp_release(n->regex()->compiled);
        delete n->regex();
        break;
    case OP_FUNCDEF: {
        node_funcdef* d = n->funcdef();
        if (!more)
            for (func_data* f : d->info->overloads) f->params = f->body = nullptr;
        d->info->release();
        delete d;
        break;
    }
    case OP_BLOCK: {
        Context* c = n->block();
        if (more)
            add_for_destruction([&] { more->insert(more->end(), c->stmts.begin(), c->stmts.end()); });
        c->stmts.clear();
        delete c;
        break;
    }
    default:
        if (is_record_op(n->op)) {
            node_record* r = n->record();
            if (more)
                for (Node* k : r->kid)
                    if (k) add_for_destruction([&] { more->push_back(k); });
            delete r;
        }
        break; // OP_IDENT: atoms live for the process
    }
    n->data = nullptr;
}

} // namespace

Context::~Context() {
    std::vector<Node*> s;
    s.swap(stmts);
    for (Node* n : s)
        if (n) destroy_node(n);
}

Node* new_leaf(int op) {
    return make(op);
}

Node* new_number(double d) {
    Node* n = make(OP_NUMBER);
    n->number = d;
    return n;
}

Node* new_ident(Atom name) {
    Node* n = make(OP_IDENT);
    n->data = const_cast<AtomData*>(name);
    return n;
}

Node* new_string(std::string_view bytes) {
    Node* n = make(OP_STRING);
    n->data = new node_string{std::string(bytes)};
    return n;
}

Node* new_concat(Node* a, Node* b) {
    std::string s = a->str()->bytes + b->str()->bytes;
    Node* n = new_string(s);
    discard_node(a);
    discard_node(b);
    return n;
}

Node* new_regex(std::string_view pattern, int flags) {
    Node* n = make(OP_REGEX);
    n->data = new node_regex{std::string(pattern), flags, nullptr};
    return n;
}

Node* new_node(int op, Node* left, Node* right) {
    Node* n = make(op);
    n->left = left;
    n->right = right;
    return n;
}

Node* new_block(Context* body) {
    Node* n = make(OP_BLOCK);
    n->data = body;
    return n;
}

Node* new_record(int op, Node* a, Node* b, Node* c, Node* d) {
    Node* n = make(op);
    n->data = new node_record{{a, b, c, d}};
    return n;
}

Node* new_funcdef(Atom name, FuncInfo* info) {
    Node* n = make(OP_FUNCDEF);
    n->data = new node_funcdef{info, name};
    info->addref();
    return n;
}

void destroy_node(Node* root) {
    std::vector<Node*> work;
    add_for_destruction([&] { work.push_back(root); });
    while (!work.empty()) {
        Node* n = work.back();
        work.pop_back();
        for (Node* k : {n->left, n->right, n->next})
            if (k) add_for_destruction([&] { work.push_back(k); });
        free_payload(n, &work);
        delete n;
    }
}

void discard_node(Node* root) {
    if (std::vector<Node*>* list = scan_pos.nodes) {
        // Collect the subtree, then take its nodes off the list (they are recent: search
        // from the back).
        std::vector<Node*> work{root}, sub;
        while (!work.empty()) {
            Node* n = work.back();
            work.pop_back();
            sub.push_back(n);
            for (Node* k : {n->left, n->right, n->next})
                if (k) work.push_back(k);
            if (n->data && n->op == OP_BLOCK)
                for (Node* k : n->block()->stmts) work.push_back(k);
            if (n->data && is_record_op(n->op))
                for (Node* k : n->record()->kid)
                    if (k) work.push_back(k);
        }
        for (Node* n : sub)
            for (size_t i = list->size(); i-- > 0;)
                if ((*list)[i] == n) {
                    list->erase(list->begin() + static_cast<long>(i));
                    break;
                }
    }
    destroy_node(root);
}

void destroy_node_list(std::vector<Node*>& nodes) {
    for (Node* n : nodes) {
        free_payload(n, nullptr);
        delete n;
    }
    nodes.clear();
}

const char* opcode_name(int op) {
    switch (op) {
#define N(x)                                                                                       \
    case OP_##x: return #x;
        N(NULL)
        N(TRUE) N(FALSE) N(NUMBER) N(IDENT) N(STRING) N(ADD) N(SUB) N(MUL) N(DIV) N(MOD) N(IDIV)
            N(POW) N(MEMBER) N(STRUCT) N(HASH) N(ASSIGN) N(BLOCK) N(VAR) N(EXTERN) N(STATIC) N(CALL)
                N(INDEX) N(LIST) N(SWAP) N(LET) N(FUNCREF) N(FUNCDEF) N(IF) N(WHILE) N(DOWHILE)
                    N(FOR) N(FOREACH) N(TRY) N(SWITCH) N(CASE) N(DEFAULT) N(EQ) N(NE) N(GT) N(GE)
                        N(LT) N(LE) N(CEQ) N(CNE) N(CGT) N(CGE) N(CLT) N(CLE) N(SEQ) N(SNE) N(MATCH)
                            N(NMATCH) N(NEG) N(PREINC) N(POSTINC) N(PREDEC) N(POSTDEC) N(NOT) N(AND)
                                N(OR) N(COND) N(BREAK) N(CONTINUE) N(RETURN) N(ARRAY) N(REGEX)
                                    N(TUPLE) N(BITNOT) N(BITAND) N(BITOR) N(BITXOR) N(SHR) N(SHL)
                                        N(USHR) N(ADDEQ) N(SUBEQ) N(MULEQ) N(DIVEQ) N(MODEQ)
                                            N(IDIVEQ) N(POWEQ) N(ANDEQ) N(OREQ) N(XOREQ) N(SHREQ)
                                                N(SHLEQ) N(USHREQ)
#undef N
                                                    default : return nullptr;
    }
}

} // namespace ruvo
