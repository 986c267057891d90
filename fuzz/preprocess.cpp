// The preprocessor on any input: a -D option from the first bytes, then the rest as a script
// named "fuzz.rv".  #include finds nothing to open (the input is the only file allowed), and
// the limits are small so that a run spends its time in the directives and the expander
// rather than in honouring a limit.
#include <cstddef>
#include <cstdint>
#include <string>

#include <fuzzer/FuzzedDataProvider.h>

#include "pp/preprocessor.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    std::string diagnostics;
    ruvopp::Options options;
    options.diagnostics = &diagnostics;
    options.limits.max_include_depth = 1;
    options.limits.max_output = size_t{1} << 20;
    options.limits.max_file = size_t{1} << 20;
    options.limits.expand.max_tokens = size_t{1} << 16;
    options.limits.expand.max_expansions = size_t{1} << 16;
    options.limits.expand.max_arena_bytes = size_t{1} << 20;
    ruvopp::Preprocessor pp(options);
    std::string define = in.ConsumeRandomLengthString(32);
    if (!define.empty()) pp.define(define);
    pp.run_text("fuzz.rv", in.ConsumeRemainingBytesAsString());
    return 0;
}
