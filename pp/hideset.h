// Hide sets of the macro expander.  A token's hide set names the macros whose expansion
// produced it; such a macro is not expanded again from that token, which is what stops a macro
// that expands to itself, or two that expand to each other.  Sets are interned: equal sets are
// one object, so a set is a pointer, comparing sets is comparing pointers, and the results of
// union and intersection are memoised.  The sets live as long as the HideSets object.
#pragma once

#include <cstdint>
#include <set>
#include <unordered_map>
#include <vector>

#include "pp/token.h"

namespace ruvopp {

class HideSets {
public:
    static bool contains(HideSet hs, int id);

    HideSet add(HideSet hs, int id);
    HideSet unite(HideSet a, HideSet b);
    HideSet intersect(HideSet a, HideSet b);

private:
    struct Key {
        HideSet a, b;
        int op; // 0 union, 1 intersection, 2 add (b unused, id in [id])
        int id;
        bool operator==(const Key&) const = default;
    };
    struct KeyHash {
        size_t operator()(const Key& k) const {
            size_t h = reinterpret_cast<uintptr_t>(k.a) * 31 + reinterpret_cast<uintptr_t>(k.b);
            return h * 131 + static_cast<size_t>(k.op) * 7 + static_cast<size_t>(k.id);
        }
    };

    HideSet intern(std::vector<int>&& ids);
    HideSet memoised(const Key& k, std::vector<int>&& result);

    std::set<std::vector<int>> m_sets;
    std::unordered_map<Key, HideSet, KeyHash> m_memo;
};

} // namespace ruvopp
