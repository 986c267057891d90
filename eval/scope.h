// Variables and scopes.
//
// The scope stack holds, innermost last: the global scope (entry 0), and for every active call
// the function's static table (kind 2) under the call's own scope (kind 0), with block scopes
// (kind 1) above them.  A block pushes an empty placeholder that becomes a kind-1 scope only
// when something is declared in it, so most blocks cost one push and one pop.
//
// A lookup walks the entries of the current call from the innermost outward and compares
// interned names as pointers; it never leaves the current call (the walk ends at the call's
// static table).  At top level the walk ends with the global scope, which is not searched:
// every atom points at its global variable directly.  `base` is the index of the current
// call's static table (0 at top level); each call scope remembers the base of its caller.
//
// Parameters live in slots: a call scope holds the symbols of its first kParamSlots
// parameters inside itself, in order, outside its list of declared symbols (find() looks at
// both), and a name node of a function's body that names one of its parameters carries the
// slot (see mark_param_slots), so reading it is an index instead of a walk.  The slot is right
// as long as nothing in the running call can shadow the parameter: the first block
// declaration of a name that has another symbol somewhere, or the first extern, turns the
// running call's slots off for the rest of the call (the name nodes then read the empty
// `no_slots` and resolve their names).
//
// The slots the parameters leave free belong to the names that the body's own `var`
// statements declare.  Such a slot stays empty (no name) until the name is declared in the
// call scope at run time (by that `var`, or by an assignment that creates the variable); then
// it is entered into the scope's list like any symbol, so lookups by name, the order of
// release and redeclaration are as for any other variable.  A name node that finds its slot
// empty resolves the name instead.
//
// Symbols and scopes come from free lists, so calls and blocks do not allocate once warm.
// A symbol's cell stays where it is until its scope is destroyed, and redeclaring a name in
// the same scope reuses the symbol (its value becomes null), so the address of a variable's
// cell taken by an assignment stays valid while the right side runs.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "core/atom.h"
#include "core/value.h"
#include "front/node.h"

namespace ruvo {

struct func_data;

// The version of the running call's symbols: what a name resolves to depends only on the
// symbols visible from where it is read, so a name node may keep the cell it found (a loop
// whose body declares nothing resolves its names once) until this changes.  Every call begins
// with a version of its own, never used before; a symbol added to or removed from the running
// call's scopes gives it a new one; when the call ends, its caller's version is back, because
// nothing a call does can change what its caller's names resolve to: a call declares only in
// its own scopes, and what it may add to a static table or to the global scope (the last
// places a walk looks) cannot hide a symbol the caller found.  Only a symbol found is ever
// kept, never the absence of one.
inline uint64_t symbols_epoch = 1;
// Where new versions come from.
inline uint64_t epoch_source = 1;
inline void fresh_epoch() { symbols_epoch = ++epoch_source; }


struct Symbol {
    Atom name = nullptr;
    bool is_extern = false; // an alias of the global variable of the same name
    bool in_slot = false;   // a local's slot of a call scope, not a free-list symbol
    Cell value;
    Symbol* next = nullptr;
};

// Parameters that get slots; a function with more finds the others by name.
inline constexpr uint32_t kParamSlots = 8;
// A name node's slot: the upper half of its `aux` holds (index + 1) * sizeof(Symbol), the
// distance from the call's parameters to the end of the slot's symbol (0: no slot).
inline constexpr uint32_t kAuxSlotShift = 16;

class SymMan {
public:
    enum Kind { Function = 0, Block = 1, Static = 2 };

    explicit SymMan(int k = Function) : kind(k) {}
    SymMan(const SymMan&) = delete;
    SymMan& operator=(const SymMan&) = delete;
    ~SymMan() { clear(); }

