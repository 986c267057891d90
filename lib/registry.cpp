#include "lib/registry.h"

#include <initializer_list>

namespace ruvo {

namespace {

// Families in the order of the vocabulary.
std::initializer_list<std::span<const BuiltinDef> (*)()> families() {
    return {
        regexp_builtins,
    };
}

} // namespace

void register_builtins() {
    for (auto family : families())
        for (const BuiltinDef& d : family()) funcman.registerBuiltin(d.name, d.count, d.handler);
}

size_t builtin_registration_count() {
    size_t n = 0;
    for (auto family : families()) n += family().size();
    return n;
}

} // namespace ruvo
