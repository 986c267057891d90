// Storage operations of VArray and VHash.
#include <algorithm>

#include "core/array.h"
#include "core/hash.h"
#include "core/string.h"

namespace ruvo {

VArray::~VArray() {
    // A string that only this array holds dies with it, and a string holds nothing, so its
    // death is its deletion: what the release and the registry would come to, without the
    // calls.  While the collector sweeps, releases are off and the sweep frees the strings.
    if (objman.sweeping) return;
    for (Cell& c : cells)
        if (VString* s = c.as_string(); s && s->refs == 1 && s->locks == 0) {
            c.take_object();
            delete s;
        }
}

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

bool same_long_bytes(const char* p, const char* q, size_t n) noexcept {
    return std::memcmp(p, q, n) == 0;
}

VHash::~VHash() {
    for (Slot& s : slots_) delete s.entry;
}

VRef* VHash::clone() const {
    auto* h = new VHash();
    h->slots_.resize(slots_.size());
    h->mask_ = mask_;
    for (size_t i = 0; i < slots_.size(); ++i) {
        const Slot& s = slots_[i];
        if (!s.entry) continue;
        auto* e = new Entry(s.entry->first, s.hash);
        e->second = s.entry->second; // every shared object gains one refs count
        h->slots_[i] = {s.hash, e};
    }
    h->size_ = size_;
    h->dirty_ = true;
    return h;
}

void VHash::mark_children() {
    for (Slot& s : slots_)
        if (s.entry)
            if (VRef* o = s.entry->second.obj()) o->mark();
}

void VHash::place(Entry* e) {
    size_t i = e->hash & mask_;
    while (slots_[i].entry) i = (i + 1) & mask_;
    slots_[i] = {e->hash, e};
}

// Doubles the table (at least 8 slots); the entries keep their addresses.
void VHash::grow() {
    std::vector<Slot> old(slots_.empty() ? 8 : slots_.size() * 2);
    old.swap(slots_);
    mask_ = slots_.size() - 1;
    for (Slot& s : old)
        if (s.entry) place(s.entry);
}

Cell& VHash::get_or_insert(std::string_view key) {
    uint64_t h;
    if (Entry* e = locate(key, h)) return e->second;
    // At most three quarters full, so that probes stay short.
    if ((size_ + 1) * 4 > slots_.size() * 3) grow();
    auto* e = new Entry(key, h);
    place(e);
    ++size_;
    dirty_ = true;
    last_ = e;
    return e->second;
}

bool VHash::remove(std::string_view key, Value& out) {
    if (size_ == 0) return false;
    uint64_t h = hash_bytes(key);
    size_t i = h & mask_;
    for (;; i = (i + 1) & mask_) {
        if (!slots_[i].entry) return false;
        if (slots_[i].hash == h && same_bytes(slots_[i].entry->first, key)) break;
    }
    Entry* e = slots_[i].entry;
    if (e == last_) last_ = nullptr;
    // Shift back every following slot whose home lies at or before the hole.
    for (size_t j = (i + 1) & mask_; slots_[j].entry; j = (j + 1) & mask_) {
        size_t home = slots_[j].hash & mask_;
        if (((j - home) & mask_) >= ((j - i) & mask_)) {
            slots_[i] = slots_[j];
            i = j;
        }
    }
    slots_[i] = Slot();
    --size_;
    dirty_ = true;
    ++epoch_;
    out = e->second;
    delete e; // the hash is consistent again before the value is released
    return true;
}

void VHash::clear() {
    std::vector<Slot> old;
    old.swap(slots_); // releases happen after the hash is consistent again
    mask_ = 0;
    size_ = 0;
    sorted_.clear();
    dirty_ = false;
    ++epoch_;
    last_ = nullptr;
    for (Slot& s : old) delete s.entry;
}

const std::vector<VHash::Entry*>& VHash::sorted() const {
    if (dirty_ || sorted_.size() != size_) {
        sorted_.clear();
        sorted_.reserve(size_);
        for (const Slot& s : slots_)
            if (s.entry) sorted_.push_back(s.entry);
        // std::string compares as unsigned bytes, a proper prefix first
        std::sort(sorted_.begin(), sorted_.end(),
                  [](const Entry* a, const Entry* b) { return a->first < b->first; });
        dirty_ = false;
    }
    return sorted_;
}

} // namespace ruvo
