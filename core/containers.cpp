// Storage operations of VArray and VHash.
#include <algorithm>

#include "core/array.h"
#include "core/hash.h"
#include "core/string.h"

namespace ruvo {

VRef* VArray::clone() const {
    auto* a = new VArray();
    a->cells = cells; // every shared object gains one refs count
    return a;
}

void VArray::mark_children() {
    for (Cell& c : cells)
        if (VRef* o = c.obj()) o->mark();
}

bool VArray::set(long long i, const CellData& v) {
    if (i < 0) return false;
    if (static_cast<size_t>(i) >= cells.size()) cells.resize(static_cast<size_t>(i) + 1);
    cells[i].set(v);
    return true;
}

void VArray::resize(size_t n, const CellData& fill) {
    size_t old = cells.size();
    cells.resize(n);
    for (size_t i = old; i < n; ++i) cells[i].set(fill);
}

bool VArray::erase(long long i) {
    if (i < 0 || static_cast<size_t>(i) >= cells.size()) return false;
    cells.erase(cells.begin() + i);
    return true;
}

VRef* VHash::clone() const {
    auto* h = new VHash();
    h->map_ = map_;
    h->dirty_ = true;
    return h;
}

void VHash::mark_children() {
    for (auto& e : map_)
        if (VRef* o = e.second.obj()) o->mark();
}

Cell& VHash::get_or_insert(std::string_view key) {
    auto it = map_.find(key);
    if (it != map_.end()) return it->second;
    dirty_ = true;
    return map_.emplace(std::string(key), Cell()).first->second;
}

bool VHash::remove(std::string_view key, Value& out) {
    auto it = map_.find(key);
    if (it == map_.end()) return false;
    out = it->second;
    map_.erase(it);
    dirty_ = true;
    ++epoch_;
    return true;
}

void VHash::clear() {
    Map old;
    old.swap(map_); // releases happen after the hash is consistent again
    sorted_.clear();
    dirty_ = false;
    ++epoch_;
}

const std::vector<VHash::Entry*>& VHash::sorted() const {
    if (dirty_ || sorted_.size() != map_.size()) {
        sorted_.clear();
        sorted_.reserve(map_.size());
        for (auto& e : const_cast<Map&>(map_)) sorted_.push_back(&e);
        // std::string compares as unsigned bytes, a proper prefix first
        std::sort(sorted_.begin(), sorted_.end(),
                  [](const Entry* a, const Entry* b) { return a->first < b->first; });
        dirty_ = false;
    }
    return sorted_;
}

} // namespace ruvo
