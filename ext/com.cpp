// Automation objects: variants, the member operations, enumeration, and the built-ins
// comobj, comget and dotnet.
#include "ext/com.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/array.h"
#include "core/convert.h"
#include "core/string.h"
#include "eval/error.h"
#include "ext/dispatch.h"
#include "ext/dotnet.h"
#include "io/codec.h"
#include "lib/registry.h"

namespace ruvo {

// ---- wide strings ---------------------------------------------------------------------------

Bstr bstr_alloc(std::u16string_view s) {
    auto* mem = static_cast<char*>(std::malloc(sizeof(uint32_t) + (s.size() + 1) * 2));
    if (!mem) throw std::bad_alloc();
    auto n = static_cast<uint32_t>(s.size());
    std::memcpy(mem, &n, sizeof n);
    auto* text = reinterpret_cast<char16_t*>(mem + sizeof n);
    if (!s.empty()) std::memcpy(text, s.data(), s.size() * 2);
    text[s.size()] = 0;
    return text;
}

void bstr_free(Bstr b) {
    if (b) std::free(reinterpret_cast<char*>(b) - sizeof(uint32_t));
}

std::u16string_view bstr_view(Bstr b) {
    if (!b) return {};
    uint32_t n;
    std::memcpy(&n, reinterpret_cast<char*>(b) - sizeof n, sizeof n);
    return {b, n};
}

// ---- variants -------------------------------------------------------------------------------

namespace {

bool owns_interface(uint16_t vt) {
    return vt == VT_DISPATCH || vt == VT_UNKNOWN;
}

// One reference on an interface, given back when the guard goes.
template <typename T> struct ComRef {
    explicit ComRef(T* p) : p(p) {}
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    ~ComRef() {
        if (p) p->release();
    }
    T* p;
};

} // namespace

com_var::com_var(bool b) {
    v.vt = VT_BOOL;
    v.boolVal = b ? VARIANT_TRUE : VARIANT_FALSE;
}

com_var::com_var(std::string_view sjis) {
    v.vt = VT_BSTR;
    v.bstrVal = bstr_alloc(sjis_to_u16(sjis));
}

com_var::com_var(const com_var& o) : v(o.v) {
    if (v.vt == VT_BSTR)
        v.bstrVal = o.v.bstrVal ? bstr_alloc(bstr_view(o.v.bstrVal)) : nullptr;
    else if (owns_interface(v.vt) && v.punkVal)
        v.vt == VT_DISPATCH ? v.pdispVal->add_ref() : v.punkVal->add_ref();
}

void com_var::clear() {
    if (v.vt == VT_BSTR)
        bstr_free(v.bstrVal);
    else if (v.vt == VT_DISPATCH && v.pdispVal)
        v.pdispVal->release();
    else if (v.vt == VT_UNKNOWN && v.punkVal)
        v.punkVal->release();
    v = com_variant();
}

void value_to_variant(const CellData& val, com_var& out) {
    out.clear();
    com_variant& v = out.v;
    if (VComObj* o = as_comobj(val)) {
        v.vt = VT_DISPATCH;
        v.pdispVal = o->dispatch;
        if (o->dispatch) o->dispatch->add_ref();
    } else if (VString* s = val.as_string()) {
        v.vt = VT_BSTR;
        v.bstrVal = bstr_alloc(sjis_to_u16(s->view()));
    } else if (val.is_bool()) {
        v.vt = VT_BOOL;
        v.boolVal = val.num() != 0 ? VARIANT_TRUE : VARIANT_FALSE;
    } else if (val.is_number()) {
        v.vt = VT_R8;
        v.dblVal = val.num();
    }
}

namespace {

Value bstr_value(Bstr b) {
    return b ? make_string(u16_to_sjis(bstr_view(b))) : Value(0);
}

Value bool_value(int16_t b) {
    return Value::boolean(static_cast<uint16_t>(b) == 0xFFFF);
}

// The value behind a by-reference variant of base type [base].
Value byref_value(uint16_t base, const void* p) {
    if (!p) return Value(0);
    switch (base) {
    case VT_BSTR: return bstr_value(*static_cast<const Bstr*>(p));
    case VT_BOOL: return bool_value(*static_cast<const int16_t*>(p));
    case VT_I2: return Value(*static_cast<const int16_t*>(p));
    case VT_I4: return Value(*static_cast<const int32_t*>(p));
    case VT_R4: return Value(static_cast<double>(*static_cast<const float*>(p)));
    case VT_R8: return Value(*static_cast<const double*>(p));
    case VT_UI1: return Value(*static_cast<const uint8_t*>(p));
    default: return Value(0);
    }
}

} // namespace

Value variant_to_value(const com_variant& v) {
    uint16_t base = v.vt & 0x0FFF;
    if (v.vt & VT_ARRAY) return base == VT_BOOL ? Value::boolean(false) : Value(0);
    if (v.vt & VT_BYREF) return byref_value(base, v.byref);
    switch (base) {
    case VT_DISPATCH:
        if (!v.pdispVal) return Value(0);
        v.pdispVal->add_ref();
        return Value(new VComObj(v.pdispVal));
    case VT_UNKNOWN:
        // Only the object's dispatch interface can serve the member operations: an object
        // without one gives an automation object that holds no interface.
        if (!v.punkVal) return Value(0);
        return Value(new VComObj(v.punkVal->query_dispatch()));
    case VT_BSTR: return bstr_value(v.bstrVal);
    case VT_BOOL: return bool_value(v.boolVal);
    case VT_I2: return Value(v.iVal);
    case VT_I4: return Value(v.lVal);
    case VT_R4: return Value(static_cast<double>(v.fltVal));
    case VT_R8: return Value(v.dblVal);
    case VT_UI1: return Value(v.bVal);
    default: return Value(0);
    }
}

// ---- the member operations ------------------------------------------------------------------

VComObj::~VComObj() {
    if (dispatch) dispatch->release();
}

namespace {

bool member_id(ComDispatch* d, std::string_view name, int32_t& id) {
    return d->get_id(sjis_to_u16(name), id);
}

// Invokes a method or property read with the script's arguments, last argument first.
bool invoke_get(ComDispatch* d, std::string_view name, std::span<Value> args, com_var& result) {
    int32_t id;
    if (!member_id(d, name, id)) return false;
    std::vector<com_var> vars(args.size());
    for (size_t i = 0; i < args.size(); ++i) value_to_variant(args[args.size() - 1 - i], vars[i]);
    com_params p{vars.data(), static_cast<uint32_t>(vars.size()), nullptr, 0};
    return d->invoke(id, DISPATCH_METHOD | DISPATCH_PROPERTYGET, p, &result);
}

Value invoke_value(VComObj* o, std::string_view name, std::span<Value> args, int line,
                   const char* message) {
    if (!o->dispatch) return Value();
    com_var result;
    if (!invoke_get(o->dispatch, name, args, result))
        raise(line, message, static_cast<int>(name.size()), name.data());
    return variant_to_value(result.v);
}

[[noreturn]] void enumeration_failed(int line) {
    raise(line, "COM Collection enumeration failed");
}

[[noreturn]] void bad_index(int line) {
    raise(line, "Bad index for COM collection");
}

// The object's enumerator, from its "_NewEnum" property; a new reference.
ComEnum* open_enum(VComObj* o, int line) {
    com_var r;
    if (!o->dispatch || !invoke_get(o->dispatch, "_NewEnum", {}, r)) enumeration_failed(line);
    ComUnknown* u = nullptr;
    if (r.v.vt == VT_UNKNOWN) u = r.v.punkVal;
    if (r.v.vt == VT_DISPATCH) u = r.v.pdispVal;
    if (!u) enumeration_failed(line);
    ComEnum* e = u->query_enum();
    if (!e) enumeration_failed(line);
    return e;
}

} // namespace

Value com_get_property(VComObj* o, std::string_view name, int line) {
    return invoke_value(o, name, {}, line, "COM getprop[%.*s] failed");
}

Value com_call_method(VComObj* o, std::string_view name, std::span<Value> args, int line) {
    return invoke_value(o, name, args, line, "COM invoke[%.*s] failed");
}

void com_set_property(VComObj* o, std::string_view name, std::span<Value> index,
                      const CellData& value, int line) {
    int32_t id;
    bool ok = o->dispatch && member_id(o->dispatch, name, id);
    if (ok) {
        // The value first, then the index arguments from the last to the first.
        std::vector<com_var> vars(index.size() + 1);
        value_to_variant(value, vars[0]);
        for (size_t i = 0; i < index.size(); ++i)
            value_to_variant(index[index.size() - 1 - i], vars[i + 1]);
        uint16_t vt = vars[0].v.vt;
        bool by_ref = owns_interface(vt) || (vt & (VT_ARRAY | VT_BYREF)) != 0;
        static constexpr int32_t kPut = DISPID_PROPERTYPUT;
        com_params p{vars.data(), static_cast<uint32_t>(vars.size()), &kPut, 1};
        ok = o->dispatch->invoke(id, by_ref ? DISPATCH_PROPERTYPUTREF : DISPATCH_PROPERTYPUT, p,
                                 nullptr);
    }
    if (!ok) raise(line, "COM setprop[%.*s] failed", static_cast<int>(name.size()), name.data());
}

Value com_item(VComObj* o, int32_t i, int line) {
    ComRef<ComEnum> e(open_enum(o, line));
    if (i < 0) bad_index(line); // counting starts at 0: nothing lies before it
    e.p->reset();
    if (i > 0 && !e.p->skip(static_cast<uint32_t>(i))) bad_index(line);
    com_var element;
    if (!e.p->next(element)) bad_index(line);
    return variant_to_value(element.v);
}

Value com_to_array(VComObj* o, int line) {
    ComRef<ComEnum> e(open_enum(o, line));
    Value out(new VArray());
    for (com_var element; e.p->next(element); element.clear())
        out.as_array()->push(variant_to_value(element.v));
    return out;
}

// ---- the built-ins --------------------------------------------------------------------------

namespace {

// comobj and comget: automation servers are looked up by ProgID in a registry this platform
// does not have, so creating and attaching both find nothing.
void bi_no_server(VContext&, int line, std::span<Value> a, Value&) {
    arg_string(a[0], line);
}

void bi_dotnet(VContext&, int line, std::span<Value> a, Value& r) {
    std::string first(arg_string(a[0], line));
    std::string second(arg_string(a[1], line));
    if (ComDispatch* d = dotnet_create(first, second)) r = Value(new VComObj(d));
}

constexpr BuiltinDef kComBuiltins[] = {
    {"comobj", 1, bi_no_server},
    {"comget", 1, bi_no_server},
    {"dotnet", 2, bi_dotnet},
};

} // namespace

std::span<const BuiltinDef> com_builtins() {
    return kComBuiltins;
}

} // namespace ruvo
