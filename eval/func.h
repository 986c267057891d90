// The function table.
//
// A name maps to a `FuncInfo`, the set of its overloads told apart by argument count; each
// overload is a `func_data`: a built-in handler, or a script function's parameter list and
// body.  FuncInfo is reference counted: the table holds one reference, every function
// reference value (`VFuncRef`) and every function-definition node holds one more, and the last
// release destroys it with its overloads.  Every live FuncInfo is also on one list, so that the
// collector can mark the static variables of functions that are not in the table (functions
// defined inside blocks).
#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/atom.h"
#include "core/value.h"
#include "front/node.h"

namespace ruvo {

struct VContext;
class SymMan;

// The built-in calling convention: the caller's context (passed on when calling script code
// back), the line of the call, the arguments in call order, and the result cell, preset to
// null.  Failures are raised, never returned.
using BuiltinHandler = void (*)(VContext& ctx, int line, std::span<Value> args, Value& result);

// One registration of a built-in, as the families list them ({"len", 1, bi_len}).  The name's
// length and atom hash are computed when the program is compiled.
struct BuiltinDef {
    consteval BuiltinDef(const char* n, int c, BuiltinHandler h, bool b = false)
        : name(n), count(c), handler(h), len(static_cast<uint32_t>(std::string_view(n).size())),
          hash(atom_hash(n)), borrows(b) {}

    const char* name;
    int count; // -1: any number of arguments
    BuiltinHandler handler;
    uint32_t len;
    uint32_t hash;
    bool borrows; // see func_data::borrows
};

// The mark of a registration whose handler may borrow its arguments (func_data::borrows).
inline constexpr bool kBorrowsArgs = true;

struct func_data {
    func_data() = default;
    func_data(const func_data&) = delete;
    func_data& operator=(const func_data&) = delete;
    ~func_data();

    bool builtin = false;
    BuiltinHandler handler = nullptr;
    Node* params = nullptr;    // first parameter identifier, chained through next; owned
    Node* body = nullptr;      // the OP_BLOCK body; owned
    SymMan* statics = nullptr; // made on the first call, owned
    int32_t argc = 0;          // parameters, or the registered count; -1: any number
    // Calls of this overload now running.  An overload replaced while it runs (eval() of a
    // new definition inside the function itself) is retired instead of destroyed, because
    // its body and static table are still in use; see retire_overload().
    int32_t active = 0;
    // A built-in of the vocabulary: it lives in storage the registration keeps for the
    // whole process and is never destroyed.
    bool pooled = false;
    // A built-in that runs no script code, writes no variable, releases nothing the script
    // holds and leaves its argument values as they are (no move, no assignment): an argument
    // that is a variable may be passed as it lies in the variable's cell, without a count of
    // its own, since nothing can change that cell before the handler returns.
    bool borrows = false;
    // Script functions: whether the parameters are in slots (at most kParamSlots, no name
    // twice) and the body's name nodes know them; decided on the first call.  The slots left
    // over go to names that the body's own `var` statements declare (see eval/scope.h).
    enum : int8_t { SlotsUnknown, NoSlots, Slots } slots = SlotsUnknown;
    uint8_t nslots = 0;         // Slots: the parameters, named in slot_names
    uint8_t nall = 0;           // Slots: the parameters and then the body's own locals
    Atom slot_names[8] = {};
    // Script functions: the body's statements but the empty ones, set with the slots.
    std::vector<Node*> body_stmts;
    Node* const* body_begin = nullptr;
    Node* const* body_end = nullptr;
    // Slots: the frames of the calls now running, by depth (the call that finds `active` at
    // n runs in frames[n - 1]); a frame stays for the next call at its depth.
    SymMan** frames = nullptr;
    uint32_t nframes = 0;
    uint32_t frames_room = 0;
    // The frame for the call at depth [d] (d < active), made when first needed.
    [[gnu::always_inline]] SymMan* frame(uint32_t d) {
        return d < nframes ? frames[d] : add_frame();
    }
    SymMan* add_frame(); // one more depth
};

// Moves whenever the function table changes: an overload added or replaced, a name entered,
// the table cleared.  A call site keeps the overload it resolved while this stays.
inline uint64_t functions_version = 1;

// Destroys f now, or, while it is running, keeps it until purge_retired_overloads().
void retire_overload(func_data* f);

// Counts an overload as running for the guard's lifetime, also when an error leaves it.  A
// call holds one; so does a built-in that calls one overload back many times (sort, map),
// because a callback may redefine that very function (eval of a new definition).
struct ActiveCall {
    explicit ActiveCall(func_data* f) : f_(f) { ++f_->active; }
    ~ActiveCall() { --f_->active; }
    ActiveCall(const ActiveCall&) = delete;
    ActiveCall& operator=(const ActiveCall&) = delete;
    func_data* f_;
};
// Destroys the retired overloads; the outermost run unit calls it when no script code runs.
void purge_retired_overloads();

// The overloads of one name, in insertion order.  Most names have one or two, kept inside the
// list itself; more move to the heap.
class OverloadList {
public:
    OverloadList() = default;
    OverloadList(const OverloadList&) = delete;
    OverloadList& operator=(const OverloadList&) = delete;
    ~OverloadList() {
        if (data_ != inline_) delete[] data_;
    }

