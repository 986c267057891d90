#include "core/operators.h"

#include <cmath>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "core/array.h"
#include "core/convert.h"
#include "core/string.h"
#include "eval/error.h"
#include "lib/regexp.h"

namespace ruvo {

// The walk uses its own stack: nests may be far deeper than the native stack.  Once this
// has passed, the arrays under [root] form a tree, so element-wise walks end and build no
// shared parts.
bool has_repeated_array(const VArray* root) {
    bool nested = false;
    for (const Cell& c : root->cells)
        if (c.as_array()) {
            nested = true;
            break;
        }
    if (!nested) return false; // the common flat array needs no memory of what it met

    std::unordered_set<const VArray*> seen;
    std::vector<const VArray*> todo;
    seen.insert(root);
    todo.push_back(root);
    while (!todo.empty()) {
        const VArray* a = todo.back();
        todo.pop_back();
        for (const Cell& c : a->cells)
            if (const VArray* inner = c.as_array()) {
                if (!seen.insert(inner).second) return true;
                todo.push_back(inner);
            }
    }
    return false;
}

namespace {

const char* arith_symbol(ArithOp op) {
    switch (op) {
    case ArithOp::Add: return "+";
    case ArithOp::Sub: return "-";
    case ArithOp::Mul: return "*";
    case ArithOp::Div: return "/";
    case ArithOp::Mod: return "%";
    case ArithOp::IDiv: return "\\";
    case ArithOp::Pow: return "**";
    }
    return "?";
}

const char* cmp_symbol(CmpOp op) {
    switch (op) {
    case CmpOp::Lt: return "<";
    case CmpOp::Le: return "<=";
    case CmpOp::Gt: return ">";
    case CmpOp::Ge: return ">=";
    }
    return "?";
}

const char* bit_symbol(BitOp op) {
    switch (op) {
    case BitOp::And: return "&";
    case BitOp::Or: return "|";
    case BitOp::Xor: return "^";
    case BitOp::Shl: return "<<";
    case BitOp::Shr: return ">>";
    case BitOp::UShr: return ">>>";
    }
    return "?";
}

[[noreturn]] void bad_type(const char* symbol, int line) {
    raise(line, "Bad type operation in operator %s", symbol);
}

// Raises the recursion message when some array is reachable from [root] twice.
void check_repeated(const VArray* root, const char* symbol, int line) {
    if (has_repeated_array(root)) raise(line, "Recursive array detected in operator %s", symbol);
}

// Whether some array under [root] (itself included) holds itself, directly or further down.
// An inner array met twice on different paths is no cycle: the walk just visits it again.
bool has_cyclic_array(const VArray* root) {
    if (!has_repeated_array(root)) return false; // a tree has no cycle
    struct Step {
        const VArray* a;
        size_t next;
    };
    std::unordered_map<const VArray*, bool> on_path; // false once its walk is done
    std::vector<Step> path;
    on_path.emplace(root, true);
    path.push_back({root, 0});
    while (!path.empty()) {
        Step& s = path.back();
        if (s.next == s.a->cells.size()) {
            on_path[s.a] = false;
            path.pop_back();
            continue;
        }
        const VArray* inner = s.a->cells[s.next++].as_array();
        if (!inner) continue;
        auto [it, fresh] = on_path.try_emplace(inner, true);
        if (!fresh) {
            if (it->second) return true;
            continue;
        }
        path.push_back({inner, 0}); // s is not used after this
    }
    return false;
}

// `**` skips the repetition test: an array shared twice is raised to the power at each
// place.  Only an array that holds itself is refused, since its walk would never end.
void check_cyclic(const VArray* root, int line) {
    if (has_cyclic_array(root)) raise(line, "Recursive array detected in operator **");
}

} // namespace

Value concat_plain(const CellData& a, const CellData& b) {
    char ba[kNumberTextMax], bb[kNumberTextMax];
    std::string_view x, y;
    VString* s;
    if (short_plain(a, ba, x) && short_plain(b, bb, y)) {
        s = new VString(x);
        string_buffers.reserve(s->str, x.size() + y.size());
        s->str.append(y);
    } else {
        s = new VString();
        append_plain(s->str, a);
        append_plain(s->str, b);
    }
    return Value(s);
}

namespace {

Value arith_scalar(ArithOp op, const CellData& a, const CellData& b, int line) {
    if (a.is_numeric() && b.is_numeric()) {
        double x = a.num(), y = b.num();
        switch (op) {
        case ArithOp::Add: return Value(x + y);
        case ArithOp::Sub: return Value(x - y);
        case ArithOp::Mul: return Value(x * y);
        case ArithOp::Div: return Value(x / y);
        case ArithOp::IDiv:
            if (y == 0.0) raise(line, "Division by 0");
            // An infinite or NaN quotient has no 64-bit integer; to_int64 makes it 0.
            return Value(static_cast<double>(to_int64(x / y)));
        case ArithOp::Mod:
            if (y == 0.0) raise(line, "Division by 0");
            return Value(std::fmod(x, y));
        case ArithOp::Pow: return Value(std::pow(x, y));
        }
    }
    if (op == ArithOp::Add && (a.as_string() || b.as_string())) return concat_plain(a, b);
    bad_type(arith_symbol(op), line);
}

// One array under construction: element i of [out] is op applied to element i of the
// operands (an operand that is not an array takes part whole at every index).
struct ArithFrame {
    const CellData* a;
    const CellData* b;
    VArray* out;
    size_t next;
};

// The length of the array made from two operands, at least one of them an array (sizes of
// two arrays have been checked to agree).
size_t pair_size(const VArray* xa, const VArray* xb) {
    return xa ? xa->size() : xb->size();
}

Value arith_elementwise(ArithOp op, const CellData& a, const CellData& b, int line) {
    const VArray* ra = a.as_array();
    const VArray* rb = b.as_array();
    if (ra && rb && ra->size() != rb->size()) raise(line, "Array size not match");
    VArray* root = new VArray(pair_size(ra, rb));
    Value result(root);
    std::vector<ArithFrame> stack;
    stack.push_back({&a, &b, root, 0});
    while (!stack.empty()) {
        ArithFrame& f = stack.back();
        if (f.next == f.out->size()) {
            stack.pop_back();
            continue;
        }
        size_t i = f.next++;
        const VArray* fa = f.a->as_array();
        const VArray* fb = f.b->as_array();
        const CellData* ea = fa ? &fa->cells[i] : f.a;
        const CellData* eb = fb ? &fb->cells[i] : f.b;
        const VArray* xa = ea->as_array();
        const VArray* xb = eb->as_array();
        Cell& slot = f.out->cells[i];
        if (!xa && !xb) {
            slot = arith_scalar(op, *ea, *eb, line);
            continue;
        }
        if (xa && xb && xa->size() != xb->size()) raise(line, "Array size not match");
        VArray* child = new VArray(pair_size(xa, xb));
        slot = Value(child);
        stack.push_back({ea, eb, child, 0}); // f is not used after this
    }
    return result;
}

struct NegFrame {
    const VArray* in;
    VArray* out;
    size_t next;
};

Value neg_elementwise(const VArray* root_in, int line) {
    VArray* root = new VArray(root_in->size());
    Value result(root);
    std::vector<NegFrame> stack;
    stack.push_back({root_in, root, 0});
    while (!stack.empty()) {
        NegFrame& f = stack.back();
        if (f.next == f.in->size()) {
            stack.pop_back();
            continue;
        }
        size_t i = f.next++;
        const Cell& e = f.in->cells[i];
        Cell& slot = f.out->cells[i];
        if (const VArray* inner = e.as_array()) {
            VArray* child = new VArray(inner->size());
            slot = Value(child);
            stack.push_back({inner, child, 0});
        } else if (e.is_numeric()) {
            slot.set_num(-e.num());
        } else {
            bad_type("-", line);
        }
    }
    return result;
}

// The plain form of [v] as bytes: a string's own bytes, else the text built in [buf].
std::string_view plain_view(const CellData& v, std::string& buf) {
    if (const VString* s = v.as_string()) return s->view();
    append_plain(buf, v);
    return buf;
}

} // namespace

int compare_bytes(std::string_view x, std::string_view y) {
    size_t n = x.size() < y.size() ? x.size() : y.size();
    int c = n ? std::memcmp(x.data(), y.data(), n) : 0;
    if (c != 0) return c;
    return x.size() < y.size() ? -1 : (x.size() > y.size() ? 1 : 0);
}

namespace {

RegExp* regexp_of(const CellData& v) {
    VRegExp* r = as_regexp(v);
    return r ? r->re : nullptr;
}

} // namespace

Value op_arith(ArithOp op, const Value& a, const Value& b, int line) {
    const VArray* xa = a.as_array();
    const VArray* xb = b.as_array();
    if (!xa && !xb) return arith_scalar(op, a, b, line);
    if (op == ArithOp::Pow) {
        if (xa) check_cyclic(xa, line);
        if (xb) check_cyclic(xb, line);
        return arith_elementwise(op, a, b, line);
    }
    const char* symbol = arith_symbol(op);
    if (xa) check_repeated(xa, symbol, line);
    if (xb) check_repeated(xb, symbol, line);
    return arith_elementwise(op, a, b, line);
}

Value op_neg(const Value& a, int line) {
    if (a.is_numeric()) return Value(-a.num());
    const VArray* xa = a.as_array();
    if (!xa) bad_type("-", line);
    check_repeated(xa, "-", line);
    return neg_elementwise(xa, line);
}

bool op_compare(CmpOp op, const Value& a, const Value& b, int line) {
    int c;
    if (a.is_numeric() && b.is_numeric()) {
        double x = a.num(), y = b.num();
        switch (op) {
        case CmpOp::Lt: return x < y;
        case CmpOp::Le: return x <= y;
        case CmpOp::Gt: return x > y;
        case CmpOp::Ge: return x >= y;
        }
        return false;
    } else if (a.as_string() || b.as_string()) {
        std::string ba, bb;
        c = compare_bytes(plain_view(a, ba), plain_view(b, bb));
    } else {
        raise(line, "Bad type operation in operator %s", cmp_symbol(op));
    }
    switch (op) {
    case CmpOp::Lt: return c < 0;
    case CmpOp::Le: return c <= 0;
    case CmpOp::Gt: return c > 0;
    case CmpOp::Ge: return c >= 0;
    }
    return false;
}

bool op_equal(const Value& a, const Value& b) {
    if (a.is_numeric() && b.is_numeric()) return a.num() == b.num(); // false for NaN
    RegExp* ra = regexp_of(a);
    RegExp* rb = regexp_of(b);
    if ((ra != nullptr) != (rb != nullptr)) {
        std::string buf;
        return (ra ? ra : rb)->match(plain_view(ra ? b : a, buf));
    }
    if (a.as_string() || b.as_string()) {
        std::string ba, bb;
        return plain_view(a, ba) == plain_view(b, bb);
    }
    const VArray* xa = a.as_array();
    const VArray* xb = b.as_array();
    if (xa && xb && xa->size() == 0 && xb->size() == 0) return true;
    if (!a.is_numeric() && !b.is_numeric()) return a.obj() == b.obj();
    return false;
}

bool op_strict_equal(const Value& a, const Value& b) {
    if (a.tag() != b.tag()) return false;
    if (a.is_numeric()) {
        double x = a.num(), y = b.num();
        if (std::isnan(x) || std::isnan(y)) return std::isnan(x) && std::isnan(y);
        return x == y;
    }
    return a.obj() == b.obj();
}

Value op_bitnot(const Value& a, int line) {
    if (!a.is_numeric()) bad_type("~", line);
    return Value(static_cast<double>(~to_int32_wrap(a.num())));
}

Value op_bit(BitOp op, const Value& a, const Value& b, int line) {
    if (!a.is_numeric() || !b.is_numeric()) bad_type(bit_symbol(op), line);
    uint32_t x = static_cast<uint32_t>(to_int32_wrap(a.num()));
    uint32_t y = static_cast<uint32_t>(to_int32_wrap(b.num()));
    uint32_t r = 0;
    switch (op) {
    case BitOp::And: r = x & y; break;
    case BitOp::Or: r = x | y; break;
    case BitOp::Xor: r = x ^ y; break;
    case BitOp::Shl: r = x << (y & 31); break;
    case BitOp::Shr: r = static_cast<uint32_t>(static_cast<int32_t>(x) >> (y & 31)); break;
    case BitOp::UShr: r = x >> (y & 31); break;
    }
    return Value(static_cast<double>(static_cast<int32_t>(r)));
}

bool op_match(const Value& a, const Value& b, bool negate, int line) {
    RegExp* re = regexp_of(a);
    const VString* s = b.as_string();
    if (!re || !s) {
        re = regexp_of(b);
        s = a.as_string();
    }
    if (!re || !s) bad_type(negate ? "!~" : "=~", line);
    return re->match(s->view()) != negate;
}

} // namespace ruvo
