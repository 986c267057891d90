// Interned names.  Every identifier of a script (variables, functions, hash members of
// struct literals) is interned once, when the scanner builds its leaf node; afterwards names
// are compared as pointers and a lookup never touches their bytes or allocates.  An atom
// lives for the whole process.  The evaluator keeps per-name shortcuts in the atom (the
// global variable and the function table entry of that name), so that resolving a global
// name or a function is one load.
//
// The names of the built-ins are known when the program is compiled: their hash is computed
// then (atom_hash is constexpr) and their atoms point at the string literals, so entering the
// vocabulary at start-up costs one probe per name and no copy.
#pragma once

#include <cstdint>
#include <string_view>

namespace ruvo {

struct Symbol;
struct FuncInfo;

struct AtomData {
    std::string_view text() const { return {chars, len}; }

    const char* chars; // the name's bytes (Shift_JIS), NUL-terminated for convenience
    uint32_t len;
    uint32_t hash;
    mutable Symbol* global = nullptr; // the global variable of this name, if declared
    mutable FuncInfo* func = nullptr; // the function table entry of this name, if any
    // Symbols of this name in scopes other than the global one (blocks, calls, statics).
    // While it is 0, a lookup goes straight to the global variable.
    mutable uint32_t locals = 0;
};

using Atom = const AtomData*;

// FNV-1a over the name's bytes.
constexpr uint32_t atom_hash(std::string_view s) {
    uint32_t h = 2166136261u;
    for (char c : s) h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
    return h;
}

// The atom of a name; the same pointer for equal bytes.
Atom intern(std::string_view name);
// intern() of a name whose bytes live as long as the process (a string literal, NUL after
// the last byte) and whose atom_hash is [hash]: a new atom points at those bytes.
Atom intern_static(const char* chars, uint32_t len, uint32_t hash);

} // namespace ruvo
