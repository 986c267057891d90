// deserial() on any bytes, and what it gives back written again with serial(); when that is
// small, read back and written once more, which must give the same bytes, and shown.  (A few
// bytes may stand for megabytes of zeros, which would only slow every run down.)
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/convert.h"
#include "fuzz/harness.h"

using namespace ruvo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    {
        std::string bytes(reinterpret_cast<const char*>(data), size);
        Value v = fuzz::call_builtin(serial_builtins(), "deserial", {make_string(std::move(bytes))});
        Value again = fuzz::call_builtin(serial_builtins(), "serial", {v});
        if (VString* s = again.as_string(); s && s->size() < (size_t{1} << 20)) {
            Value back = fuzz::call_builtin(serial_builtins(), "deserial", {again});
            Value third = fuzz::call_builtin(serial_builtins(), "serial", {back});
            VString* t = third.as_string();
            if (!t || t->str != s->str) __builtin_trap(); // the round trip changed the value
            display_form(v);
        }
    }
    objman.collect(false);
    return 0;
}
