#include "io/fileio.h"

#include <cfloat>
#include <cmath>
#include <cstring>

#include "core/array.h"
#include "core/convert.h"
#include "core/sjis.h"
#include "core/string.h"
#include "core/text.h"
#include "eval/error.h"
#include "eval/scope.h"
#include "host/input.h"
#include "io/format.h"
#include "lib/args.h"
#include "lib/registry.h"

namespace ruvo {

VFile* std_file(StdFile which) {
    static const Atom in = intern("stdin");
    static const Atom out = intern("stdout");
    Atom name = which == StdFile::In ? in : out;
    Cell* c = scopes.lookup(name);
    if (!c) c = scopes.lookupGlobal(name);
    return c ? as_file(*c) : nullptr;
}

namespace {

using Args = std::span<Value>;

// The file argument of functions whose file position must hold a file object.
VFile* file_arg(const Value& v, int line, const char* fn) {
    VFile* f = as_file(v);
    if (!f) raise_bad_type(line, fn);
    return f;
}

VFile* default_file(StdFile which, int line, const char* fn) {
    VFile* f = std_file(which);
    if (!f) raise(line, "Cannot retrieve file handle in %s()", fn);
    return f;
}

// The optional leading file argument of read, write, print and printf: taken when the first
// argument is a file object; `first` is then the index of the first ordinary argument.
VFile* leading_file(Args args, StdFile which, int line, const char* fn, size_t& first) {
    VFile* f = args.empty() ? nullptr : as_file(args[0]);
    first = f ? 1 : 0;
    return f ? f : default_file(which, line, fn);
}

// ---- binary element types of read() and write() -----------------------------------------

struct BinType {
    const char* names[2];
    size_t size;
    bool is_signed;
    bool is_float;
    double lo, hi; // accepted range of integer values written
};

constexpr BinType kBinTypes[] = {
    {{"char", "sbyte"}, 1, true, false, -128.0, 255.0},
    {{"uchar", "byte"}, 1, false, false, -128.0, 255.0},
    {{"short", "int16"}, 2, true, false, -32768.0, 65535.0},
    {{"ushort", "uint16"}, 2, false, false, -32768.0, 65535.0},
    {{"long", "int32"}, 4, true, false, -2147483648.0, 4294967295.0},
    {{"ulong", "uint32"}, 4, false, false, -2147483648.0, 4294967295.0},
    {{"float", nullptr}, 4, true, true, 0, 0},
    {{"double", nullptr}, 8, true, true, 0, 0},
};

const BinType* find_type(std::string_view name) {
    for (const BinType& t : kBinTypes)
        for (const char* n : t.names)
            if (n && iequals_ascii(name, n)) return &t;
    return nullptr;
}

// Little-endian bytes to a number.
double decode_value(const BinType& t, const unsigned char* p) {
    uint64_t u = 0;
    for (size_t i = 0; i < t.size; ++i) u |= static_cast<uint64_t>(p[i]) << (8 * i);
    if (t.is_float) {
        if (t.size == 4) {
            uint32_t b = static_cast<uint32_t>(u);
            float f;
            std::memcpy(&f, &b, 4);
            return f;
        }
        double d;
        std::memcpy(&d, &u, 8);
        return d;
    }
    if (!t.is_signed) return static_cast<double>(u);
    unsigned shift = static_cast<unsigned>(64 - 8 * t.size);
    return static_cast<double>(static_cast<int64_t>(u << shift) >> shift);
}

// Rounds to single precision without the undefined conversion of values beyond its range.
float to_single(double d) {
    if (std::isnan(d) || std::fabs(d) <= FLT_MAX) return static_cast<float>(d);
    // Below the midpoint between FLT_MAX and the next power of two, rounding gives FLT_MAX.
    float big = std::fabs(d) < 0x1.ffffffp+127 ? FLT_MAX : INFINITY;
    return d < 0 ? -big : big;
}

void append_value(std::string& out, const BinType& t, double d) {
    uint64_t u;
    if (t.is_float && t.size == 4) {
        float f = to_single(d);
        uint32_t b;
        std::memcpy(&b, &f, 4);
        u = b;
    } else if (t.is_float) {
        std::memcpy(&u, &d, 8);
    } else {
        u = static_cast<uint64_t>(to_int64(d));
    }
    for (size_t i = 0; i < t.size; ++i) out += static_cast<char>((u >> (8 * i)) & 0xFF);
}

// The number an element written as `t` stands for; raises for what write() refuses.
double checked_value(const BinType& t, const CellData& v, int line) {
    if (!v.is_numeric()) raise(line, "Bad argument type in write()");
    double d = v.num();
    if (!t.is_float && (std::isnan(d) || d < t.lo || d > t.hi))
        raise(line, "Bad argument range in write()");
    return d;
}

bool read_value(VFile* f, const BinType& t, Value& out) {
    std::string b = f->read(t.size);
    if (b.size() < t.size) return false;
    out = Value(decode_value(t, reinterpret_cast<const unsigned char*>(b.data())));
    return true;
}

// ---- handlers -----------------------------------------------------------------------------

void bi_open(VContext&, int line, Args args, Value& result) {
    std::string_view name = arg_string(args[0], line);
    std::string_view mode = arg_string(args[1], line);
    std::string_view enc = args.size() > 2 ? arg_string(args[2], line) : "sjis";
    Value file(make_file(enc));
    VFile* f = as_file(file);
    if (!f) raise(line, "Unknown encoding string in open()");
    if (f->open(name, mode)) result = std::move(file);
}

void bi_close(VContext&, int line, Args args, Value& result) {
    result = Value(file_arg(args[0], line, "close")->close());
}

void bi_gets(VContext&, int line, Args args, Value& result) {
    VFile* f = args.empty() ? std_file(StdFile::In) : file_arg(args[0], line, "gets");
    if (!f) raise(line, "Cannot retrieve file handle in gets()");
    Value hold(f);
    std::string text = f->gets();
    // The end of one input file moves `stdin` on to the next.
    if (text.empty() && f == std_file(StdFile::In))
        while (text.empty() && f->eof() && next_input_file()) text = f->gets();
    result = make_string(std::move(text));
}

void bi_puts(VContext&, int line, Args args, Value& result) {
    VFile* f = args.size() == 2 ? file_arg(args[0], line, "puts")
                                : default_file(StdFile::Out, line, "puts");
    result = Value::boolean(f->puts(arg_string(args.back(), line)));
}

void bi_print(VContext&, int line, Args args, Value& result) {
    size_t first;
    VFile* f = leading_file(args, StdFile::Out, line, "print", first);
    std::string text;
    for (size_t i = first; i < args.size(); ++i) append_plain(text, args[i]);
    text += '\n';
    result = Value::boolean(f->puts(text));
}

void bi_printf(VContext&, int line, Args args, Value& result) {
    size_t first;
    VFile* f = leading_file(args, StdFile::Out, line, "printf", first);
    if (first >= args.size()) raise(line, "Too few arguments in printf()");
    std::string text;
    format_print(text, arg_string(args[first], line), args, first + 1);
    result = Value::boolean(f->puts(text));
}

void bi_sprintf(VContext&, int line, Args args, Value& result) {
    if (args.empty()) raise(line, "Too few arguments in sprintf()");
    std::string text;
    format_print(text, arg_string(args[0], line), args, 1);
    result = make_string(std::move(text));
}

void bi_format(VContext&, int line, Args args, Value& result) {
    result = make_string(set_number_format(arg_string(args[0], line)));
}

void bi_eof(VContext&, int line, Args args, Value& result) {
    // Without a file `stdin` has nothing more to read.
    VFile* f = args.empty() ? std_file(StdFile::In) : file_arg(args[0], line, "eof");
    result = Value::boolean(!f || f->eof());
}

void file_op(Args args, int line, Value& result, bool (VFile::*op)(), const char* fn) {
    result = Value::boolean((file_arg(args[0], line, fn)->*op)());
}
void bi_rewind(VContext&, int line, Args args, Value& result) {
    file_op(args, line, result, &VFile::rewind, "rewind");
}
void bi_flush(VContext&, int line, Args args, Value& result) {
    file_op(args, line, result, &VFile::flush, "flush");
}
void bi_binmode(VContext&, int line, Args args, Value& result) {
    file_op(args, line, result, &VFile::binmode, "binmode");
}
void bi_txtmode(VContext&, int line, Args args, Value& result) {
    file_op(args, line, result, &VFile::txtmode, "txtmode");
}

// read(n), read(type), read(count, type), each optionally after a file.
void bi_read(VContext&, int line, Args args, Value& result) {
    size_t i;
    VFile* f = leading_file(args, StdFile::In, line, "read", i);
    size_t rest = args.size() - i;
    if (rest == 1) {
        const Value& a = args[i];
        if (a.is_numeric()) {
            int32_t n = trunc_clamped<int32_t>(a.num());
            result = make_string(f->read(n > 0 ? static_cast<size_t>(n) : 0));
            return;
        }
        if (VString* s = a.as_string()) {
            const BinType* t = find_type(s->view());
            if (!t) raise(line, "Bad argument in read()");
            read_value(f, *t, result);
            return;
        }
    } else if (rest == 2) {
        int32_t count = arg_trunc32(args[i], line);
        const BinType* t = find_type(arg_string(args[i + 1], line));
        if (!t) raise(line, "Bad argument in read()");
        Value list(new VArray());
        Value v;
        for (int32_t k = 0; k < count && read_value(f, *t, v); ++k) list.as_array()->push(v);
        result = std::move(list);
        return;
    }
    raise(line, "Bad argument in read()");
}

// write(s), write(type, v), write(type, array), each optionally after a file.
void bi_write(VContext&, int line, Args args, Value& result) {
    size_t i;
    VFile* f = leading_file(args, StdFile::Out, line, "write", i);
    size_t rest = args.size() - i;
    if (rest == 1) {
        VString* s = args[i].as_string();
        if (!s) raise(line, "Bad argument in write()");
        result = Value(static_cast<double>(f->write(s->view())));
        return;
    }
    if (rest != 2) raise(line, "Bad argument in write()");
    const BinType* t = find_type(arg_string(args[i], line));
    if (!t) raise(line, "Bad argument in write()");
    const Value& v = args[i + 1];
    std::string bytes;
    if (VArray* a = v.as_array()) {
        // Every element is checked before anything is written.
        for (const Cell& c : a->cells) checked_value(*t, c, line);
        bytes.reserve(a->size() * t->size);
        for (const Cell& c : a->cells) append_value(bytes, *t, c.num());
    } else {
        append_value(bytes, *t, checked_value(*t, v, line));
    }
    result = Value(static_cast<double>(f->write(bytes)));
}

void bi_chr(VContext&, int line, Args args, Value& result) {
    double d = arg_number(args[0], line);
    std::string s;
    if (d > -129.0 && d < 65536.0) {
        int c = static_cast<int>(d);
        if (c < 0) c += 256;
        if (c <= 255) {
            s.assign(1, static_cast<char>(c));
        } else if (is_sjis_lead(static_cast<unsigned char>(c >> 8)) &&
                   is_sjis_trail(static_cast<unsigned char>(c & 0xFF))) {
            s += static_cast<char>(c >> 8);
            s += static_cast<char>(c & 0xFF);
        }
    }
    result = make_string(std::move(s));
}

void bi_ord(VContext&, int line, Args args, Value& result) {
    std::string_view s = arg_string(args[0], line);
    auto b = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    if (s.size() == 1)
        result = Value(static_cast<int>(b(0)));
    else if (s.size() == 2 && is_sjis_lead(b(0)) && is_sjis_trail(b(1)))
        result = Value(b(0) * 256 + b(1));
}

constexpr BuiltinDef kFileIo[] = {
    {"open", 2, bi_open},        {"open", 3, bi_open},    {"close", 1, bi_close},
    {"gets", 0, bi_gets},        {"gets", 1, bi_gets},    {"puts", 1, bi_puts},
    {"puts", 2, bi_puts},        {"eof", 0, bi_eof},      {"eof", 1, bi_eof},
    {"rewind", 1, bi_rewind},    {"flush", 1, bi_flush},  {"binmode", 1, bi_binmode},
    {"txtmode", 1, bi_txtmode},  {"read", 1, bi_read},    {"read", 2, bi_read},
    {"read", 3, bi_read},        {"write", 1, bi_write},  {"write", 2, bi_write},
    {"write", 3, bi_write},      {"chr", 1, bi_chr},      {"ord", 1, bi_ord},
    {"format", 1, bi_format},    {"print", -1, bi_print}, {"printf", -1, bi_printf},
    {"sprintf", -1, bi_sprintf},
};

} // namespace

std::span<const BuiltinDef> fileio_builtins() {
    return kFileIo;
}

} // namespace ruvo
