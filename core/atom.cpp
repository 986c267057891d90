#include "core/atom.h"

#include <cstring>
#include <memory>
#include <vector>

namespace ruvo {

namespace {

// Open addressing over a power-of-two array of atom pointers, at most half full.  Atoms and
// copied names come from chunks that are never freed one by one, so interning allocates only
// when a chunk fills up, and the process ends without freeing atoms one by one.
struct AtomTable {
    static constexpr size_t kInitialSlots = 1024;
    static constexpr size_t kAtomsPerChunk = 512;
    static constexpr size_t kCharsPerChunk = 16384;

    AtomData* first_slots[kInitialSlots] = {};
    AtomData** slots = first_slots;
    size_t mask = kInitialSlots - 1;
    size_t count = 0;
    std::unique_ptr<AtomData*[]> big_slots;

    AtomData first_atoms[kAtomsPerChunk];
    AtomData* atoms = first_atoms;
    size_t atoms_left = kAtomsPerChunk;
    char* chars = nullptr;
    size_t chars_left = 0;
    std::vector<std::unique_ptr<AtomData[]>> atom_chunks;
    std::vector<std::unique_ptr<char[]>> char_chunks;

    AtomData** slot_of(const char* p, uint32_t len, uint32_t hash) {
        for (size_t i = hash & mask;; i = (i + 1) & mask) {
            AtomData* a = slots[i];
            if (!a || (a->hash == hash && a->len == len && std::memcmp(a->chars, p, len) == 0))
                return &slots[i];
        }
    }
    AtomData* new_atom() {
        if (atoms_left == 0) {
            atom_chunks.emplace_back(new AtomData[kAtomsPerChunk]);
            atoms = atom_chunks.back().get();
            atoms_left = kAtomsPerChunk;
        }
        --atoms_left;
        return atoms++;
    }
    const char* copy_chars(std::string_view name) {
        size_t need = name.size() + 1;
        if (need > kCharsPerChunk / 4) { // a long name gets a chunk of its own
            char_chunks.emplace_back(new char[need]);
            char* p = char_chunks.back().get();
            std::memcpy(p, name.data(), name.size());
            p[name.size()] = '\0';
            return p;
        }
        if (need > chars_left) {
            char_chunks.emplace_back(new char[kCharsPerChunk]);
            chars = char_chunks.back().get();
            chars_left = kCharsPerChunk;
        }
        char* p = chars;
        std::memcpy(p, name.data(), name.size());
        p[name.size()] = '\0';
        chars += need;
        chars_left -= need;
        return p;
    }
    void grow() {
        size_t n = (mask + 1) * 2;
        std::unique_ptr<AtomData*[]> s(new AtomData*[n]());
        for (size_t i = 0; i <= mask; ++i) {
            AtomData* a = slots[i];
            if (!a) continue;
            size_t j = a->hash & (n - 1);
            while (s[j]) j = (j + 1) & (n - 1);
            s[j] = a;
        }
        big_slots = std::move(s);
        slots = big_slots.get();
        mask = n - 1;
    }
    // Enters a new atom into the empty slot [at].
    Atom add(AtomData** at, const char* p, uint32_t len, uint32_t hash) {
        AtomData* a = new_atom();
        a->chars = p;
        a->len = len;
        a->hash = hash;
        *at = a;
        if (++count * 2 > mask + 1) grow();
        return a;
    }
};

AtomTable& table() {
    static AtomTable t;
    return t;
}

} // namespace

Atom intern(std::string_view name) {
    AtomTable& t = table();
    auto len = static_cast<uint32_t>(name.size());
    uint32_t h = atom_hash(name);
    AtomData** at = t.slot_of(name.data(), len, h);
    if (*at) return *at;
    return t.add(at, t.copy_chars(name), len, h);
}

Atom intern_static(const char* chars, uint32_t len, uint32_t hash) {
    AtomTable& t = table();
    AtomData** at = t.slot_of(chars, len, hash);
    if (*at) return *at;
    return t.add(at, chars, len, hash);
}

} // namespace ruvo
