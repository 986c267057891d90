// The core built-ins: type inspection, copies, sizes and keys, the container constructors,
// error raising, exit, the shell escape, eval and strict; and the conversions int, uint, num,
// str and convnum.
#include <cmath>
#include <cstdlib>
#include <sys/wait.h>

#include "core/array.h"
#include "core/convert.h"
#include "core/copy.h"
#include "core/hash.h"
#include "core/string.h"
#include "eval/context.h"
#include "eval/error.h"
#include "eval/evaluate.h"
#include "eval/scope.h"
#include "host/run.h"
#include "io/format.h"
#include "io/ostext.h"
#include "lib/args.h"
#include "lib/registry.h"

namespace ruvo {

namespace {

using Args = std::span<Value>;

void bi_type(VContext&, int, Args a, Value& r) {
    r = make_string(value_type_name(a[0]));
}

void bi_copy(VContext&, int line, Args a, Value& r) {
    r = shallow_copy(a[0], line);
}

void bi_deepcopy(VContext&, int line, Args a, Value& r) {
    r = deep_copy(a[0], line);
}

void bi_len(VContext&, int line, Args a, Value& r) {
    if (VString* s = a[0].as_string())
        r = Value(static_cast<double>(s->size()));
    else if (VArray* v = a[0].as_array())
        r = Value(static_cast<double>(v->size()));
    else if (VHash* h = a[0].as_hash())
        r = Value(static_cast<double>(h->size()));
    else
        raise_bad_type(line, "len");
}

void bi_keys(VContext&, int line, Args a, Value& r) {
    Value out(new VArray());
    VArray* o = out.as_array();
    if (VArray* v = a[0].as_array()) {
        o->cells.resize(v->size());
        for (size_t i = 0; i < v->size(); ++i) o->cells[i].set_num(static_cast<double>(i));
    } else if (VHash* h = a[0].as_hash()) {
        o->cells.reserve(h->size());
        for (const VHash::Entry* e : h->sorted()) o->push(make_string(e->first));
    } else {
        raise_bad_type(line, "keys");
    }
    r = std::move(out);
}

void bi_key(VContext&, int line, Args a, Value& r) {
    bool found = false;
    if (VHash* h = a[0].as_hash()) { // the commoner case first
        if (VString* k = a[1].as_string()) found = h->find(k->view()) != nullptr;
    } else if (VArray* v = a[0].as_array()) {
        if (a[1].is_numeric()) {
            double i = std::trunc(a[1].num());
            found = i >= 0 && i < static_cast<double>(v->size());
        }
    } else {
        raise_bad_type(line, "key");
    }
    r = Value::boolean(found);
}

void bi_gc(VContext&, int, Args, Value&) {
    objman.collect();
}

void bi_error(VContext&, int line, Args a, Value&) {
    std::string msg;
    for (const Value& v : a) append_plain(msg, v);
    raise_text(line, msg);
}

void bi_errorf(VContext&, int line, Args a, Value&) {
    std::string msg;
    if (!a.empty()) format_print(msg, arg_string(a[0], line), a, 1);
    raise_text(line, msg);
}

void bi_exit(VContext&, int line, Args a, Value&) {
    if (a.empty()) throw VExit{Value(), 0};
    throw VExit{a[0], line};
}

// The status of a shell command: its exit status, or 128 + n when signal n ended it.
int shell_status(int raw) {
    if (raw == -1) return -1;
    if (WIFEXITED(raw)) return WEXITSTATUS(raw);
    if (WIFSIGNALED(raw)) return 128 + WTERMSIG(raw);
    return raw;
}

void bi_system(VContext&, int, Args a, Value& r) {
    std::fflush(nullptr); // what the script printed comes before what the command prints
    std::string cmd;
    if (a.empty()) {
        const char* shell = std::getenv("SHELL");
        if (!shell || !*shell) {
            r = Value(0);
            return;
        }
        cmd = shell;
    } else {
        cmd = text_to_os(plain_form(a[0])); // the shell reads the locale's characters
    }
    r = Value(shell_status(std::system(cmd.c_str())));
}

void bi_eval(VContext&, int line, Args a, Value& r) {
    r = run_text(arg_string(a[0], line));
}

void bi_strict(VContext&, int, Args a, Value& r) {
    r = Value::boolean(scopes.strict);
    scopes.strict = to_bool(a[0]);
}

// Nested arrays for array() and arrayi().  The cells of all levels together are counted
// before anything is made: beyond the largest element count an array may reach, a mistyped
// size ends in an error at once instead of exhausting memory.

// The element count of one level: the size truncated toward zero, 0 when not positive.
double level_size(const Value& d) {
    double n = std::trunc(to_number(d));
    return n > 0 ? n : 0; // NaN fails the comparison too
}

void check_nested_size(Args dims, int line, const char* name) {
    // Every dimension is one level of native recursion in build_nested.
    // Levels below an empty one are never built, so they do not count.
    constexpr size_t kMaxDims = 4096;
    double cells = 0, arrays = 1;
    for (size_t i = 0; i < dims.size(); ++i) {
        arrays *= level_size(dims[i]);
        if (arrays == 0) return;
        cells += arrays;
        if (i >= kMaxDims || cells > static_cast<double>(kMaxArrayGrowth))
            raise(line, "Array size too large in %s()", name);
    }
}

Value build_nested(Args dims, size_t level, const Value& fill) {
    if (level == dims.size()) return fill; // an object fill is shared by every slot
    size_t n = static_cast<size_t>(level_size(dims[level]));
    Value out(new VArray(n));
    for (Cell& c : out.as_array()->cells) c.set(build_nested(dims, level + 1, fill));
    return out;
}

void bi_array(VContext&, int line, Args a, Value& r) {
    check_nested_size(a, line, "array");
    r = a.empty() ? Value(new VArray()) : build_nested(a, 0, Value());
}

void bi_arrayi(VContext&, int line, Args a, Value& r) {
    if (a.size() < 2) raise(line, "too few argument in arrayi()");
    check_nested_size(a.subspan(1), line, "arrayi");
    r = build_nested(a.subspan(1), 0, a[0]);
}

void bi_hash(VContext&, int line, Args a, Value& r) {
    Value out(new VHash());
    for (size_t i = 0; i < a.size(); i += 2) {
        std::string_view k = arg_string(a[i], line);
        out.as_hash()->set(k, i + 1 < a.size() ? a[i + 1] : Value());
    }
    r = std::move(out);
}

// n truncated toward zero when it lies in [lo, hi], else 0 (NaN included).  An integer has
// no negative zero: int(-0.5) is 0, not -0.
double trunc_in_range(double n, double lo, double hi) {
    return n >= lo && n <= hi ? std::trunc(n) + 0.0 : 0.0;
}

void bi_int(VContext&, int, Args a, Value& r) {
    r = Value(trunc_in_range(to_number(a[0]), -2147483648.0, 2147483647.0));
}

void bi_uint(VContext&, int, Args a, Value& r) {
    r = Value(trunc_in_range(to_number(a[0]), 0, 4294967295.0));
}

void bi_num(VContext&, int, Args a, Value& r) {
    r = Value(to_number(a[0]));
}

void bi_str(VContext&, int, Args a, Value& r) {
    r = make_string(plain_form(a[0]));
}

void bi_convnum(VContext&, int, Args a, Value& r) {
    double d;
    if (to_number_checked(a[0], d))
        r = Value(d);
    else
        r.set_null();
}

constexpr BuiltinDef kCore[] = {
    {"type", 1, bi_type},      {"copy", 1, bi_copy},      {"len", 1, bi_len, kBorrowsArgs},
    {"keys", 1, bi_keys},      {"key", 2, bi_key, kBorrowsArgs},        {"gc", 0, bi_gc},
    {"error", -1, bi_error},   {"errorf", -1, bi_errorf}, {"exit", 0, bi_exit},
    {"exit", 1, bi_exit},      {"system", 0, bi_system},  {"system", 1, bi_system},
    {"eval", 1, bi_eval},      {"strict", 1, bi_strict},  {"array", -1, bi_array},
    {"arrayi", -1, bi_arrayi}, {"hash", -1, bi_hash},
};

constexpr BuiltinDef kDeepCopy[] = {{"deepcopy", 1, bi_deepcopy}};

constexpr BuiltinDef kConversions[] = {
    {"int", 1, bi_int}, {"uint", 1, bi_uint},       {"num", 1, bi_num},
    {"str", 1, bi_str}, {"convnum", 1, bi_convnum},
};

} // namespace

std::span<const BuiltinDef> core_builtins() {
    return kCore;
}
std::span<const BuiltinDef> deepcopy_builtins() {
    return kDeepCopy;
}
std::span<const BuiltinDef> conversion_builtins() {
    return kConversions;
}

} // namespace ruvo
