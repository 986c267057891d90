// Native functions: the signature parser, symbol resolution, the libffi call and the
// dllfunc() built-in.
#include "ext/dllfunc.h"

#include <dlfcn.h>

#include <cstring>
#include <cwchar>

#include "core/convert.h"
#include "core/string.h"
#include "core/tokens.h"
#include "eval/error.h"
#include "eval/evaluate.h"
#include "io/codec.h"
#include "io/ostext.h"
#include "lib/registry.h"

namespace ruvo {

namespace {

// ---- the signature --------------------------------------------------------------------------

// The type a token names (case matters), or false.
bool type_of(std::string_view t, dll_type& out) {
    static constexpr struct {
        const char* name;
        dll_type type;
    } kTypes[] = {
        {"uint", {DT_UINT, false}},     {"ulong", {DT_UINT, true}},   {"ushort", {DT_USHORT}},
        {"uchar", {DT_UCHAR}},          {"int", {DT_INT, false}},     {"long", {DT_INT, true}},
        {"short", {DT_SHORT}},          {"char", {DT_CHAR}},          {"float", {DT_FLOAT}},
        {"double", {DT_DOUBLE}},        {"string", {DT_STRING}},      {"wstring", {DT_WSTRING}},
        {"void", {DT_VOID}},            {"binary", {DT_BINARY}},
    };
    for (const auto& k : kTypes)
        if (t == k.name) {
            out = k.type;
            return true;
        }
    return false;
}

// ---- conversions ----------------------------------------------------------------------------

ffi_type* ffi_type_of(const dll_type& t) {
    switch (t.code) {
    case DT_UINT: return t.wide ? &ffi_type_ulong : &ffi_type_uint32;
    case DT_USHORT: return &ffi_type_uint16;
    case DT_UCHAR: return &ffi_type_uint8;
    case DT_INT: return t.wide ? &ffi_type_slong : &ffi_type_sint32;
    case DT_SHORT: return &ffi_type_sint16;
    case DT_CHAR: return &ffi_type_schar;
    case DT_FLOAT: return &ffi_type_float;
    case DT_DOUBLE: return &ffi_type_double;
    case DT_VOID: return &ffi_type_void;
    default: return &ffi_type_pointer; // string, wstring, binary
    }
}

bool is_integer_type(int32_t code) {
    return code >= DT_UINT && code <= DT_CHAR;
}

// Shift_JIS text as a wide string (the interpreter's own code page 932 table).
std::wstring sjis_to_wide(std::string_view text) {
    std::u16string u = sjis_to_u16(text);
    return std::wstring(u.begin(), u.end()); // the code page has no character beyond 16 bits
}

// A NUL-terminated wide string as Shift_JIS; a character beyond the code page becomes "?".
std::string wide_to_sjis(const wchar_t* w) {
    std::u16string u;
    for (; *w; ++w) {
        auto c = static_cast<uint32_t>(*w);
        if (c > 0x10FFFF) {
            u.push_back(u'?');
        } else if (c > 0xFFFF) { // a pair, which the code page turns into one "?"
            c -= 0x10000;
            u.push_back(static_cast<char16_t>(0xD800 | (c >> 10)));
            u.push_back(static_cast<char16_t>(0xDC00 | (c & 0x3FF)));
        } else {
            u.push_back(static_cast<char16_t>(c));
        }
    }
    return u16_to_sjis(u);
}

// One C argument of any declared type.
union ArgSlot {
    int8_t i8;
    uint8_t u8;
    int16_t i16;
    uint16_t u16;
    int32_t i32;
    uint32_t u32;
    long l;
    unsigned long ul;
    float f;
    double d;
    void* p;
};

// Sets an integer slot: the number truncated toward zero (0 for NaN, infinities and what lies
// outside the 64-bit range), of which the low 32 bits are taken with the name's signedness.
void set_integer(ArgSlot& s, const dll_type& t, double d) {
    auto low = static_cast<uint32_t>(static_cast<uint64_t>(to_int64(d)));
    auto signed_low = static_cast<int32_t>(low);
    switch (t.code) {
    case DT_UINT:
        if (t.wide)
            s.ul = low;
        else
            s.u32 = low;
        break;
    case DT_USHORT: s.u16 = static_cast<uint16_t>(low); break;
    case DT_UCHAR: s.u8 = static_cast<uint8_t>(low); break;
    case DT_INT:
        if (t.wide)
            s.l = signed_low;
        else
            s.i32 = signed_low;
        break;
    case DT_SHORT: s.i16 = static_cast<int16_t>(signed_low); break;
    default: s.i8 = static_cast<int8_t>(signed_low); break;
    }
}

// The argument copies of one call; reserved up front so that no copy moves while the call
// holds a pointer into it.
struct CallBuffers {
    explicit CallBuffers(size_t n) {
        bytes.reserve(n);
        wide.reserve(n);
    }
    std::vector<std::string> bytes; // "string" and "binary" copies
    std::vector<std::wstring> wide; // "wstring" copies
    struct WriteBack {
        VString* target;
        const std::string* buffer;
    };
    std::vector<WriteBack> write_back;
};

Value result_of_failed_resolution(const dll_type& t) {
    if (is_integer_type(t.code) || t.code == DT_FLOAT || t.code == DT_DOUBLE) return Value(-1);
    return Value();
}

void install_native_hook() {
    eval_state.call_native = call_dllfunc;
}

// ---- the built-in ---------------------------------------------------------------------------

[[noreturn]] void bad_definition(int line) {
    raise(line, "Bad definition in dllfunc()");
}

void bi_dllfunc(VContext&, int line, std::span<Value> a, Value& r) {
    std::string module(arg_string(a[0], line));
    std::string_view signature = arg_string(a[1], line);
    dllfunc_info info;
    if (!parse_dll_signature(signature, info)) bad_definition(line);
    if (module.empty() || !resolve_dll_symbol(module, info.function)) bad_definition(line);
    r = make_dllfunc(std::move(module), std::move(info));
    if (r.is_null()) bad_definition(line);
}

constexpr BuiltinDef kDllBuiltins[] = {
    {"dllfunc", 2, bi_dllfunc},
};

} // namespace

bool parse_dll_signature(std::string_view signature, dllfunc_info& out) {
    TemplateTokens tokens(signature);
    bool have_result = false, have_convention = false, have_name = false, have_list = false;
    for (std::string_view tok = tokens.next(); !tok.empty(); tok = tokens.next()) {
        dll_type t;
        if (tok == "(") {
            if (have_list) return false;
            have_list = true;
            // A run of type names closed by ")": anything else ends the list badly.
            for (;;) {
                tok = tokens.next();
                if (tok.empty()) return false;
                if (tok == ")") break;
                if (!type_of(tok, t)) return false;
                if (t.code == DT_VOID) continue;
                if (out.params.size() == kMaxDllParams) return false;
                out.params.push_back(t);
            }
        } else if (!have_result && type_of(tok, t)) {
            out.result = t;
            have_result = true;
        } else if (!have_convention && (tok == "__cdecl" || tok == "__stdcall")) {
            out.convention = tok == "__cdecl" ? DT_CDECL : DT_STDCALL;
            have_convention = true;
        } else {
            // The function name; a later type name or convention counts as a name too.
            if (have_name) return false;
            out.function.assign(tok);
            have_name = true;
        }
    }
    return have_name && have_list;
}

void* resolve_dll_symbol(const std::string& module, const std::string& function) {
    if (module.empty() || module.find('\0') != std::string::npos ||
        function.find('\0') != std::string::npos)
        return nullptr;
    // A module the process already has is found without loading it again; the reference
    // that RTLD_NOLOAD takes is given back at once.  A module loaded here stays loaded for
    // the rest of the process, so that a function found once stays callable.  A path goes
    // to the system in its characters.
    const std::string path = name_to_os(module);
    if (void* h = dlopen(path.c_str(), RTLD_LAZY | RTLD_NOLOAD)) {
        void* sym = dlsym(h, function.c_str());
        dlclose(h);
        return sym;
    }
    void* h = dlopen(path.c_str(), RTLD_LAZY);
    return h ? dlsym(h, function.c_str()) : nullptr;
}

VDllFunc::VDllFunc(std::string m, dllfunc_info i)
    : VRef(VKind::DllFunc), module(std::move(m)), info(std::move(i)) {}

Value make_dllfunc(std::string module, dllfunc_info info) {
    Value v(new VDllFunc(std::move(module), std::move(info)));
    auto* f = static_cast<VDllFunc*>(v.obj());
    for (const dll_type& t : f->info.params) f->arg_types.push_back(ffi_type_of(t));
    if (ffi_prep_cif(&f->cif, FFI_DEFAULT_ABI, static_cast<unsigned>(f->arg_types.size()),
                     ffi_type_of(f->info.result), f->arg_types.data()) != FFI_OK)
        return Value();
    f->prepared = true;
    install_native_hook();
    return v;
}

Value call_dllfunc(VContext&, int line, VRef* fn, std::span<Value> args) {
    auto* f = static_cast<VDllFunc*>(fn);
    if (f->module.empty() || !f->prepared) return Value();
    const std::vector<dll_type>& params = f->info.params;
    if (args.size() != params.size()) raise(line, "Incorrect argument count for DLL function");

    ArgSlot slots[kMaxDllParams];
    void* values[kMaxDllParams];
    CallBuffers buffers(params.size());
    for (size_t i = 0; i < params.size(); ++i) {
        const dll_type& t = params[i];
        ArgSlot& s = slots[i];
        values[i] = &s;
        switch (t.code) {
        case DT_FLOAT: s.f = static_cast<float>(to_number(args[i])); break;
        case DT_DOUBLE: s.d = to_number(args[i]); break;
        case DT_STRING: s.p = buffers.bytes.emplace_back(plain_form(args[i])).data(); break;
        case DT_WSTRING: s.p = buffers.wide.emplace_back(sjis_to_wide(plain_form(args[i]))).data(); break;
        case DT_BINARY:
            if (VString* str = args[i].as_string()) {
                std::string& b = buffers.bytes.emplace_back(str->str);
                b.push_back('\0'); // the NUL is the buffer's own byte, writable like the rest
                buffers.write_back.push_back({str, &b});
                s.p = b.data();
            } else {
                s.p = nullptr;
            }
            break;
        default: set_integer(s, t, to_number(args[i])); break;
        }
    }

    void* sym = resolve_dll_symbol(f->module, f->info.function);
    if (!sym) return result_of_failed_resolution(f->info.result);
    union {
        ffi_arg a;
        ffi_sarg s;
        float f;
        double d;
        void* p;
    } rv;
    rv.a = 0;
    ffi_call(&f->cif, reinterpret_cast<void (*)()>(sym), &rv, values);

    for (const CallBuffers::WriteBack& w : buffers.write_back)
        std::memcpy(w.target->str.data(), w.buffer->data(), w.target->str.size());

    const dll_type& t = f->info.result;
    switch (t.code) {
    case DT_VOID: return Value();
    case DT_FLOAT: return Value(static_cast<double>(rv.f));
    case DT_DOUBLE: return Value(rv.d);
    case DT_STRING:
    case DT_BINARY: return rv.p ? make_string(static_cast<const char*>(rv.p)) : Value();
    case DT_WSTRING: return rv.p ? make_string(wide_to_sjis(static_cast<const wchar_t*>(rv.p))) : Value();
    default: {
        // libffi widens a small result to a word with the type's signedness; the low 32
        // bits of that word are the result.
        bool is_signed = t.code == DT_INT || t.code == DT_SHORT || t.code == DT_CHAR;
        uint64_t word = is_signed ? static_cast<uint64_t>(rv.s) : static_cast<uint64_t>(rv.a);
        return Value(static_cast<double>(static_cast<int32_t>(static_cast<uint32_t>(word))));
    }
    }
}

std::span<const BuiltinDef> dllfunc_builtins() {
    return kDllBuiltins;
}

} // namespace ruvo
