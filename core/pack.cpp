// Binary packing: the template reader, the element codecs and the built-ins pksize, pack,
// unpack, bsplit and bjoin.
#include "core/pack.h"

#include <cmath>
#include <cstring>

#include "core/array.h"
#include "core/convert.h"
#include "core/hash.h"
#include "core/string.h"
#include "core/tokens.h"
#include "eval/error.h"
#include "lib/args.h"
#include "lib/registry.h"

namespace ruvo {

namespace {

struct type_entry {
    const char* name;
    PackType type;
};

constexpr type_entry kTypes[] = {
    {"char", PK_CHAR},     {"sbyte", PK_CHAR},    {"short", PK_SHORT}, {"int16", PK_SHORT},
    {"long", PK_LONG},     {"int32", PK_LONG},    {"uchar", PK_UCHAR}, {"byte", PK_UCHAR},
    {"ushort", PK_USHORT}, {"uint16", PK_USHORT}, {"ulong", PK_ULONG}, {"uint32", PK_ULONG},
    {"float", PK_FLOAT},   {"double", PK_DOUBLE},
};

// A count token: any integer form, at least 1 and at most the signed 32-bit maximum.
bool parse_count(std::string_view tok, uint32_t& out) {
    double d;
    if (tok.empty() || !is_digit(tok[0]) || !string_to_number(tok, d)) return false;
    d = std::trunc(d);
    if (!(d >= 1.0 && d <= 2147483647.0)) return false;
    out = static_cast<uint32_t>(d);
    return true;
}

template <typename T> void put_le(std::string& out, T v) {
    unsigned char b[sizeof(T)];
    std::memcpy(b, &v, sizeof(T)); // the host is little-endian (x86-64)
    out.append(reinterpret_cast<const char*>(b), sizeof(T));
}

template <typename T> T get_le(const unsigned char* p) {
    T v;
    std::memcpy(&v, p, sizeof(T));
    return v;
}

// The fields of a template, raising "Bad template in NAME()" when it is bad or too large
// for building values.
std::vector<pack_field> fields_of(std::string_view text, const char* name, int line, bool bounded) {
    std::vector<pack_field> f;
    bool ok = parse_template(text, f);
    if (ok && bounded) {
        uint64_t n = 0;
        for (const pack_field& p : f) n += p.count ? p.count : 1;
        ok = n <= kPackMaxElements;
    }
    if (!ok) raise(line, "Bad template in %s()", name);
    return f;
}

void bi_pksize(VContext&, int line, std::span<Value> args, Value& result) {
    std::string_view t = arg_string(args[0], line);
    result = Value(static_cast<double>(template_size(fields_of(t, "pksize", line, false))));
}

void bi_pack(VContext&, int line, std::span<Value> args, Value& result) {
    std::string_view t = arg_string(args[1], line);
    VHash* h = args[0].as_hash();
    if (!h) raise(line, "Bad argument in pack()");
    std::vector<pack_field> fields = fields_of(t, "pack", line, true);
    std::string out;
    out.reserve(template_size(fields));
    const Value none;
    for (const pack_field& f : fields) {
        const Cell* c = f.name.empty() ? nullptr : h->find(f.name);
        const CellData& v = c ? static_cast<const CellData&>(*c) : none;
        if (f.count == 0) {
            pack_value(out, f.type, v);
            continue;
        }
        VArray* a = v.as_array();
        for (uint32_t i = 0; i < f.count; ++i)
            pack_value(out, f.type, a && i < a->size() ? a->cells[i] : none);
    }
    result = make_string(std::move(out));
}

void bi_unpack(VContext&, int line, std::span<Value> args, Value& result) {
    std::string_view d = arg_string(args[0], line);
    std::string_view t = arg_string(args[1], line);
    std::vector<pack_field> fields = fields_of(t, "unpack", line, true);
    const auto* p = reinterpret_cast<const unsigned char*>(d.data());
    size_t pos = 0;
    bool lost = false; // a value was missing: the position is lost, the rest is null
    auto next = [&](PackType ty) {
        unsigned n = pack_type_size(ty);
        if (lost || d.size() - pos < n) {
            lost = true;
            return Value();
        }
        pos += n;
        return Value(unpack_value(ty, p + pos - n));
    };
    Value h(new VHash());
    for (const pack_field& f : fields) {
        Value v;
        if (f.count == 0) {
            v = next(f.type);
        } else {
            auto* a = new VArray();
            v = Value(a);
            a->cells.reserve(lost ? 0 : std::min<size_t>(f.count, d.size() - pos));
            for (uint32_t i = 0; i < f.count; ++i) a->push(next(f.type));
        }
        if (!f.name.empty()) h.as_hash()->set(f.name, v);
    }
    result = std::move(h);
}

// The element type of bsplit/bjoin: "uchar" by default, "Bad argument in NAME()" otherwise.
PackType element_type(std::span<Value> args, const char* name, int line) {
    if (args.size() < 2) return PK_UCHAR;
    VString* s = args[1].as_string();
    PackType t = s ? pack_type(s->view()) : PK_NONE;
    if (t == PK_NONE) raise(line, "Bad argument in %s()", name);
    return t;
}

void bi_bsplit(VContext&, int line, std::span<Value> args, Value& result) {
    VString* s = args[0].as_string();
    if (!s) raise(line, "Bad argument in bsplit()");
    PackType t = element_type(args, "bsplit", line);
    unsigned size = pack_type_size(t);
    size_t n = s->size() / size;
    auto* a = new VArray(n);
    result = Value(a);
    const auto* p = reinterpret_cast<const unsigned char*>(s->str.data());
    for (size_t i = 0; i < n; ++i) a->cells[i].set_num(unpack_value(t, p + i * size));
}

void bi_bjoin(VContext&, int line, std::span<Value> args, Value& result) {
    VArray* a = args[0].as_array();
    if (!a) raise(line, "Bad argument in bjoin()");
    PackType t = element_type(args, "bjoin", line);
    unsigned size = pack_type_size(t);
    // The same range for the signed and the unsigned type of one size.
    double lo = 0, hi = 0;
    if (t != PK_FLOAT && t != PK_DOUBLE) {
        lo = -std::ldexp(1.0, 8 * size - 1);
        hi = std::ldexp(1.0, 8 * size) - 1;
    }
    std::string out;
    out.reserve(a->size() * size);
    for (const Cell& c : a->cells) {
        if (!c.is_numeric()) raise_bad_type(line, "bjoin");
        double d = c.num();
        if (hi != 0 && !(d >= lo && d <= hi)) raise(line, "Bad argument range in bjoin()");
        pack_value(out, t, c);
    }
    result = make_string(std::move(out));
}

constexpr BuiltinDef kPack[] = {
    {"pksize", 1, bi_pksize}, {"unpack", 2, bi_unpack}, {"pack", 2, bi_pack},
    {"bsplit", 1, bi_bsplit}, {"bsplit", 2, bi_bsplit}, {"bjoin", 1, bi_bjoin},
    {"bjoin", 2, bi_bjoin},
};

} // namespace

PackType pack_type(std::string_view name) {
    if (name.size() > 6) return PK_NONE;
    char low[8] = {};
    for (size_t i = 0; i < name.size(); ++i) {
        char c = name[i];
        low[i] = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    std::string_view l(low, name.size());
    for (const type_entry& e : kTypes)
        if (l == e.name) return e.type;
    return PK_NONE;
}

unsigned pack_type_size(PackType t) {
    static constexpr unsigned kSize[] = {0, 1, 2, 4, 1, 2, 4, 4, 8};
    return kSize[t];
}

bool parse_template(std::string_view text, std::vector<pack_field>& out) {
    out.clear();
    TemplateTokens tok(text);
    for (;;) {
        std::string_view first = tok.next();
        if (first.empty()) break;
        pack_field f;
        std::string_view type = first;
        if (tok.peek() == "=") {
            tok.next();
            f.name = first;
            type = tok.next();
        }
        f.type = pack_type(type);
        if (f.type == PK_NONE) return false;
        if (tok.peek() == "[") {
            tok.next();
            if (!parse_count(tok.next(), f.count) || tok.next() != "]") return false;
        }
        out.push_back(std::move(f));
    }
    return !out.empty();
}

uint64_t template_size(const std::vector<pack_field>& fields) {
    uint64_t n = 0;
    for (const pack_field& f : fields)
        n += uint64_t(pack_type_size(f.type)) * (f.count ? f.count : 1);
    return n;
}

void pack_value(std::string& out, PackType t, const CellData& v) {
    double d = to_number(v);
    switch (t) {
    case PK_FLOAT: put_le(out, static_cast<float>(d)); return; // IEEE: overflow gives infinity
    case PK_DOUBLE: put_le(out, d); return;
    case PK_NONE: return;
    default: break;
    }
    uint64_t bits = static_cast<uint64_t>(to_int64(d)); // wraps: only the low bytes are kept
    unsigned size = pack_type_size(t);
    for (unsigned i = 0; i < size; ++i) out.push_back(static_cast<char>(bits >> (8 * i)));
}

double unpack_value(PackType t, const unsigned char* p) {
    switch (t) {
    case PK_CHAR: return static_cast<int8_t>(p[0]);
    case PK_SHORT: return get_le<int16_t>(p);
    case PK_LONG: return get_le<int32_t>(p);
    case PK_UCHAR: return p[0];
    case PK_USHORT: return get_le<uint16_t>(p);
    case PK_ULONG: return get_le<uint32_t>(p);
    case PK_FLOAT: return get_le<float>(p);
    case PK_DOUBLE: return get_le<double>(p);
    case PK_NONE: break;
    }
    return 0;
}

std::span<const BuiltinDef> pack_builtins() {
    return kPack;
}

} // namespace ruvo
