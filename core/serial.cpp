// Serialization bodies of the containers and the built-ins serial() and deserial().
//
// A string body is its counted bytes.  An array body is its count and then its elements; a
// hash body its count and then, in key order, each key and value.  The elements are queued
// on the stream (see core/stream.h) rather than written here, so nesting depth costs no
// native stack.
#include <limits>

#include "core/array.h"
#include "core/convert.h"
#include "core/hash.h"
#include "core/stream.h"
#include "core/string.h"
#include "lib/registry.h"

namespace ruvo {

namespace {

constexpr size_t kMaxCount = std::numeric_limits<uint32_t>::max();
// The least room an element takes: a boolean cell is two bytes; a hash entry adds a key
// (at least its four-byte count).
constexpr uint32_t kCellBytes = 2;
constexpr uint32_t kEntryBytes = 4 + kCellBytes;

void write_array_step(VStream& s, const VRef* o, uint32_t i) {
    s.write_element(static_cast<const VArray*>(o)->cells[i]);
}

bool read_array_step(VStream& s, VRef* o, uint32_t i) {
    static_cast<VArray*>(o)->cells[i].set(s.read_element());
    return true;
}

void write_hash_step(VStream& s, const VRef* o, uint32_t i) {
    const VHash::Entry* e = static_cast<const VHash*>(o)->sorted()[i];
    s.write_string(e->first);
    s.write_element(e->second);
}

bool read_hash_step(VStream& s, VRef* o, uint32_t) {
    std::string key;
    if (!s.read_string(key)) return false;
    Value v = s.read_element();
    static_cast<VHash*>(o)->set(key, v); // a repeated key overwrites
    return true;
}

void bi_serial(VContext&, int, std::span<Value> args, Value& result) {
    VStream s;
    s.register_standard_factories();
    s.write_cell(args[0]);
    result = make_string(std::string_view(s.buffer().data(), s.position()));
}

void bi_deserial(VContext&, int line, std::span<Value> args, Value& result) {
    VStream s(arg_string(args[0], line));
    s.register_standard_factories();
    result = s.read_cell();
}

constexpr BuiltinDef kSerial[] = {
    {"serial", 1, bi_serial},
    {"deserial", 1, bi_deserial},
};

} // namespace

bool VString::serialize(VStream& s) const {
    if (str.size() > kMaxCount) return false;
    s.write_string(str);
    return true;
}

bool VString::deserialize(VStream& s) {
    return s.read_string(str);
}

bool VArray::serialize(VStream& s) const {
    if (cells.size() > kMaxCount) return false;
    auto n = static_cast<uint32_t>(cells.size());
    s.write_u32(n);
    s.defer_write(this, n, write_array_step);
    return true;
}

bool VArray::deserialize(VStream& s) {
    uint32_t n = s.read_u32();
    uint32_t held;
    if (!s.reserve(n, kCellBytes, held)) return false;
    cells.resize(n);
    s.defer_read(this, n, kCellBytes, held, read_array_step);
    return true;
}

bool VHash::serialize(VStream& s) const {
    if (size() > kMaxCount) return false;
    auto n = static_cast<uint32_t>(size());
    s.write_u32(n);
    s.defer_write(this, n, write_hash_step);
    return true;
}

bool VHash::deserialize(VStream& s) {
    auto n = static_cast<int32_t>(s.read_u32()); // signed: a negative count is no entries
    if (n <= 0) return true;
    uint32_t held;
    if (!s.reserve(static_cast<uint32_t>(n), kEntryBytes, held)) return false;
    s.defer_read(this, static_cast<uint32_t>(n), kEntryBytes, held, read_hash_step);
    return true;
}

std::span<const BuiltinDef> serial_builtins() {
    return kSerial;
}

} // namespace ruvo
