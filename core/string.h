// VString: a byte string of explicit length (NUL bytes allowed), in Shift_JIS.  Binary data
// travels in the same strings.
#pragma once

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "core/value.h"

namespace ruvo {

// The heap buffers of strings that died, kept for new strings: text of more than the inline
// 15 bytes that is made and dropped over and over (each line read, each line built for
// output) then costs no allocation.  Only the interpreter's thread makes strings.
class StringBuffers {
public:
    StringBuffers() { kept_.reserve(kKeep); }
    // An empty string; one with a kept buffer when n bytes do not fit inline.
    std::string take(size_t n) {
        if (n <= kInline || kept_.empty()) return {};
        std::string s = std::move(kept_.back());
        kept_.pop_back();
        return s;
    }
    // Gives s room for n bytes, from a kept buffer when it has to grow out of its own.
    void reserve(std::string& s, size_t n) {
        if (n > s.capacity()) grow(s, n);
    }
    // Keeps the buffer of a string that is being dropped (s is left empty).
    void keep(std::string& s) {
        if (s.capacity() > kInline) store(s);
    }

private:
    static constexpr size_t kInline = 15; // what std::string holds without a buffer
    static constexpr size_t kKeep = 64;
    static constexpr size_t kMaxCapacity = 4096;
    [[gnu::noinline]] void grow(std::string& s, size_t n) {
        std::string b = take(n);
        b.reserve(n);
        b.assign(s);
        s.swap(b);
        keep(b);
    }
    [[gnu::noinline]] void store(std::string& s) {
        if (s.capacity() > kMaxCapacity || kept_.size() >= kKeep) return;
        s.clear();
        kept_.push_back(std::move(s));
    }
    std::vector<std::string> kept_;
};
extern StringBuffers string_buffers;

class VString final : public VRef {
public:
    VString() : VRef(VKind::String) {}
    [[gnu::always_inline]] explicit VString(std::string_view s)
        : VRef(VKind::String), str(text_of(s)) {}
    explicit VString(std::string&& s) : VRef(VKind::String), str(std::move(s)) {}
    explicit VString(const char* s) : VString(std::string_view(s)) {}
    ~VString() override { string_buffers.keep(str); }

    VRef* clone() const override { return new VString(str); }
    const char* type_name() const override { return "string"; }
    bool serialize(VStream& s) const override;
    bool deserialize(VStream& s) override;

    size_t size() const { return str.size(); }
    std::string_view view() const { return str; }

    std::string str;

private:
    // A copy of s: made in place when it fits inline, in a kept buffer when it does not.
    [[gnu::always_inline]] static std::string text_of(std::string_view s) {
        if (s.size() <= 15) [[likely]]
            return std::string(s);
        return long_text(s);
    }
    [[gnu::noinline]] static std::string long_text(std::string_view s) {
        std::string b = string_buffers.take(s.size());
        b.assign(s);
        return b;
    }
};

inline VString* CellData::as_string() const {
    return is_object() && obj_->kind == VKind::String ? static_cast<VString*>(obj_) : nullptr;
}

// A new string value.
inline Value make_string(std::string_view s) {
    return Value(new VString(s));
}
inline Value make_string(std::string&& s) {
    return Value(new VString(std::move(s)));
}
inline Value make_string(const char* s) {
    return Value(new VString(s));
}

// store_string's ways that make or resize: out of line, so that the test before them stays
// small enough to sit in its callers' loops.
[[gnu::noinline]] void store_new_string(Cell& c, std::string_view s);
[[gnu::noinline]] void store_resized_string(std::string& d, std::string_view s);

// Stores a string into a cell.  A string that only this cell holds is overwritten in place,
// which keeps its buffer: variables set over and over (the match variables) cost no object.
inline void store_string(Cell& c, std::string_view s) {
    if (VString* old = c.as_string(); old && old->refs == 1 && old->locks == 0) {
        std::string& d = old->str;
        if (d.size() != s.size()) {
            if (s.empty()) // the match variables after a failed search
                d.clear();
            else
                store_resized_string(d, s);
        } else if (!s.empty()) { // the commonest case, an empty group staying empty, costs nothing
            std::memmove(d.data(), s.data(), s.size());
        }
        return;
    }
    store_new_string(c, s);
}

} // namespace ruvo
