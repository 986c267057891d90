// VString: a byte string of explicit length (NUL bytes allowed), in Shift_JIS.  Binary data
// travels in the same strings.
#pragma once

#include <cstring>
#include <string>
#include <string_view>

#include "core/value.h"

namespace ruvo {

class VString final : public VRef {
public:
    VString() : VRef(VKind::String) {}
    explicit VString(std::string_view s) : VRef(VKind::String), str(s) {}
    explicit VString(std::string&& s) : VRef(VKind::String), str(std::move(s)) {}
    explicit VString(const char* s) : VRef(VKind::String), str(s) {}

    VRef* clone() const override { return new VString(str); }
    const char* type_name() const override { return "string"; }
    bool serialize(VStream& s) const override;
    bool deserialize(VStream& s) override;

    size_t size() const { return str.size(); }
    std::string_view view() const { return str; }

    std::string str;
};

inline VString* CellData::as_string() const {
    return is_object() && obj_->kind == VKind::String ? static_cast<VString*>(obj_) : nullptr;
}

// A new string value.
inline Value make_string(std::string_view s) {
    return Value(new VString(s));
}
inline Value make_string(std::string&& s) {
    return Value(new VString(std::move(s)));
}
inline Value make_string(const char* s) {
    return Value(new VString(s));
}

// Stores a string into a cell.  A string that only this cell holds is overwritten in place,
// which keeps its buffer: variables set over and over (the match variables) cost no object.
inline void store_string(Cell& c, std::string_view s) {
    if (VString* old = c.as_string(); old && old->refs == 1 && old->locks == 0) {
        std::string& d = old->str;
        if (d.size() == s.size()) {
            // the commonest case, an empty group staying empty, costs nothing
            if (!s.empty()) std::memmove(d.data(), s.data(), s.size());
        } else {
            d.assign(s);
        }
        return;
    }
    c = make_string(s);
}

} // namespace ruvo
