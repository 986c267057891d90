// VArray: an ordered, growable sequence of stored cells, numbered from 0.  Each object held in
// a cell holds one `refs` count on it.
#pragma once

#include <vector>

#include "core/value.h"

namespace ruvo {

// The storage of an array's cells: from the object pool while it is small (an array of a
// line's words costs no call into the C library's allocator), from the heap beyond.
template <class T> struct PoolAllocator {
    using value_type = T;
    PoolAllocator() = default;
    template <class U> PoolAllocator(const PoolAllocator<U>&) {}
    T* allocate(size_t n) { return static_cast<T*>(object_pool.alloc(n * sizeof(T))); }
    void deallocate(T* p, size_t n) { object_pool.release(p, n * sizeof(T)); }
    template <class U> bool operator==(const PoolAllocator<U>&) const { return true; }
};
using CellVector = std::vector<Cell, PoolAllocator<Cell>>;

class VArray final : public VRef {
public:
    VArray() : VRef(VKind::Array) {}
    explicit VArray(size_t n) : VRef(VKind::Array), cells(n) {}
    ~VArray() override;

    VRef* clone() const override;
    const char* type_name() const override { return "array"; }
    bool serialize(VStream& s) const override;
    bool deserialize(VStream& s) override;
    void mark_children() override;

    size_t size() const { return cells.size(); }
    // The cell at i, or null when i is out of range.
    Cell* at(long long i) {
        return i >= 0 && static_cast<size_t>(i) < cells.size() ? &cells[i] : nullptr;
    }
    void push(const CellData& v) { cells.emplace_back(Cell()).set(v); }
    // False for i < 0; past the end the array first grows with nulls.
    bool set(long long i, const CellData& v);
    void resize(size_t n, const CellData& fill);
    void resize(size_t n) { cells.resize(n); }
    bool erase(long long i);

    CellVector cells;
};

inline VArray* CellData::as_array() const {
    return is_object() && obj_->kind == VKind::Array ? static_cast<VArray*>(obj_) : nullptr;
}

} // namespace ruvo
