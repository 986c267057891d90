#include "lib/regexp.h"

#include <cstdio>

#include "front/node.h"

namespace ruvo {

RegExp::RegExp(std::string_view p, bool icase, bool multiline) : pattern(p) {
    (void)icase;
    (void)multiline;
}

RegExp::~RegExp() {}

void RegExp::release() {
    if (--refs == 0)
        delete this;
    else if (refs < 0)
        std::fputs("Internal error in RegExp::release()\n", stdout);
}

void regexp_release(RegExp* r) { r->release(); }

} // namespace ruvo

#include "lib/registry.h"

namespace ruvo {
std::span<const BuiltinDef> regexp_builtins() { return {}; }
} // namespace ruvo
