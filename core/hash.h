// VHash: a map from byte-string keys to stored cells.  Lookups go through a hash table; every
// walk over the entries (display, keys(), key(), serialization, copies) goes through
// `sorted()`, which visits the keys in unsigned byte order, a proper prefix first.  The sorted
// index is rebuilt lazily after inserts and erasures, so counting into a hash stays O(1) per
// update.  Cell addresses stay valid until their entry is erased; `epoch()` changes on every
// erasure so that a holder of a cell address can tell.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/value.h"

namespace ruvo {

struct StrHash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const noexcept {
        return std::hash<std::string_view>{}(s);
    }
};

class VHash final : public VRef {
public:
    using Map = std::unordered_map<std::string, Cell, StrHash, std::equal_to<>>;
    using Entry = Map::value_type;

    VHash() : VRef(VKind::Hash) {}

    VRef* clone() const override;
    const char* type_name() const override { return "hash"; }
    bool serialize(VStream& s) const override;
    bool deserialize(VStream& s) override;
    void mark_children() override;

    size_t size() const { return map_.size(); }
    Cell* find(std::string_view key) {
        auto it = map_.find(key);
        return it == map_.end() ? nullptr : &it->second;
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
    Map map_;
    mutable std::vector<Entry*> sorted_;
    mutable bool dirty_ = false;
    uint32_t epoch_ = 0;
};

inline VHash* CellData::as_hash() const {
    return is_object() && obj_->kind == VKind::Hash ? static_cast<VHash*>(obj_) : nullptr;
}

} // namespace ruvo
