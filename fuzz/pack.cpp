// pack() and unpack() with any template and data: the template text, then unpack() of the
// remaining bytes, pack() of what unpack() gave and of a hash of scalars under the template's
// field names, pksize(), and bsplit() and bjoin() with the template as the element type.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/array.h"
#include "core/hash.h"
#include "core/pack.h"
#include "fuzz/harness.h"

using namespace ruvo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    {
        std::string tmpl = in.ConsumeRandomLengthString(128);
        Value t = make_string(tmpl);
        auto family = pack_builtins();
        Value sized = fuzz::call_builtin(family, "pksize", {t});

        Value fields(new VHash());
        std::vector<pack_field> parsed;
        if (parse_template(tmpl, parsed))
            for (const pack_field& f : parsed) fields.as_hash()->set(f.name, fuzz::any_scalar(in, 16));
        std::string bytes = in.ConsumeRemainingBytesAsString();
        Value b = make_string(bytes);

        Value unpacked = fuzz::call_builtin(family, "unpack", {b, t});
        Value repacked = fuzz::call_builtin(family, "pack", {unpacked, t});
        if (VString* s = repacked.as_string(); s && unpacked.as_hash() && sized.is_numeric()
                                               && s->str.size() != static_cast<size_t>(sized.num()))
            __builtin_trap(); // a packed record is always pksize() bytes
        fuzz::call_builtin(family, "pack", {fields, t});

        Value split = fuzz::call_builtin(family, "bsplit", {b, t});
        fuzz::call_builtin(family, "bjoin", {split, t});
        fuzz::call_builtin(family, "bjoin", {fuzz::call_builtin(family, "bsplit", {b})});
    }
    objman.collect(false);
    return 0;
}
