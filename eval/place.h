// Places: the evaluator's handle on a storage location, for everything that reads a location,
// computes, and writes it back (compound assignments, ++/--, swap, let), and for reads of
// variables, elements and hash members, and for the properties, method results and items of
// automation objects.
//
// A place never keeps a raw element address across script code.  A variable's cell is stable
// (scopes reuse symbols and free them only when the scope goes).  An array element is kept as
// its index and re-fetched at every access, because the right side of `a[0] += f()` may grow
// the array and move its storage.  A hash entry is kept with the hash's erasure epoch and
// re-found by key when an entry was erased meanwhile.  The holder keeps the container alive.
#pragma once

#include <string_view>

#include "core/value.h"
#include "eval/context.h"
#include "front/node.h"

namespace ruvo {

class VArray;
class VHash;

struct Place {
    enum Kind : uint8_t { Empty, Var, Elem, Entry, Com };
    // Com: a property `key` (read by a property get, written by a put), a method result
    // (`key_holder` holds the result, then the arguments, which index the put of a write),
    // or item `index` of a collection (read-only).
    enum ComKind : uint8_t { ComProperty, ComResult, ComItem };

    Kind kind = Empty;
    ComKind com = ComProperty;
    int32_t index = 0;    // Elem: the element's index; Com: the item's
    uint32_t epoch = 0;   // Entry: the hash's epoch when `cell` was found
    int32_t line = 0;     // Com: the line of the access, for the errors of a read or write
    Cell* cell = nullptr; // Var: the variable; Entry: the entry's value as last found
    Value holder;         // Elem, Entry: the container; Com: the object
    Value key_holder;     // Entry: keeps the bytes of `key` alive when they come from a value
    std::string_view key; // Entry: the key; Com: the member name

    // The current cell, or null for an empty place.  `line` is for an element that vanished
    // ("Array range error index:=%d").
    Cell* target(int line);
    Value read(int line) {
        Cell* c = target(line);
        if (c) return Value(*c);
        return kind == Com ? read_com() : Value();
    }
    // Stores a copy; an element that vanished is created again, an empty place ignores it.
    void write(const CellData& v);

private:
    Value read_com();
    void write_com(const CellData& v);
};

// The place an identifier, OP_INDEX, OP_MEMBER or member-call node denotes.  An identifier
// falls back to the global scope only when `allow_global` is set.
void getPlace(Node* n, bool allow_global, Place& p, VContext& ctx);
// Stores v into what the node denotes (evaluating its index and object), and yields v.
Value assign(Node* n, Value v, VContext& ctx);

} // namespace ruvo
