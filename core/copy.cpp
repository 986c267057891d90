#include "core/copy.h"

#include <unordered_map>
#include <vector>

#include "core/array.h"
#include "core/hash.h"
#include "core/string.h"
#include "eval/error.h"

namespace ruvo {

Value shallow_copy(const Value& v, int line) {
    VRef* o = v.obj();
    if (!o) return v;
    VRef* c = o->clone();
    if (!c) raise(line, "Object not clonable in copy()");
    return Value(c);
}

namespace {

struct DeepCopier {
    int line;
    std::unordered_map<const VRef*, VRef*> memo;
    // Containers made but not filled yet, with their sources.
    std::vector<std::pair<VRef*, VRef*>> todo;

    // The copy of one cell's value; new containers are queued to be filled later.  The copy
    // is the same whether a container is filled now or later, because the memo table keys
    // on the source object.
    Value copy(const CellData& v) {
        VRef* o = v.obj();
        if (!o) {
            // Numbers, booleans and null stay as they are (a boolean keeps its tag).
            if (v.is_bool()) return Value::boolean_raw(v.num());
            return v.is_number() ? Value(v.num()) : Value();
        }
        auto it = memo.find(o);
        if (it != memo.end()) return Value(it->second);
        VRef* c;
        switch (o->kind) {
        case VKind::String: c = o->clone(); break;
        case VKind::Array: c = new VArray(); break;
        case VKind::Hash: c = new VHash(); break;
        default: raise(line, "Object not clonable in deepcopy()");
        }
        Value held(c);
        memo.emplace(o, c);
        if (o->kind != VKind::String) todo.emplace_back(o, c);
        return held;
    }
};

} // namespace

Value deep_copy(const Value& v, int line) {
    if (!v.obj()) return v;
    DeepCopier dc{line, {}, {}};
    Value root = dc.copy(v);
    // Every container made is held by root's structure (or is root), so nothing dies here.
    while (!dc.todo.empty()) {
        auto [src, dst] = dc.todo.back();
        dc.todo.pop_back();
        if (src->kind == VKind::Array) {
            auto* s = static_cast<VArray*>(src);
            auto* d = static_cast<VArray*>(dst);
            d->cells.reserve(s->cells.size());
            for (size_t i = 0; i < s->cells.size(); ++i) {
                Value e = dc.copy(s->cells[i]);
                d->push(e);
            }
        } else {
            auto* s = static_cast<VHash*>(src);
            auto* d = static_cast<VHash*>(dst);
            for (const VHash::Entry* e : s->sorted()) {
                Value c = dc.copy(e->second);
                d->set(e->first, c);
            }
        }
    }
    return root;
}

} // namespace ruvo
