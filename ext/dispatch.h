// The late-bound dispatch interface behind automation objects, with just enough of its
// variant and wide-string types for the operations of ext/com.h.
//
// An automation server implements `ComDispatch` (names to member ids, and one invoke for
// methods, property reads and puts); a collection hands out a `ComEnum` through the variant
// that its "_NewEnum" property yields.  Interfaces are reference counted: whoever receives a
// pointer from a query or inside a variant owns one reference and gives it back by release().
//
// `com_variant` is the tagged cell that crosses the interface; `com_var` owns one and clears
// it in its destructor (a wide string is freed, an interface released, a by-reference pointer
// left alone: it points at the callee's storage).  Wide strings are UTF-16 with a length in
// front, and convert from and to the interpreter's Shift_JIS text with the code page table.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/value.h"

namespace ruvo {

// Variant types (the low twelve bits) and the two flag bits.
enum ComVarType : uint16_t {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R4 = 4,
    VT_R8 = 5,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_BOOL = 11,
    VT_UNKNOWN = 13,
    VT_UI1 = 17,
    VT_ARRAY = 0x2000,
    VT_BYREF = 0x4000,
};

// Invoke flags and the member id of a put's value.
enum ComInvokeFlags : uint16_t {
    DISPATCH_METHOD = 1,
    DISPATCH_PROPERTYGET = 2,
    DISPATCH_PROPERTYPUT = 4,
    DISPATCH_PROPERTYPUTREF = 8,
};
inline constexpr int32_t DISPID_PROPERTYPUT = -3;
inline constexpr int16_t VARIANT_TRUE = -1;
inline constexpr int16_t VARIANT_FALSE = 0;

// A wide string: UTF-16 units after a 32-bit unit count, NUL-terminated; null is allowed.
using Bstr = char16_t*;
Bstr bstr_alloc(std::u16string_view s);
void bstr_free(Bstr b);
std::u16string_view bstr_view(Bstr b); // empty for null

class ComDispatch;
class ComEnum;

class ComUnknown {
public:
    virtual void add_ref() = 0;
    virtual void release() = 0;
    // The object's other interfaces, each with a new reference, or null when it has none.
    virtual ComDispatch* query_dispatch() { return nullptr; }
    virtual ComEnum* query_enum() { return nullptr; }

protected:
    ~ComUnknown() = default;
};

struct com_variant {
    uint16_t vt = VT_EMPTY;
    union {
        double dblVal;
        float fltVal;
        int32_t lVal;
        int16_t iVal;
        uint8_t bVal;
        int16_t boolVal;
        Bstr bstrVal;
        ComUnknown* punkVal;
        ComDispatch* pdispVal;
        void* byref; // with VT_BYREF: the address of a value of the base type
    };
    com_variant() : dblVal(0) {}
};

// Owns one variant.
class com_var {
public:
    com_var() = default;
    explicit com_var(bool b);
    explicit com_var(std::string_view sjis);
    com_var(const com_var& o);
    com_var& operator=(const com_var&) = delete;
    ~com_var() { clear(); }
    // Releases what the variant owns and leaves it empty.
    void clear();

    com_variant v;
};

// The argument list of one invoke: in reverse order of the script's arguments; a put names
// its value's slot (the first) DISPID_PROPERTYPUT.
struct com_params {
    com_var* args = nullptr;
    uint32_t count = 0;
    const int32_t* named = nullptr;
    uint32_t named_count = 0;
};

class ComDispatch : public ComUnknown {
public:
    // The member id of [name]; false when the object has no such member.
    virtual bool get_id(std::u16string_view name, int32_t& dispid) = 0;
    // Invokes a member; false for a failure.  [result] is null when none is wanted.
    virtual bool invoke(int32_t dispid, uint16_t flags, const com_params& params,
                        com_var* result) = 0;

protected:
    ~ComDispatch() = default;
};

class ComEnum : public ComUnknown {
public:
    virtual void reset() = 0;
    // Skips n elements; false for a failure (not for running past the end).
    virtual bool skip(uint32_t n) = 0;
    // The next element into [out]; false when there is none.
    virtual bool next(com_var& out) = 0;

protected:
    ~ComEnum() = default;
};

// The variant of a script value: an automation object as VT_DISPATCH (with a reference of
// its own), a string as VT_BSTR, a number as VT_R8, a boolean as VT_BOOL, anything else empty.
void value_to_variant(const CellData& v, com_var& out);
// The value of a variant; objects and strings are new.
Value variant_to_value(const com_variant& v);

} // namespace ruvo
