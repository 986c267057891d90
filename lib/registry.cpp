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

BuiltinHandler find_builtin(std::span<const BuiltinDef> family, std::string_view name, int count) {
    BuiltinHandler any = nullptr;
    for (const BuiltinDef& d : family) {
        if (name != d.name) continue;
        if (d.count == count) return d.handler;
        if (d.count < 0) any = d.handler;
    }
    return any;
}

size_t builtin_registration_count() {
    size_t n = 0;
    for (auto family : families()) n += family().size();
    return n;
}

} // namespace ruvo
