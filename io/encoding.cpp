// encode() and decode(): conversions between the internal Shift_JIS text and the other
// encodings, and base64, in memory.
#include <string>

#include "core/convert.h"
#include "core/string.h"
#include "core/text.h"
#include "eval/error.h"
#include "io/base64.h"
#include "io/codec.h"
#include "lib/registry.h"

namespace ruvo {

namespace {

using Args = std::span<Value>;
using Conversion = std::string (*)(std::string_view);

std::string unchanged(std::string_view s) {
    return std::string(s);
}

struct EncodingName {
    const char* name;
    Conversion encode;
    Conversion decode;
};

constexpr EncodingName kEncodings[] = {
    {"sjis", unchanged, unchanged},           {"euc", sjis_to_euc, euc_to_sjis},
    {"utf8", sjis_to_utf8, utf8_to_sjis},     {"utf16", sjis_to_utf16, utf16_to_sjis},
    {"base64", base64_encode, base64_decode}, {"b64", base64_encode, base64_decode},
};

const EncodingName* find_encoding(std::string_view name) {
    for (const EncodingName& e : kEncodings)
        if (iequals_ascii(name, e.name)) return &e;
    return nullptr;
}

void bi_encode(VContext&, int line, Args a, Value& r) {
    std::string_view s = arg_string(a[0], line);
    const EncodingName* e = find_encoding(arg_string(a[1], line));
    if (!e) raise(line, "Unknown encoding type in encode()");
    r = make_string(e->encode(s));
}

void bi_decode(VContext&, int line, Args a, Value& r) {
    std::string_view s = arg_string(a[0], line);
    const EncodingName* e = find_encoding(arg_string(a[1], line));
    if (!e) raise(line, "Unknown encoding type in decode()");
    r = make_string(e->decode(s));
}

constexpr BuiltinDef kEncodingBuiltins[] = {
    {"encode", 2, bi_encode},
    {"decode", 2, bi_decode},
};

} // namespace

std::span<const BuiltinDef> encoding_builtins() {
    return kEncodingBuiltins;
}

} // namespace ruvo
