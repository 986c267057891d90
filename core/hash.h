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

// memcmp of keys longer than 16 bytes, out of line: a call in the lookups themselves would
// make them save and restore registers on every probe.
[[gnu::noinline]] bool same_long_bytes(const char* p, const char* q, size_t n) noexcept;

// Equality of two byte strings; keys of up to 16 bytes compare in at most two pairs of loads.
inline bool same_bytes(std::string_view a, std::string_view b) noexcept {
    size_t n = a.size();
    if (n != b.size()) return false;
    const char* p = a.data();
    const char* q = b.data();
    auto load8 = [](const char* x) { uint64_t w; std::memcpy(&w, x, 8); return w; };
    auto load4 = [](const char* x) { uint32_t w; std::memcpy(&w, x, 4); return w; };
    if (n >= 8) {
        if (n > 16) return same_long_bytes(p, q, n);
        return load8(p) == load8(q) && load8(p + n - 8) == load8(q + n - 8);
    }
    if (n >= 4) return load4(p) == load4(q) && load4(p + n - 4) == load4(q + n - 4);
    // 1 to 3 bytes: the first, the middle and the last byte are all of them
    return n == 0 || (p[0] == q[0] && p[n >> 1] == q[n >> 1] && p[n - 1] == q[n - 1]);
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
    Cell* find(std::string_view key) {
        uint64_t h;
        Entry* e = locate(key, h);
        return e ? &e->second : nullptr;
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
    // The entry of key.  The entry found or made last is tried first, in the caller: reading
    // a key and then updating it (a test with key() before an increment) hashes it once.
    // When the key is absent, h is its hash.
    [[gnu::always_inline]] Entry* locate(std::string_view key, uint64_t& h) {
        if (last_ && same_bytes(last_->first, key)) return last_;
        return locate_hashed(key, h);
    }
    [[gnu::noinline]] Entry* locate_hashed(std::string_view key, uint64_t& h) {
        h = hash_bytes(key);
        Entry* e = lookup(key, h);
        if (e) last_ = e;
        return e;
    }
    Entry* lookup(std::string_view key, uint64_t h) const {
        if (size_ == 0) return nullptr;
        for (size_t i = h & mask_;; i = (i + 1) & mask_) {
            const Slot& s = slots_[i];
            if (!s.entry) return nullptr;
            if (s.hash == h && same_bytes(s.entry->first, key)) return s.entry;
        }
    }
    void grow();
    void place(Entry* e); // into a slot of a table known to have room

    std::vector<Slot> slots_; // empty, or a power of two in size
    size_t mask_ = 0;
    size_t size_ = 0;
    mutable std::vector<Entry*> sorted_;
    mutable bool dirty_ = false;
    uint32_t epoch_ = 0;
    Entry* last_ = nullptr; // an entry of this hash, or null
};

inline VHash* CellData::as_hash() const {
    return is_object() && obj_->kind == VKind::Hash ? static_cast<VHash*>(obj_) : nullptr;
}

} // namespace ruvo
