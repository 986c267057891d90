// base64 and every encoding conversion on any bytes: encode() and decode() by each name they
// know, the codec routines beneath them with the equalities their header promises, the
// scanner's own EUC-JP pair, the UTF-8 script reader and the locale edge's text conversions.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "front/source.h"
#include "fuzz/harness.h"
#include "io/base64.h"
#include "io/codec.h"
#include "io/ostext.h"

using namespace ruvo;

namespace {

void require(bool promise) {
    if (!promise) __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    os_text_assume(true); // the edge converts, as under a UTF-8 locale
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view in(reinterpret_cast<const char*>(data), size);
    {
        Value text = make_string(in);
        for (const char* name : {"sjis", "euc", "utf8", "utf16", "base64", "b64", "B64", "x"}) {
            fuzz::call_builtin(encoding_builtins(), "encode", {text, make_string(name)});
            fuzz::call_builtin(encoding_builtins(), "decode", {text, make_string(name)});
        }
    }
    objman.collect(false);

    require(base64_decode(base64_encode(in)) == in);
    base64_decode(in);
    require(sjis_to_utf8(in) == utf16_to_utf8(sjis_to_utf16(in)));
    require(utf8_to_sjis(in) == utf16_to_sjis(utf8_to_utf16(in)));
    require(u16_to_sjis(sjis_to_u16(in)) == utf16_to_sjis(sjis_to_utf16(in)));
    euc_to_sjis(sjis_to_euc(in));
    euc_to_sjis(in);
    front_euc_to_sjis(front_sjis_to_euc(in));
    front_euc_to_sjis(in);
    script_text_from_utf8(in);
    text_to_os(os_to_text(in));
    text_to_os(in);
    return 0;
}
