// VHash: a map from byte-string keys to stored cells.  Lookups go through a hash table; every
// walk over the entries (display, keys(), key(), serialization, copies) goes through
// `sorted()`, which visits the keys in unsigned byte order, a proper prefix first.  The sorted
// index is rebuilt lazily after inserts and erasures, so counting into a hash stays O(1) per
// update.  Cell addresses stay valid until their entry is erased; `epoch()` changes on every
// erasure so that a holder of a cell address can tell.
//
// The table is open addressing with linear probing over a power-of-two number of slots, each
// slot holding an entry's full hash and its address; entries themselves stay where they were
// made, which keeps cell addresses stable across growth.  Erasure shifts the following run of
// slots back, so there are no tombstones and a probe ends at the first empty slot.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "core/value.h"

namespace ruvo {

// The hash of a byte string: eight bytes at a time, then a final mix so that the low bits,
// which pick the slot, depend on every byte.
inline uint64_t hash_bytes(std::string_view s) noexcept {
    constexpr uint64_t kMul = 0x9E3779B97F4A7C15ull;
    const char* p = s.data();
    size_t n = s.size();
    uint64_t h = 0xCBF29CE484222325ull ^ (n * kMul);
    while (n >= 8) {
        uint64_t w;
        std::memcpy(&w, p, 8);
        h = (h ^ w) * kMul;
        h ^= h >> 29;
        p += 8;
        n -= 8;
    }
    if (n) {
        // The last 1..7 bytes in at most two loads that may overlap (the length is mixed in
        // already, so overlapping tails of different lengths still differ).
        uint64_t w;
        if (n >= 4) {
            uint32_t a, b;
            std::memcpy(&a, p, 4);
            std::memcpy(&b, p + n - 4, 4);
            w = (static_cast<uint64_t>(a) << 32) | b;
        } else {
            auto u = [&](size_t i) { return static_cast<uint64_t>(static_cast<unsigned char>(p[i])); };
            w = (u(0) << 16) | (u(n >> 1) << 8) | u(n - 1);
        }
        h = (h ^ w) * kMul;
    }
    h ^= h >> 32;
    h *= 0xD6E8FEB86659FD93ull;
    h ^= h >> 32;
    return h;
}

// One key and its value.  Entries live in the object pool: a hash with many keys costs one
// small block each.
struct HashEntry {
    HashEntry(std::string_view k, uint64_t h) : first(k), hash(h) {}
    std::string first;
    Cell second;
    uint64_t hash;

    static void* operator new(size_t n) { return object_pool.alloc(n); }
    static void operator delete(void* p, size_t n) { object_pool.release(p, n); }
};

class VHash final : public VRef {
public:
    using Entry = HashEntry;

    VHash() : VRef(VKind::Hash) {}
    ~VHash() override;

    VRef* clone() const override;
    const char* type_name() const override { return "hash"; }
    bool serialize(VStream& s) const override;
    bool deserialize(VStream& s) override;
    void mark_children() override;

    size_t size() const { return size_; }
    Cell* find(std::string_view key) { return find(key, hash_bytes(key)); }
    Cell* find(std::string_view key, uint64_t h) {
        if (size_ == 0) return nullptr;
        for (size_t i = h & mask_;; i = (i + 1) & mask_) {
            const Slot& s = slots_[i];
            if (!s.entry) return nullptr;
            if (s.hash == h && s.entry->first == key) return &s.entry->second;
        }
    }
    Cell& get_or_insert(std::string_view key);
    void set(std::string_view key, const CellData& v) { get_or_insert(key).set(v); }
    // Copies the value to out and erases the entry; false when the key is absent.
    bool remove(std::string_view key, Value& out);
    void clear();
    // The entries in key order.  Valid until the next insert or erase.
    const std::vector<Entry*>& sorted() const;
    uint32_t epoch() const { return epoch_; }

private:
    struct Slot {
        uint64_t hash = 0;
        Entry* entry = nullptr; // null: empty
    };
    void grow();
    void place(Entry* e); // into a slot of a table known to have room

    std::vector<Slot> slots_; // empty, or a power of two in size
    size_t mask_ = 0;
    size_t size_ = 0;
    mutable std::vector<Entry*> sorted_;
    mutable bool dirty_ = false;
    uint32_t epoch_ = 0;
};

inline VHash* CellData::as_hash() const {
    return is_object() && obj_->kind == VKind::Hash ? static_cast<VHash*>(obj_) : nullptr;
}

} // namespace ruvo
