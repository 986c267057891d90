// The built-in vocabulary.  Each family of built-ins (one source file each) lists its
// registrations in a table; `register_builtins` enters every family into the function table
// in the order of the vocabulary: the core library, the graphics functions, the native DLL
// bridge, the COM functions.
#pragma once

#include <span>
#include <string_view>

#include "eval/func.h"

namespace ruvo {

// One accessor per family, defined in the family's file (lib/strings.cpp: string_builtins).
std::span<const BuiltinDef> core_builtins();
std::span<const BuiltinDef> regexp_builtins();
std::span<const BuiltinDef> deepcopy_builtins();
std::span<const BuiltinDef> conversion_builtins();
std::span<const BuiltinDef> array_builtins();
std::span<const BuiltinDef> string_builtins();
std::span<const BuiltinDef> math_builtins();
std::span<const BuiltinDef> encoding_builtins();
std::span<const BuiltinDef> fileio_builtins();
std::span<const BuiltinDef> system_builtins();
std::span<const BuiltinDef> pack_builtins();
std::span<const BuiltinDef> serial_builtins();
std::span<const BuiltinDef> graphics_builtins(); // gfx/builtins.cpp
std::span<const BuiltinDef> dllfunc_builtins(); // ext/dllfunc.cpp
std::span<const BuiltinDef> com_builtins();     // ext/com.cpp

void register_builtins();
// The handler of [name] for [count] arguments within one family, picked as the function table
// picks an overload (the exact count first, then the any-count entry); null when there is none.
BuiltinHandler find_builtin(std::span<const BuiltinDef> family, std::string_view name, int count);
// The number of registrations register_builtins() makes.
size_t builtin_registration_count();

} // namespace ruvo
