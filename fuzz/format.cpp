// The formatted-print engine with any format text and any values: sprintf() with up to eight
// values of every scalar kind and an array, and the same text as the number format through
// which str() turns numbers into text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/array.h"
#include "core/convert.h"
#include "fuzz/harness.h"

using namespace ruvo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    {
        std::string fmt = in.ConsumeRandomLengthString(256);
        std::vector<Value> args{make_string(fmt)};
        int count = in.ConsumeIntegralInRange<int>(0, 8);
        for (int i = 0; i < count; ++i) {
            if (in.ConsumeIntegralInRange<int>(0, 7) == 0) {
                Value a(new VArray());
                a.as_array()->push(fuzz::any_scalar(in));
                args.push_back(a);
            } else {
                args.push_back(fuzz::any_scalar(in));
            }
        }
        fuzz::call_builtin(fileio_builtins(), "sprintf", args);

        std::string old = set_number_format(fmt);
        for (const Value& v : args) plain_form(v);
        plain_form(Value(in.ConsumeFloatingPoint<double>()));
        set_number_format(old);
    }
    objman.collect(false);
    return 0;
}