    Symbol* find(Atom name) const {
        for (Symbol* s = first; s; s = s->next)
            if (s->name == name) return s;
        for (uint32_t i = 0; i < nslots; ++i)
            if (slots_[i].name == name) return const_cast<Symbol*>(&slots_[i]);
        return nullptr;
    }
    // A fresh symbol (an old one of the same name is reused, its value null).
    [[gnu::always_inline]] Symbol* add(Atom name);
    // Releases every symbol (their values are released).  [visible]: the scope is one the
    // running call can see, whose end moves its version.
    void clear(bool visible = true);
    // Releases the first [n] parameter slots, in order (nslots is already 0: a destructor
    // that runs meanwhile finds none of them).
    [[gnu::always_inline]] void release_params(uint32_t n) {
        for (Symbol *p = slots_, *end = p + n; p != end; ++p) release_param(p);
    }
    // release_params() of a frame: one parameter, the commonest count, without a loop.
    [[gnu::always_inline]] void release_frame_params(uint32_t n) {
        if (n == 1)
            release_param(slots_);
        else
            release_params(n);
    }
    [[gnu::always_inline]] static void release_param(Symbol* p) {
        --p->name->locals;
        p->is_extern = false;
        p->value.set_null();
    }
    // The empty slot kept for local [name], or null.
    Symbol* local_slot(Atom name) {
        for (uint32_t i = nslots; i < nall; ++i)
            if (slot_names[i] == name) {
                slots_[i].in_slot = true;
                return &slots_[i];
            }
        return nullptr;
    }
    void mark() const;

    // Call scopes: the symbols of the first parameters, in order.
    Symbol* param(uint32_t i) { return &slots_[i]; }
    // Names the first [n] slots after the parameters [names]; the names from [n] to nall
    // are the locals that may take the remaining slots.
    void name_slots(const Atom* names, uint32_t n) {
        slot_names = names;
        for (uint32_t i = 0; i < n; ++i) slots_[i].name = names[i];
    }
    // A frame that one function keeps for its calls at one depth (func_data::frame): its
    // parameters are named once, when it is made, and keep their names between calls.
    void own_slots(const Atom* names, uint32_t n) {
        owned = true;
        name_slots(names, n);
    }
    // Opens [n] parameter slots that are named already, the first ones with the values
    // [args] (the others null); [all] counts them and the locals that may take slots.
    [[gnu::always_inline]] void fill_slots(uint32_t n, uint32_t all, std::span<const Value> args) {
        nslots = n;
        nall = all;
        for (uint32_t i = 0; i < n; ++i) {
            ++slots_[i].name->locals;
            if (i < args.size()) slots_[i].value.set_fresh(args[i]);
        }
    }
    // The same for slots that hold their values already, with transient counts that
    // become the slots' own (see FillingFrame).
    [[gnu::always_inline]] void open_filled(uint32_t n, uint32_t all) {
        nslots = n;
        nall = all;
        if (n == 1) { // the commonest count, without a loop
            open_filled_slot(slots_[0]);
            return;
        }
        for (uint32_t i = 0; i < n; ++i) open_filled_slot(slots_[i]);
    }
    [[gnu::always_inline]] static void open_filled_slot(Symbol& s) {
        ++s.name->locals;
        s.value.settle();
    }

    int kind;
    Symbol* first = nullptr;
    Symbol* last = nullptr;
    uint64_t saved_epoch = 0;     // call scopes: the caller's symbols_epoch
    uint32_t saved_base = 0;      // call scopes: the caller's base
    Symbol* saved_params = nullptr; // call scopes: the caller's parameter slots
    SymMan* next_free = nullptr;    // the pool's free list
    uint32_t nslots = 0;            // call scopes: the parameters in slots
    uint32_t nall = 0;              // call scopes: parameters and locals that have slots
    const Atom* slot_names = nullptr;
    bool is_global = false;
    bool owned = false; // kept by a function for its calls (func_data::frame), never pooled

private:
    Symbol slots_[kParamSlots];
};

// The entries of the scope stack: a vector of scope pointers whose count is a field of its
// own (the recursion limit reads it at every call) and which takes a call's two entries with
// one check of its room.
class ScopeEntries {
public:
    ScopeEntries() = default;
    ScopeEntries(const ScopeEntries&) = delete;
    ScopeEntries& operator=(const ScopeEntries&) = delete;
    ~ScopeEntries() { delete[] data_; }

    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    SymMan*& operator[](size_t i) { return data_[i]; }
    SymMan* operator[](size_t i) const { return data_[i]; }
    SymMan*& back() { return data_[size_ - 1]; }
    SymMan* back() const { return data_[size_ - 1]; }
    SymMan* const* begin() const { return data_; }
    SymMan* const* end() const { return data_ + size_; }
    void push_back(SymMan* s) {
        if (size_ == capacity_) [[unlikely]]
            grow();
        data_[size_++] = s;
    }
    void push_two(SymMan* a, SymMan* b) {
        if (capacity_ - size_ < 2) [[unlikely]]
            grow();
        data_[size_] = a;
        data_[size_ + 1] = b;
        size_ += 2;
    }
    void pop_back() { --size_; }

private:
    void grow(); // at least two more
    SymMan** data_ = nullptr;
    size_t size_ = 0;
    size_t capacity_ = 0;
};

struct ScopeStack {
    ScopeEntries entries; // null: a block placeholder
    uint32_t base = 0;            // index of the current call's static table; 0 at top level
    Symbol* params = nullptr;     // the slots of the current call, or no_slots
    uint32_t quiet = 0;           // open blocks that have no entry (see eval/quiet.cpp)
    bool strict = false;

