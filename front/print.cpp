// The tree printer: one line of text per tree, for tests and debugging.
//
// "(OP kid kid ...)" with the opcode's name; leaves print as their value (numbers in %g form,
// strings quoted, names bare, regular expressions as /pattern/flags); an empty kid prints as
// "_"; lists chained through next print as "[a b c]"; a member or hash entry that carries a
// value prints as name=value.  The printer keeps its own work stack, so a tree as deep as the
// parser can build (a+a+... with 100 000 terms) prints without deep native recursion.
#include <cstdio>
#include <string>
#include <vector>

#include "eval/func.h"
#include "front/node.h"

namespace ruvo {

namespace {

// A piece of output still to produce: a node to print, or a text to append.
struct Piece {
    const Node* node;
    const char* text;
    bool list; // print node and its next siblings as "[...]"
};

void quote(std::string& out, const std::string& s) {
    out += '"';
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02x", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    out += '"';
}

bool is_list_field(int op) {
    switch (op) {
    case OP_STRUCT:
    case OP_HASH:
    case OP_VAR:
    case OP_EXTERN:
    case OP_STATIC:
    case OP_CALL:
    case OP_ARRAY:
    case OP_TUPLE: return true;
    default: return false;
    }
}

int record_size(int op) {
    switch (op) {
    case OP_WHILE:
    case OP_DOWHILE:
    case OP_SWITCH: return 2;
    case OP_FOR: return 4;
    default: return 3; // if, foreach, try, cond
    }
}

class Printer {
public:
    std::string run(const Node* root, bool list) {
        push(root, list);
        while (!work_.empty()) {
            Piece p = work_.back();
            work_.pop_back();
            if (p.text)
                out_ += p.text;
            else if (p.list)
                expand_list(p.node);
            else
                expand(p.node);
        }
        return out_;
    }

private:
    void push(const Node* n, bool list = false) { work_.push_back({n, n ? nullptr : "_", list}); }
    void text(const char* t) { work_.push_back({nullptr, t, false}); }

    void expand_list(const Node* n) {
        std::vector<Piece> items;
        out_ += '[';
        for (const Node* k = n; k; k = k->next) {
            if (k != n) items.push_back({nullptr, " ", false});
            items.push_back({k, nullptr, false});
        }
        items.push_back({nullptr, "]", false});
        work_.insert(work_.end(), items.rbegin(), items.rend());
    }

    // Pieces go on the stack in reverse; `kids` collects them in reading order first.
    void expand(const Node* n) {
        std::vector<Piece> kids;
        auto kid = [&](const Node* k, bool list = false) {
            kids.push_back({nullptr, " ", false});
            kids.push_back({k, k ? nullptr : "_", list});
        };
        char buf[64];
        switch (n->op) {
        case OP_NULL: out_ += "null"; break;
        case OP_TRUE: out_ += "true"; break;
        case OP_FALSE: out_ += "false"; break;
        case OP_NUMBER:
            std::snprintf(buf, sizeof buf, "%g", n->number);
            out_ += buf;
            break;
        case OP_IDENT: out_ += n->name()->text(); break;
        case OP_STRING: quote(out_, n->str()->bytes); break;
        case OP_REGEX:
            out_ += '/';
            out_ += n->regex()->pattern;
            out_ += '/';
            if (n->regex()->flags & 1) out_ += 'i';
            if (n->regex()->flags & 2) out_ += 'm';
            break;
        default: break;
        }
        if (n->op == OP_IDENT || n->op == OP_STRING) {
            // A struct member or hash entry with its value.
            if (n->left) {
                out_ += '=';
                push(n->left);
            }
            return;
        }
        if (n->op <= OP_STRING || n->op == OP_REGEX) return;

        const char* name = opcode_name(n->op);
        out_ += '(';
        out_ += name ? name : "?";
        switch (n->op) {
        case OP_BLOCK:
            for (const Node* s : n->block()->stmts) kid(s);
            break;
        case OP_FUNCDEF: {
            const node_funcdef* d = n->funcdef();
            kids.push_back({nullptr, " ", false});
            kids.push_back({nullptr, d->name->chars, false});
            const func_data* f = d->info->overloads.empty() ? nullptr : d->info->overloads[0];
            kid(f ? f->params : nullptr, f && f->params);
            kid(f ? f->body : nullptr);
            break;
        }
        default:
            // Trailing empty kids are left out: (NEG a), (RETURN), (INDEX a) for "a[]".
            if (is_record_op(n->op)) {
                for (int i = 0; i < record_size(n->op); ++i) kid(n->kid(i));
            } else if (is_list_field(n->op)) {
                if (n->left)
                    kid(n->left, true);
                else
                    kids.push_back({nullptr, " []", false});
                if (n->right) kid(n->right);
            } else if (n->left || n->right) {
                kid(n->left);
                if (n->right) kid(n->right);
            }
            break;
        }
        kids.push_back({nullptr, ")", false});
        work_.insert(work_.end(), kids.rbegin(), kids.rend());
    }

    std::vector<Piece> work_;
    std::string out_;
};

} // namespace

std::string print_tree(const Node* n) {
    return Printer().run(n, false);
}

std::string print_context(const Context* c) {
    std::string out;
    for (const Node* s : c->stmts) {
        if (!out.empty()) out += ' ';
        out += print_tree(s);
    }
    return out;
}

} // namespace ruvo
