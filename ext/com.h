// Automation objects: `VComObj` and the operations the evaluator maps its syntax onto.
//
// `obj.name` reads a property, `obj.name(args)` calls a method, `obj.name = v` and
// `obj.name(args) = v` put a property (the arguments as its index), `obj[i]` reads item i of
// the object's enumeration and `foreach` walks the whole enumeration.  Each operation goes
// through the late-bound dispatch interface of ext/dispatch.h; this header is all the
// evaluator sees.  This platform has no automation servers, so `comobj` and `comget` always
// give null, and only the .NET bridge (ext/dotnet.h) or a test can hand out such an object.
#pragma once

#include <span>
#include <string_view>

#include "core/value.h"

namespace ruvo {

class ComDispatch;

// Wraps one dispatch interface (may be null) and owns one reference on it.
class VComObj final : public VRef {
public:
    // Takes over the reference the caller holds on [d].
    explicit VComObj(ComDispatch* d) : VRef(VKind::ComObj), dispatch(d) {}
    ~VComObj() override;
    const char* type_name() const override { return "comobj"; }

    ComDispatch* dispatch;
};

inline VComObj* as_comobj(const CellData& v) {
    return v.kind() == VKind::ComObj ? static_cast<VComObj*>(v.obj()) : nullptr;
}

// "COM getprop[%s] failed"; null when the object holds no interface.
Value com_get_property(VComObj* o, std::string_view name, int line);
// "COM invoke[%s] failed"; null when the object holds no interface.
Value com_call_method(VComObj* o, std::string_view name, std::span<Value> args, int line);
// "COM setprop[%s] failed" (also when the object holds no interface).
void com_set_property(VComObj* o, std::string_view name, std::span<Value> index,
                      const CellData& value, int line);
// Element i of the enumeration: "COM Collection enumeration failed", "Bad index for COM
// collection".
Value com_item(VComObj* o, int32_t i, int line);
// A new array of every element of the enumeration.
Value com_to_array(VComObj* o, int line);

} // namespace ruvo
