// VFuncRef: a function reference value (`&name`, and the variable a function defined inside a
// block becomes).  It holds one reference on its FuncInfo, so the overloads live as long as
// the value does, even after the function table or the defining tree has let go of them.
// The collector reaches the static variables of those overloads through mark_children().
#pragma once

#include "core/value.h"
#include "eval/func.h"

namespace ruvo {

class VFuncRef final : public VRef {
public:
    explicit VFuncRef(FuncInfo* f) : VRef(VKind::FuncRef), info(f) { info->addref(); }
    ~VFuncRef() override { info->release(); }

    VRef* clone() const override { return new VFuncRef(info); }
    const char* type_name() const override { return "funcref"; }
    void mark_children() override { info->mark_statics(); }

    FuncInfo* const info;
};

inline VFuncRef* as_funcref(const CellData& v) {
    return v.kind() == VKind::FuncRef ? static_cast<VFuncRef*>(v.obj()) : nullptr;
}

} // namespace ruvo
