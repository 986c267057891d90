// Regular-expression patterns and subjects: a pattern compiled with any flags, then match,
// find, sub and gsub on a subject with a replacement template, all from the fuzzer's bytes.
// match() sets the match variables, which live in the global scope, as in a script.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "eval/scope.h"
#include "fuzz/harness.h"
#include "lib/regexp.h"

using namespace ruvo;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    scopes.pushGlobalScope();
    // The global scope goes back to its pool before the pool is destroyed, as at shut-down.
    std::atexit([] { scopes.popAll(); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    bool icase = in.ConsumeBool();
    bool multiline = in.ConsumeBool();
    std::string pattern = in.ConsumeRandomLengthString(128);
    std::string tmpl = in.ConsumeRandomLengthString(32);
    std::string subject = in.ConsumeRemainingBytesAsString();

    RegExp* re = new RegExp(pattern, icase, multiline);
    re->addref();
    re->match(subject);
    regexp_spans spans;
    if (re->find(subject, spans)) {
        if (spans.count < 1 || spans.count > regexp_spans::kMax) __builtin_trap();
        for (int i = 0; i < spans.count; ++i)
            if (spans.beg[i] < 0 || spans.beg[i] > spans.end[i]
                || static_cast<size_t>(spans.end[i]) > subject.size())
                __builtin_trap(); // a span outside the subject
        std::string expanded;
        regexp_expand(expanded, tmpl, subject, spans);
    }
    re->sub(subject, tmpl);
    re->gsub(subject, tmpl);
    re->release();
    return 0;
}
