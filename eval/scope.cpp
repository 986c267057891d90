#include "eval/scope.h"

#include <algorithm>
#include <memory>

#include "eval/func.h"

namespace ruvo {

// Defined before `scopes`, so that it outlives it.
ScopePools scope_pools;
ScopeStack scopes;

ScopePools::~ScopePools() {
    while (SymMan* s = free_scopes) {
        free_scopes = s->next_free;
        delete s;
    }
}

void ScopePools::grow_symbols() {
    constexpr size_t n = 256;
    auto chunk = std::make_unique<Symbol[]>(n);
    for (size_t i = 0; i < n; ++i) {
        chunk[i].next = free_symbols;
        free_symbols = &chunk[i];
    }
    symbol_chunks.push_back(std::move(chunk));
}

void ScopeEntries::grow() {
    size_t capacity = capacity_ < 32 ? 64 : capacity_ * 2;
    auto* data = new SymMan*[capacity];
    std::copy(data_, data_ + size_, data);
    delete[] data_;
    data_ = data;
    capacity_ = capacity;
}

void SymMan::mark() const {
    for (Symbol* s = first; s; s = s->next)
        if (VRef* o = s->value.obj()) o->mark();
    for (uint32_t i = 0; i < nslots; ++i)
        if (VRef* o = slots_[i].value.obj()) o->mark();
}

void ScopeStack::pushGlobalScope() {
    SymMan* g = alloc_scope(SymMan::Function);
    if (entries.empty()) g->is_global = true;
    entries.push_back(g);
}

void ScopeStack::enterFunction(func_data* f) {
    enterCall(f->statics);
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
    params = no_slots; // a parameter made extern reads the global variable
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

void FillingFrame::release() {
    for (uint32_t i = filled; i > 0; --i) frame->param(i - 1)->value.drop_transient();
    filled = 0;
}

void ScopeStack::markRoots() const {
    for (SymMan* s : entries)
        if (s) s->mark();
    funcman.markAll();
}

} // namespace ruvo