    void pushGlobalScope();
    void enterFunction(func_data* f);
    // A call of an overload whose static table is [statics] (made here on the first call)
    // and whose first parameters [slot_names] live in slots, given the values [args] (the
    // parameters without an argument are null).
    [[gnu::always_inline]] SymMan* enterCall(SymMan*& statics, const Atom* slot_names = nullptr,
                                             uint32_t nslots = 0, uint32_t nall = 0,
                                             std::span<const Value> args = {});
    void pushBlock() { entries.push_back(nullptr); }
    // Closing a block that declared nothing only drops its placeholder.
    [[gnu::always_inline]] void popScope() {
        if (!entries.empty() && !entries.back())
            entries.pop_back();
        else
            popScopeSlow();
    }
    // enterCall() for a call in a frame of the function's own (SymMan::owned), whose static
    // table exists and whose parameters are named already.
    [[gnu::always_inline]] void enterFrame(SymMan* statics, SymMan* call, uint32_t nslots,
                                           uint32_t nall, std::span<const Value> args);
    // enterFrame() for a frame whose parameter slots have been given their arguments
    // already.
    [[gnu::always_inline]] void enterFilled(SymMan* statics, SymMan* call, uint32_t nslots,
                                            uint32_t nall) {
        enter_common(statics, call);
        call->open_filled(nslots, nall);
    }
    // Ends the call whose scope [call] is the innermost entry: drops it and the static
    // table beneath it.
    [[gnu::always_inline]] void leaveCall(SymMan* call);
    // The end of the call whose scope is [call]: the body closes what it opens, so the
    // call's own entries are on top again (a scope object is on the stack at most once).
    [[gnu::always_inline]] void endCall(SymMan* call) {
        if (entries.back() == call)
            leaveCall(call);
        else
            popScope();
    }
    size_t scopeDepth() const { return entries.size(); }
    // What the recursion limit counts: every open block and two entries a call.
    size_t countedDepth() const { return entries.size() + quiet; }
    void restoreDepth(size_t d);
    void popAll() { restoreDepth(0); }