    func_data** begin() const { return data_; }
    func_data** end() const { return data_ + size_; }
    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    func_data* operator[](size_t i) const { return data_[i]; }
    void push_back(func_data* f);
    void erase(func_data** at);

private:
    static constexpr uint32_t kInline = 2;
    func_data* inline_[kInline] = {};
    func_data** data_ = inline_;
    uint32_t size_ = 0;
    uint32_t capacity_ = kInline;
};

struct FuncInfo {
    explicit FuncInfo(Atom n);
    FuncInfo(const FuncInfo&) = delete;
    FuncInfo& operator=(const FuncInfo&) = delete;
    ~FuncInfo();

    void addref() { ++refs; }
    void release();
    // Adds an overload; one with the same count is replaced (and destroyed).
    void add(func_data* f);
    // Exact count first, then the last any-count overload, else null.
    func_data* select(int count) const {
        func_data* any = nullptr;
        for (func_data* f : overloads) {
            if (f->argc == count) return f;
            if (f->argc < 0) any = f;
        }
        return any;
    }
    // Marks the objects held in the static tables of every overload.
    void mark_statics() const;

    Atom name;
    OverloadList overloads;
    int32_t refs = 0;
    bool pooled = false; // made by the vocabulary's registration; see FuncMan::registerBuiltins
    FuncInfo* live_prev = nullptr; // the list of every live FuncInfo
    FuncInfo* live_next = nullptr;
};

class FuncMan {
public:
    void registerBuiltin(std::string_view name, int count, BuiltinHandler handler);
    // Registers a family of built-ins in order.  Its records and name entries come from
    // storage kept for the whole process, so this allocates nothing per registration.
    void registerBuiltins(std::span<const BuiltinDef> family);
    void defineFunction(Atom name, func_data* f);
    FuncInfo* findFunction(Atom name) const { return name->func; }
    FuncInfo* findFunction(std::string_view name) const { return intern(name)->func; }
    // -1 without a callable main; 1 when it takes one argument (or any); else 0 when it takes
    // none; else -1.
    int mainArity() const;
    void clearFunctions();
    // Marks the statics of every live FuncInfo (in the table or held by references).
    void markAll() const;
    size_t size() const { return table_.size(); }
    // The table in name order, for tests and listings.
    std::map<std::string, FuncInfo*, std::less<>> table() const;

private:
    void enter(FuncInfo* info); // a new entry, held by the table
    std::vector<FuncInfo*> table_; // in order of definition; a name appears once
};

extern FuncMan funcman;

} // namespace ruvo
