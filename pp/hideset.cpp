// Interned hide sets (see hideset.h).
#include "pp/hideset.h"

#include <algorithm>
#include <iterator>

namespace ruvopp {

bool HideSets::contains(HideSet hs, int id) {
    return hs && std::binary_search(hs->begin(), hs->end(), id);
}

HideSet HideSets::intern(std::vector<int>&& ids) {
    if (ids.empty()) return nullptr;
    return &*m_sets.insert(std::move(ids)).first;
}

HideSet HideSets::memoised(const Key& k, std::vector<int>&& result) {
    HideSet hs = intern(std::move(result));
    m_memo.emplace(k, hs);
    return hs;
}

HideSet HideSets::add(HideSet hs, int id) {
    if (contains(hs, id)) return hs;
    Key k{hs, nullptr, 2, id};
    if (auto it = m_memo.find(k); it != m_memo.end()) return it->second;
    std::vector<int> ids;
    if (hs) ids = *hs;
    ids.insert(std::upper_bound(ids.begin(), ids.end(), id), id);
    return memoised(k, std::move(ids));
}

HideSet HideSets::unite(HideSet a, HideSet b) {
    if (!a || a == b) return b;
    if (!b) return a;
    Key k{a, b, 0, 0};
    if (auto it = m_memo.find(k); it != m_memo.end()) return it->second;
    std::vector<int> ids;
    std::set_union(a->begin(), a->end(), b->begin(), b->end(), std::back_inserter(ids));
    return memoised(k, std::move(ids));
}

HideSet HideSets::intersect(HideSet a, HideSet b) {
    if (!a || !b) return nullptr;
    if (a == b) return a;
    Key k{a, b, 1, 0};
    if (auto it = m_memo.find(k); it != m_memo.end()) return it->second;
    std::vector<int> ids;
    std::set_intersection(a->begin(), a->end(), b->begin(), b->end(), std::back_inserter(ids));
    return memoised(k, std::move(ids));
}

} // namespace ruvopp
