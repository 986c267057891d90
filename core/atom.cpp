#include "core/atom.h"

#include <cstring>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace ruvo {

namespace {

struct AtomTable {
    std::unordered_map<std::string_view, AtomData*> by_name;
    std::vector<std::unique_ptr<char[]>> texts;
    std::vector<std::unique_ptr<AtomData>> atoms;
};

AtomTable& table() {
    static AtomTable t;
    return t;
}

} // namespace

Atom intern(std::string_view name) {
    AtomTable& t = table();
    auto it = t.by_name.find(name);
    if (it != t.by_name.end()) return it->second;
    auto chars = std::make_unique<char[]>(name.size() + 1);
    std::memcpy(chars.get(), name.data(), name.size());
    chars[name.size()] = '\0';
    auto a = std::make_unique<AtomData>();
    a->chars = chars.get();
    a->len = static_cast<uint32_t>(name.size());
    a->hash = static_cast<uint32_t>(std::hash<std::string_view>{}(name));
    AtomData* p = a.get();
    t.by_name.emplace(std::string_view(p->chars, p->len), p);
    t.texts.push_back(std::move(chars));
    t.atoms.push_back(std::move(a));
    return p;
}

} // namespace ruvo