    // kind 1: innermost entry; kind 0 / 2: nearest scope of that kind, else the global scope.
    Cell* declare(Atom name, int kind);
    bool declareExtern(Atom name);
    Cell* declareGlobal(Atom name);
    Cell* lookup(Atom name) {
        if (name->locals == 0) return base == 0 && name->global ? &name->global->value : nullptr;
        for (size_t i = entries.size(); i-- > base;) {
            if (i == 0) break;
            if (SymMan* s = entries[i])
                if (Symbol* y = s->find(name)) return y->is_extern ? global_cell(name) : &y->value;
        }
        if (base == 0 && name->global) return &name->global->value;
        return nullptr;
    }
    // The cell of name node [n]'s slot in the running call, or null: no slot, slots turned
    // off, or a local not declared yet (found by name instead).
    [[gnu::always_inline]] Cell* slot_cell(const Node* n) const {
        uint32_t end = n->aux >> kAuxSlotShift;
        if (!end) return nullptr;
        Symbol* p = reinterpret_cast<Symbol*>(reinterpret_cast<char*>(params) + end) - 1;
        return p->name ? &p->value : nullptr;
    }
    // lookup() of an identifier node, through its parameter slot or the node's cache.
    [[gnu::always_inline]] Cell* lookup(Node* n) {
        Atom name = n->name();
        if (name->locals == 0) return base == 0 && name->global ? &name->global->value : nullptr;
        // A parameter: the cache belongs to one call, the slot to every call.
        if (Cell* c = slot_cell(n)) return c;
        if (n->cache_epoch == symbols_epoch) return static_cast<Cell*>(n->cache);
        Cell* c = lookup(name);
        if (c) {
            n->cache = c;
            n->cache_epoch = symbols_epoch;
        }
        return c;
    }
    Cell* lookupGlobal(Atom name) const { return name->global ? &name->global->value : nullptr; }
    Cell* lookupOrDeclare(Atom name) {
        Cell* c = lookup(name);
        return c ? c : declare(name, 0);
    }
    bool declaredInInnermost(Atom name) const;
    bool staticDeclared(Atom name) const;
    void markRoots() const;

private:
    [[gnu::always_inline]] void enter_common(SymMan* statics, SymMan* call);
    void popScopeSlow();
    Cell* global_cell(Atom name); // the global variable, created (null) when absent
    void drop_top();
};

extern ScopeStack scopes;

// The slots of a call whose slots are off: never named, so every read resolves by name.
inline Symbol no_slots[kParamSlots];

// The frame of a call whose arguments are being computed straight into its parameter slots,
// from first to last.  The frame is not on the scope stack while they are (the arguments
// belong to the caller's scope), so each slot keeps the transient count of the value it took,
// which the collector takes for a root, until the frame opens (SymMan::open_filled).  Should
// an error end an argument, the values computed are given up, the last first.
struct FillingFrame {
    explicit FillingFrame(SymMan* f) : frame(f) {}
    ~FillingFrame() {
        if (filled) [[unlikely]]
            release();
    }
    FillingFrame(const FillingFrame&) = delete;
    FillingFrame& operator=(const FillingFrame&) = delete;
    [[gnu::always_inline]] void push(Value&& v) {
        frame->param(filled)->value.take_transient(v);
        ++filled;
    }
    // The values go on with the frame, or with whoever took them.
    void done() { filled = 0; }
    void release();

