// The array built-ins: stack and queue operations, removal by index or key, split and join,
// concatenation, slices and splices, resizing, stable sorting with an optional script
// comparator, reversal, and map, grep and rmap, which call a script function over the
// elements of one or more arrays in step.
//
// Functions that call script code back (sort with a comparator, map, grep, rmap) work on
// copies of the elements held by transient values, so a callback that changes the array it
// works on cannot pull cells out from under them; and they count the called overload as
// running for their whole duration, so a callback that redefines it cannot free it.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

#include "core/array.h"
#include "core/convert.h"
#include "core/hash.h"
#include "core/operators.h"
#include "core/sjis.h"
#include "core/string.h"
#include "core/text.h"
#include "eval/context.h"
#include "eval/error.h"
#include "eval/evaluate.h"
#include "eval/funcref.h"
#include "lib/args.h"
#include "lib/regexp.h"
#include "lib/registry.h"

namespace ruvo {

namespace {

using Args = std::span<Value>;

VArray* array_arg(const Value& v, int line, const char* name) {
    VArray* a = v.as_array();
    if (!a) raise_bad_type(line, name);
    return a;
}

void bi_push(VContext&, int line, Args a, Value&) {
    array_arg(a[0], line, "push")->push(a[1]);
}

void bi_pop(VContext&, int line, Args a, Value& r) {
    VArray* v = array_arg(a[0], line, "pop");
    if (v->cells.empty()) return;
    r = v->cells.back();
    v->cells.pop_back();
}

void bi_unshift(VContext&, int line, Args a, Value&) {
    VArray* v = array_arg(a[0], line, "unshift");
    v->cells.insert(v->cells.begin(), Cell(a[1]));
}

void bi_shift(VContext&, int line, Args a, Value& r) {
    VArray* v = array_arg(a[0], line, "shift");
    if (v->cells.empty()) return;
    r = v->cells.front();
    v->cells.erase(v->cells.begin());
}

void bi_clear(VContext&, int line, Args a, Value&) {
    if (VArray* v = a[0].as_array()) {
        CellVector old;
        old.swap(v->cells);
    } else if (VHash* h = a[0].as_hash()) {
        h->clear();
    } else {
        raise_bad_type(line, "clear");
    }
}

void bi_erase(VContext&, int line, Args a, Value& r) {
    if (VArray* v = a[0].as_array(); v && a[1].is_numeric()) {
        // The index as a 32-bit integer, which the message shows; NaN names no element.
        double d = a[1].num();
        int32_t i = std::isnan(d) ? INT32_MIN : trunc_clamped<int32_t>(d);
        if (i < 0 || static_cast<size_t>(i) >= v->size())
            raise(line, "Bad array index %d in erase()", i);
        r = v->cells[static_cast<size_t>(i)];
        v->erase(i);
        return;
    }
    if (VHash* h = a[0].as_hash()) {
        if (VString* k = a[1].as_string()) {
            if (!h->remove(k->view(), r))
                // built whole: a key may hold NUL bytes or be longer than a formatted message
                raise_text(line, "Bad hash index " + k->str + " in erase()");
            return;
        }
    }
    raise_bad_type(line, "erase");
}

// The pieces split finds, gathered before the array is made so that its cells are allocated
// once, at their final number.  split runs no script code, so one list serves every call;
// a list grown past kKeptPieces is given back afterwards.
std::vector<std::string_view>& split_pieces() {
    static std::vector<std::string_view> pieces;
    return pieces;
}
constexpr size_t kKeptPieces = 4096;

void bi_split(VContext&, int line, Args a, Value& r) {
    VString* s = a[0].as_string();
    if (!s) raise_bad_type(line, "split");
    std::vector<std::string_view>& pieces = split_pieces();
    pieces.clear();
    std::string_view rest = s->view();
    if (a.size() < 2 || a[1].as_string()) {
        std::string_view sep = a.size() < 2 ? std::string_view() : a[1].as_string()->view();
        if (sep.size() == 1) {
            // One byte, the common separator: one pass over the text, a piece at each
            // separator and the rest when it is not empty.  Words are short, so the bytes are
            // looked at in place rather than by a library call per piece.
            const char c = sep[0];
            const char* start = rest.data();
            const char* end = start + rest.size();
            for (const char* q = start; q != end; ++q)
                if (*q == c) {
                    pieces.emplace_back(start, static_cast<size_t>(q - start));
                    start = q + 1;
                }
            if (start != end) pieces.emplace_back(start, static_cast<size_t>(end - start));
            rest = {};
        }
        while (!rest.empty()) {
            size_t p = find_bytes(rest, sep);
            if (p == std::string_view::npos) break;
            if (p == 0 && sep.empty()) p = sjis_char_len(rest);
            pieces.push_back(rest.substr(0, p));
            rest.remove_prefix(std::min(rest.size(), p + sep.size()));
        }
        if (!rest.empty()) pieces.push_back(rest);
    } else if (a[1].kind() == VKind::RegExp) {
        RegExp* re = as_regexp(a[1])->re;
        while (!rest.empty()) {
            regexp_spans m;
            if (!re->find(rest, m)) {
                pieces.push_back(rest);
                break;
            }
            size_t b = static_cast<size_t>(m.beg[0]), e = static_cast<size_t>(m.end[0]);
            if (e == 0) { // an empty match at the start: the piece is one character
                size_t n = sjis_char_len(rest);
                pieces.push_back(rest.substr(0, n));
                rest.remove_prefix(n);
            } else {
                pieces.push_back(rest.substr(0, b));
                rest.remove_prefix(e);
            }
        }
    } else {
        raise_bad_type(line, "split");
    }
    Value out(new VArray());
    VArray* o = out.as_array();
    o->cells.reserve(pieces.size());
    for (std::string_view p : pieces) o->cells.emplace_back(new VString(p));
    if (pieces.capacity() > kKeptPieces) std::vector<std::string_view>().swap(pieces);
    r = std::move(out);
}

void bi_join(VContext&, int line, Args a, Value& r) {
    VArray* v = array_arg(a[0], line, "join");
    std::string_view sep = a.size() > 1 ? arg_string(a[1], line) : std::string_view();
    std::string out;
    for (size_t i = 0; i < v->cells.size(); ++i) {
        if (i) out += sep;
        append_plain(out, v->cells[i]);
    }
    r = make_string(std::move(out));
}

void bi_cat(VContext&, int, Args a, Value& r) {
    Value out(new VArray());
    VArray* o = out.as_array();
    for (const Value& x : a) {
        if (VArray* v = x.as_array()) {
            CellVector copy(v->cells); // x may be the same array twice
            for (Cell& c : copy) o->cells.push_back(std::move(c));
        } else {
            o->push(x);
        }
    }
    r = std::move(out);
}

void bi_slice(VContext&, int line, Args a, Value& r) {
    VArray* v = array_arg(a[0], line, "slice");
    long long n = static_cast<long long>(v->size());
    long long start = arg_trunc32(a[1], line);
    if (start < 0) start = std::max(0LL, n + start);
    long long count = a.size() > 2 ? arg_trunc32(a[2], line) : n - start;
    if (count < 0) count = 0;
    Value out(new VArray());
    if (start < n) {
        long long end = start + std::min(count, n - start);
        out.as_array()->cells.assign(v->cells.begin() + start, v->cells.begin() + end);
    }
    r = std::move(out);
}

void bi_splice(VContext&, int line, Args a, Value& r) {
    VArray* v = array_arg(a[0], line, "splice");
    long long n = static_cast<long long>(v->size());
    long long start = arg_trunc32(a[1], line);
    if (start < 0) start = std::max(0LL, n + start);
    if (start > n) start = n; // past the end: nothing to remove, insert at the end
    long long avail = n - start;
    long long count = a.size() > 2 ? arg_trunc32(a[2], line) : avail;
    if (count < 0) count = std::max(0LL, avail + count);
    if (count > avail) count = avail;
    Value removed(new VArray());
    auto first = v->cells.begin() + start;
    removed.as_array()->cells.assign(std::make_move_iterator(first),
                                     std::make_move_iterator(first + count));
    v->cells.erase(first, first + count);
    if (a.size() > 3) {
        CellVector ins;
        if (VArray* iv = a[3].as_array())
            ins = iv->cells; // may be v itself: copy before inserting
        else
            ins.emplace_back(a[3]);
        v->cells.insert(v->cells.begin() + start, std::make_move_iterator(ins.begin()),
                        std::make_move_iterator(ins.end()));
    }
    r = std::move(removed);
}

void bi_resize(VContext&, int line, Args a, Value&) {
    VArray* v = array_arg(a[0], line, "resize");
    if (!a[1].is_numeric()) raise_bad_type(line, "resize");
    double n = std::trunc(a[1].num());
    if (!(n >= 0)) n = 0; // a negative (or NaN) size empties the array
    if (n > static_cast<double>(kMaxArrayGrowth)) raise(line, "Array size too large in resize()");
    Value fill = a.size() > 2 ? a[2] : Value();
    v->resize(static_cast<size_t>(n), fill);
}

void bi_reverse(VContext&, int line, Args a, Value&) {
    VArray* v = array_arg(a[0], line, "reverse");
    std::reverse(v->cells.begin(), v->cells.end());
}

// The overload of a function reference that takes `k` arguments, or null.
func_data* callable(const Value& f, int k) {
    VFuncRef* ref = as_funcref(f);
    return ref ? ref->info->select(k) : nullptr;
}

// A stable merge sort that stays within bounds whatever the comparator answers (a script
// comparator need not be consistent, and NaN is unordered).
template <typename T, typename Less> void merge_sort(std::vector<T>& v, Less less) {
    size_t n = v.size();
    std::vector<T> buf(n);
    for (size_t width = 1; width < n; width *= 2) {
        for (size_t lo = 0; lo < n; lo += 2 * width) {
            size_t mid = std::min(lo + width, n), hi = std::min(lo + 2 * width, n);
            size_t i = lo, j = mid, k = lo;
            while (i < mid && j < hi) {
                // the right element goes first only when it is strictly before the left one
                if (less(v[j], v[i]))
                    buf[k++] = std::move(v[j++]);
                else
                    buf[k++] = std::move(v[i++]);
            }
            while (i < mid) buf[k++] = std::move(v[i++]);
            while (j < hi) buf[k++] = std::move(v[j++]);
        }
        v.swap(buf);
    }
}

void bi_sort(VContext& ctx, int line, Args a, Value&) {
    VArray* v = array_arg(a[0], line, "sort");
    if (a.size() > 1) {
        func_data* fd = callable(a[1], 2);
        if (!fd) raise_bad_type(line, "sort");
        ActiveCall running(fd);
        std::vector<Value> items(v->cells.begin(), v->cells.end());
        merge_sort(items, [&](const Value& x, const Value& y) {
            Value pair[2] = {x, y};
            return to_bool(callFunction(ctx, line, fd, std::span<Value>(pair, 2)));
        });
        v->cells.assign(items.begin(), items.end());
        return;
    }
    bool numeric =
        std::all_of(v->cells.begin(), v->cells.end(), [](const Cell& c) { return c.is_numeric(); });
    std::vector<uint32_t> order(v->size());
    for (uint32_t i = 0; i < order.size(); ++i) order[i] = i;
    if (numeric) {
        std::vector<double> keys(v->size());
        for (size_t i = 0; i < keys.size(); ++i) keys[i] = v->cells[i].num();
        // NaN is never less than anything
        merge_sort(order, [&](uint32_t x, uint32_t y) { return keys[x] < keys[y]; });
    } else {
        // std::string compares its bytes as unsigned char, a proper prefix first
        std::vector<std::string> keys(v->size());
        for (size_t i = 0; i < keys.size(); ++i) keys[i] = plain_form(v->cells[i]);
        merge_sort(order, [&](uint32_t x, uint32_t y) { return keys[x] < keys[y]; });
    }
    CellVector sorted;
    sorted.reserve(order.size());
    for (uint32_t i : order) sorted.push_back(std::move(v->cells[i]));
    v->cells.swap(sorted);
}

// The common length of the array arguments among xs, or -1 when none is an array; arrays of
// different lengths raise "Array size not match in name()".
long long common_length(Args xs, int line, const char* name) {
    long long n = -1;
    for (const Value& x : xs)
        if (VArray* v = x.as_array()) {
            if (n < 0)
                n = static_cast<long long>(v->size());
            else if (static_cast<long long>(v->size()) != n)
                raise(line, "Array size not match in %s()", name);
        }
    return n;
}

// The arguments of step i: element i of every array among xs (null once a callback has
// shortened it), the other values as they are.
std::vector<Value> step_args(Args xs, size_t i) {
    std::vector<Value> call(xs.size());
    for (size_t j = 0; j < xs.size(); ++j) {
        if (VArray* v = xs[j].as_array())
            call[j] = i < v->size() ? Value(v->cells[i]) : Value();
        else
            call[j] = xs[j];
    }
    return call;
}

void bi_map(VContext& ctx, int line, Args a, Value& r) {
    if (a.size() < 2) raise(line, "Too few arguments in map()");
    func_data* fd = callable(a[0], static_cast<int>(a.size() - 1));
    if (!fd) raise_bad_type(line, "map");
    ActiveCall running(fd);
    std::vector<Value> xs(a.begin() + 1, a.end());
    long long n = common_length(xs, line, "map");
    if (n < 0) n = 1; // no array argument: one call
    Value out(new VArray());
    for (long long i = 0; i < n; ++i) {
        std::vector<Value> call = step_args(xs, static_cast<size_t>(i));
        out.as_array()->push(callFunction(ctx, line, fd, call));
    }
    r = std::move(out);
}

void bi_grep(VContext& ctx, int line, Args a, Value& r) {
    if (a.size() < 2) raise(line, "Too few arguments in grep()");
    func_data* fd = callable(a[0], static_cast<int>(a.size() - 1));
    if (!fd || !a[1].as_array()) raise_bad_type(line, "grep");
    ActiveCall running(fd);
    std::vector<Value> xs(a.begin() + 1, a.end());
    long long n = common_length(xs, line, "grep");
    Value out(new VArray());
    for (long long i = 0; i < n; ++i) {
        std::vector<Value> call = step_args(xs, static_cast<size_t>(i));
        // the element f was asked about, whatever f does to the array meanwhile
        Value tested = call[0];
        if (to_bool(callFunction(ctx, line, fd, call))) out.as_array()->push(tested);
    }
    r = std::move(out);
}

// Nesting deeper than this ends in an error instead of exhausting the native stack.
constexpr int kMaxRmapDepth = 10000;

Value rmap_apply(VContext& ctx, int line, func_data* fd, Args list, int depth) {
    long long n = common_length(list, line, "rmap");
    if (n < 0) return callFunction(ctx, line, fd, list);
    if (depth > kMaxRmapDepth) raise(line, "Recursion limit exceeded");
    Value out(new VArray());
    for (long long i = 0; i < n; ++i) {
        std::vector<Value> inner = step_args(list, static_cast<size_t>(i));
        out.as_array()->push(rmap_apply(ctx, line, fd, inner, depth + 1));
    }
    return out;
}

void bi_rmap(VContext& ctx, int line, Args a, Value& r) {
    if (a.size() < 2) raise(line, "Too few arguments in rmap()");
    func_data* fd = callable(a[0], static_cast<int>(a.size() - 1));
    if (!fd) raise_bad_type(line, "rmap");
    for (size_t j = 1; j < a.size(); ++j)
        if (VArray* x = a[j].as_array(); x && has_repeated_array(x))
            raise(line, "Recursive array detected in rmap()");
    ActiveCall running(fd);
    std::vector<Value> list(a.begin() + 1, a.end());
    r = rmap_apply(ctx, line, fd, list, 0);
}

constexpr BuiltinDef kArrays[] = {
    {"push", 2, bi_push},     {"pop", 1, bi_pop},       {"unshift", 2, bi_unshift},
    {"shift", 1, bi_shift},   {"clear", 1, bi_clear},   {"erase", 2, bi_erase},
    {"split", 1, bi_split, kBorrowsArgs}, {"split", 2, bi_split, kBorrowsArgs},   {"join", 1, bi_join},
    {"join", 2, bi_join},     {"cat", -1, bi_cat},      {"slice", 2, bi_slice},
    {"slice", 3, bi_slice},   {"splice", 2, bi_splice}, {"splice", 3, bi_splice},
    {"splice", 4, bi_splice}, {"resize", 2, bi_resize}, {"resize", 3, bi_resize},
    {"sort", 1, bi_sort},     {"sort", 2, bi_sort},     {"reverse", 1, bi_reverse},
    {"map", -1, bi_map},      {"grep", -1, bi_grep},    {"rmap", -1, bi_rmap},
};

} // namespace

std::span<const BuiltinDef> array_builtins() {
    return kArrays;
}

} // namespace ruvo
