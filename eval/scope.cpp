#include "eval/scope.h"

#include <memory>

#include "eval/func.h"

namespace ruvo {

namespace {

// Free lists: chunks are never returned, nodes are reused.
struct Pools {
    std::vector<std::unique_ptr<Symbol[]>> symbol_chunks;
    Symbol* free_symbols = nullptr;
    std::vector<SymMan*> free_scopes;
    ~Pools() {
        for (SymMan* s : free_scopes) delete s;
    }
};

// Defined before `scopes`, so that it outlives it; a plain object, because every call and
// block goes through it.
Pools the_pools;
inline Pools& pools() {
    return the_pools;
}

} // namespace

ScopeStack scopes;

Symbol* alloc_symbol() {
    Pools& p = pools();
    if (!p.free_symbols) {
        constexpr size_t n = 256;
        auto chunk = std::make_unique<Symbol[]>(n);
        for (size_t i = 0; i < n; ++i) {
            chunk[i].next = p.free_symbols;
            p.free_symbols = &chunk[i];
        }
        p.symbol_chunks.push_back(std::move(chunk));
    }
    Symbol* s = p.free_symbols;
    p.free_symbols = s->next;
    s->next = nullptr;
    return s;
}

void free_symbol(Symbol* s) {
    s->value.set_null();
    s->name = nullptr;
    s->is_extern = false;
    Pools& p = pools();
    s->next = p.free_symbols;
    p.free_symbols = s;
}

SymMan* alloc_scope(int kind) {
    Pools& p = pools();
    if (p.free_scopes.empty()) return new SymMan(kind);
    SymMan* s = p.free_scopes.back();
    p.free_scopes.pop_back();
    s->kind = kind;
    s->saved_base = 0;
    s->is_global = false;
    return s;
}

void free_scope(SymMan* s) {
    s->clear();
    pools().free_scopes.push_back(s);
}

Symbol* SymMan::add(Atom name) {
    Symbol* s = is_global ? name->global : find(name);
    if (s) {
        s->value.set_null();
        s->is_extern = false;
        return s;
    }
    s = alloc_symbol();
    s->name = name;
    if (last)
        last->next = s;
    else
        first = s;
    last = s;
    if (is_global) name->global = s;
    return s;
}

void SymMan::clear() {
    // Unlink first: releasing a value may run destructors that look at variables.
    Symbol* s = first;
    first = last = nullptr;
    while (s) {
        Symbol* n = s->next;
        if (is_global && s->name->global == s) s->name->global = nullptr;
        free_symbol(s);
        s = n;
    }
}

void SymMan::mark() const {
    for (Symbol* s = first; s; s = s->next)
        if (VRef* o = s->value.obj()) o->mark();
}

void ScopeStack::pushGlobalScope() {
    SymMan* g = alloc_scope(SymMan::Function);
    if (entries.empty()) g->is_global = true;
    entries.push_back(g);
}

void ScopeStack::enterFunction(func_data* f) {
    if (!f->statics) f->statics = new SymMan(SymMan::Static);
    uint32_t d = static_cast<uint32_t>(entries.size());
    entries.push_back(f->statics);
    SymMan* call = alloc_scope(SymMan::Function);
    call->saved_base = base;
    base = d;
    entries.push_back(call);
}

// Pops one entry; a static table is dropped, not destroyed (its func_data owns it).
void ScopeStack::drop_top() {
    SymMan* s = entries.back();
    entries.pop_back();
    if (!s || s->kind == SymMan::Static) return;
    if (s->kind == SymMan::Function && !entries.empty()) base = s->saved_base;
    if (s->is_global)
        s->clear(), delete s;
    else
        free_scope(s);
}

void ScopeStack::popScopeSlow() {
    if (entries.empty()) return;
    SymMan* s = entries.back();
    bool call = s && s->kind == SymMan::Function && entries.size() > 1;
    drop_top();
    if (call && !entries.empty() && entries.back() && entries.back()->kind == SymMan::Static)
        entries.pop_back();
}

void ScopeStack::restoreDepth(size_t d) {
    while (entries.size() > d) drop_top();
    if (entries.empty()) base = 0;
}

Cell* ScopeStack::declare(Atom name, int kind) {
    if (entries.empty()) pushGlobalScope();
    SymMan* target = nullptr;
    if (kind == SymMan::Block) {
        SymMan*& top = entries.back();
        if (!top) top = alloc_scope(SymMan::Block);
        target = top;
    } else {
        for (size_t i = entries.size(); i-- > 0;)
            if (entries[i] && entries[i]->kind == kind) {
                target = entries[i];
                break;
            }
        if (!target) target = entries[0];
    }
    return &target->add(name)->value;
}

bool ScopeStack::declareExtern(Atom name) {
    if (entries.size() < 2) return false;
    SymMan*& top = entries.back();
    if (!top) top = alloc_scope(SymMan::Block);
    top->add(name)->is_extern = true;
    return true;
}

Cell* ScopeStack::declareGlobal(Atom name) {
    if (entries.empty()) pushGlobalScope();
    return &entries[0]->add(name)->value;
}

Cell* ScopeStack::global_cell(Atom name) {
    if (name->global) return &name->global->value;
    return declareGlobal(name);
}

bool ScopeStack::declaredInInnermost(Atom name) const {
    if (entries.empty() || !entries.back()) return false;
    const SymMan* s = entries.back();
    if (s->is_global) return name->global != nullptr;
    return s->find(name) != nullptr;
}

bool ScopeStack::staticDeclared(Atom name) const {
    if (entries.size() < 2) return name->global != nullptr;
    for (size_t i = entries.size(); i-- > 0;)
        if (entries[i] && entries[i]->kind == SymMan::Static) return entries[i]->find(name);
    return false;
}

void ScopeStack::markRoots() const {
    for (SymMan* s : entries)
        if (s) s->mark();
    funcman.markAll();
}

} // namespace ruvo