    SymMan* frame;
    uint32_t filled = 0;
};

// A block without an entry, counted while it is open (also when an error leaves it).
struct QuietBlock {
    QuietBlock() { ++scopes.quiet; }
    ~QuietBlock() { --scopes.quiet; }
    QuietBlock(const QuietBlock&) = delete;
    QuietBlock& operator=(const QuietBlock&) = delete;
};

// Reusable storage for symbols and scopes: chunks are never returned, symbols and scopes are
// reused.  Inline, because every call and every block that declares goes through it.
struct ScopePools {
    Symbol* free_symbols = nullptr;
    SymMan* free_scopes = nullptr; // through next_free
    std::vector<std::unique_ptr<Symbol[]>> symbol_chunks;
    ~ScopePools();
    void grow_symbols();
};
extern ScopePools scope_pools;

inline Symbol* alloc_symbol() {
    ScopePools& p = scope_pools;
    if (!p.free_symbols) p.grow_symbols();
    Symbol* s = p.free_symbols;
    p.free_symbols = s->next;
    s->next = nullptr;
    return s;
}

inline void free_symbol(Symbol* s) {
    s->value.set_null();
    s->name = nullptr;
    s->is_extern = false;
    s->next = scope_pools.free_symbols;
    scope_pools.free_symbols = s;
}

inline SymMan* alloc_scope(int kind) {
    ScopePools& p = scope_pools;
    SymMan* s = p.free_scopes;
    if (!s) return new SymMan(kind);
    p.free_scopes = s->next_free;
    s->kind = kind;
    s->saved_base = 0;
    s->is_global = false;
    return s;
}

// The scope goes back to the pool after its values are released: a destructor that runs
// script code meanwhile takes other scopes.
inline void free_scope(SymMan* s, bool visible = true) {
    s->clear(visible);
    if (s->owned) return;
    s->next_free = scope_pools.free_scopes;
    scope_pools.free_scopes = s;
}

inline Symbol* SymMan::add(Atom name) {
    fresh_epoch();
    if (kind == Block && name->locals > 0) scopes.params = no_slots;
    Symbol* s = is_global ? name->global : find(name);
    if (s) {
        s->value.set_null();
        s->is_extern = false;
        return s;
    }
    s = nall > nslots ? local_slot(name) : nullptr;
    if (!s) s = alloc_symbol();
    s->name = name;
    if (!is_global) ++name->locals;
    if (last)
        last->next = s;
    else
        first = s;
    last = s;
    if (is_global) name->global = s;
    return s;
}

inline void SymMan::clear(bool visible) {
    // Unlink first: releasing a value may run destructors that look at variables.  The
    // parameters go first, in order, then the declared symbols in the order of declaration.
    Symbol* s = first;
    uint32_t n = nslots;
    if (visible && (s || n)) fresh_epoch();
    first = last = nullptr;
    nslots = 0;
    release_params(n);
    while (s) {
        Symbol* n = s->next;
        if (!is_global)
            --s->name->locals;
        else if (s->name->global == s)
            s->name->global = nullptr;
        if (s->in_slot) {
            s->value.set_null();
            s->name = nullptr;
            s->is_extern = false;
            s->in_slot = false;
            s->next = nullptr;
        } else {
            free_symbol(s);
        }
        s = n;
    }
    nall = 0;
}

inline SymMan* ScopeStack::enterCall(SymMan*& statics, const Atom* slot_names,
                                     uint32_t nslots, uint32_t nall,
                                     std::span<const Value> args) {
    if (!statics) statics = new SymMan(SymMan::Static);
    SymMan* call = alloc_scope(SymMan::Function);
    call->name_slots(slot_names, nslots);
    enterFrame(statics, call, nslots, nall, args);
    return call;
}

inline void ScopeStack::enterFrame(SymMan* statics, SymMan* call, uint32_t nslots,
                                   uint32_t nall, std::span<const Value> args) {
    enter_common(statics, call);
    call->fill_slots(nslots, nall, args);
}

inline void ScopeStack::enter_common(SymMan* statics, SymMan* call) {
    uint32_t d = static_cast<uint32_t>(entries.size());
    call->saved_epoch = symbols_epoch;
    fresh_epoch();
    call->saved_base = base;
    call->saved_params = params;
    base = d;
    params = call->param(0);
    entries.push_two(statics, call);
}

inline void ScopeStack::leaveCall(SymMan* call) {
    entries.pop_back();
    entries.pop_back();
    base = call->saved_base;
    params = call->saved_params;
    symbols_epoch = call->saved_epoch; // the caller sees its own symbols again
    if (call->first) return free_scope(call, false);
    // Only parameters: released in order, as clear() would, off the stack already.
    uint32_t n = call->nslots;
    call->nslots = 0;
    call->nall = 0;
    if (call->owned) return call->release_frame_params(n);
    call->release_params(n);
    call->next_free = scope_pools.free_scopes;
    scope_pools.free_scopes = call;
}

// Pops one entry; a static table is dropped, not destroyed (its func_data owns it).
inline void ScopeStack::drop_top() {
    SymMan* s = entries.back();
    entries.pop_back();
    if (!s || s->kind == SymMan::Static) return;
    if (s->kind == SymMan::Function && !entries.empty()) {
        base = s->saved_base;
        params = s->saved_params;
        fresh_epoch(); // the caller sees its own symbols again (an error ended the call)
    }
    if (s->is_global)
        s->clear(), delete s;
    else
        free_scope(s);
}

// Leaving a call also drops the call's static table beneath its scope.
inline void ScopeStack::popScopeSlow() {
    if (entries.empty()) return;
    SymMan* s = entries.back();
    bool call = s && s->kind == SymMan::Function && entries.size() > 1;
    drop_top();
    if (call && !entries.empty() && entries.back() && entries.back()->kind == SymMan::Static)
        entries.pop_back();
}

} // namespace ruvo
