// The signature parser of dllfunc() on any text; nothing is loaded or called.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "ext/dllfunc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ruvo::dllfunc_info info;
    if (ruvo::parse_dll_signature(std::string_view(reinterpret_cast<const char*>(data), size), info)
        && info.params.size() > ruvo::kMaxDllParams)
        __builtin_trap(); // a signature with more parameters than a call interface takes
    return 0;
}
