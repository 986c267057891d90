// Native functions bound by signature: `dllfunc(module, signature)` and the `VDllFunc` objects
// it makes.
//
// A signature such as "double __cdecl pow(double double)" is parsed once into a
// `dllfunc_info` (the exported name, the convention, the result type and the parameter types)
// and turned into a libffi call interface kept in the object.  Every call resolves the function
// again by module and name (dlopen with RTLD_NOLOAD, else a load; then dlsym), converts the
// script arguments into C values of the declared types, calls through libffi with the
// platform's C convention and converts the result back.  Both conventions of the signature
// language mean that one convention here.
//
// The argument copies ("string", "wstring", "binary") live for the call only; a "binary"
// buffer's bytes are written back into the string object the argument holds, so every holder
// of that string sees them, and the string keeps its length.  Nothing guards the native
// function itself: what it does with its arguments is the script's own doing.
#pragma once

#include <ffi.h>

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/value.h"
#include "eval/context.h"

namespace ruvo {

// Type codes of the signature language.
enum DllType : int32_t {
    DT_UINT = 1,    // "uint", "ulong"
    DT_USHORT = 2,  // "ushort"
    DT_UCHAR = 3,   // "uchar"
    DT_INT = 4,     // "int", "long"
    DT_SHORT = 5,   // "short"
    DT_CHAR = 6,    // "char"
    DT_FLOAT = 7,   // "float"
    DT_DOUBLE = 8,  // "double"
    DT_STRING = 9,  // "string"
    DT_WSTRING = 10, // "wstring"
    DT_VOID = 11,   // "void"
    DT_BINARY = 12, // "binary"
    DT_CDECL = 13,  // "__cdecl"
    DT_STDCALL = 14, // "__stdcall"
};

// One declared type: its code and whether it names the 64-bit C long ("long", "ulong"),
// which shares the code of "int" and "uint" but is passed and read as a long.
struct dll_type {
    int32_t code = DT_INT;
    bool wide = false;
    bool operator==(const dll_type&) const = default;
};

// Parameters a signature may declare besides "void"; more make the definition bad.
inline constexpr size_t kMaxDllParams = 64;

// A parsed signature.
struct dllfunc_info {
    std::string function;         // the exported name
    int32_t convention = DT_CDECL; // DT_CDECL or DT_STDCALL
    dll_type result;              // any code of 1-12
    // The parameter types in declaration order, "void" left out: a void parameter passes
    // nothing and takes no script argument, so the size is the script argument count.
    std::vector<dll_type> params;
};

// Parses a signature; false for a bad one.  Never reads past the text, whatever it holds.
bool parse_dll_signature(std::string_view signature, dllfunc_info& out);

// The address of `function` in `module`, loading the module when the process has not loaded
// it yet; null when either cannot be found (or a name holds a NUL byte).
void* resolve_dll_symbol(const std::string& module, const std::string& function);

class VDllFunc final : public VRef {
public:
    // The call interface is prepared by make_dllfunc(); an object made otherwise is not callable.
    VDllFunc(std::string module, dllfunc_info info);
    const char* type_name() const override { return "dllfunc"; }

    std::string module;
    dllfunc_info info;
    bool prepared = false; // `cif` describes `info`
    std::vector<ffi_type*> arg_types;
    ffi_cif cif;
};

// A new VDllFunc for a parsed signature, with its call interface prepared; null when libffi
// cannot describe it.  Installs the evaluator's hook for calling such objects.
Value make_dllfunc(std::string module, dllfunc_info info);

// Calls a VDllFunc with the script's arguments: "Incorrect argument count for DLL function"
// when their number differs from the declared parameters.  A function that cannot be resolved
// again makes no call and yields -1 for numeric result types, null for the others.
Value call_dllfunc(VContext& ctx, int line, VRef* fn, std::span<Value> args);

} // namespace ruvo
