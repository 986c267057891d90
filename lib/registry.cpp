#include "lib/registry.h"

namespace ruvo {

namespace {

using Family = std::span<const BuiltinDef> (*)();

// Families in the order of the vocabulary.
constexpr Family kFamilies[] = {
    core_builtins,
    regexp_builtins, // regexp(), and match, sub, gsub
    deepcopy_builtins, conversion_builtins, string_builtins, array_builtins, math_builtins,
    encoding_builtins, fileio_builtins,     system_builtins, pack_builtins,  serial_builtins,
    graphics_builtins,
    dllfunc_builtins,
    com_builtins,
};

std::span<const Family> families() {
    return kFamilies;
}

} // namespace

void register_builtins() {
    for (auto family : families())
        funcman.registerBuiltins(family());
}

size_t builtin_registration_count() {
    size_t n = 0;
    for (auto family : families()) n += family().size();
    return n;
}

} // namespace ruvo
