// BStream primitives and the VStream value format.
#include "core/stream.h"

#include <algorithm>
#include <cstring>

#include "core/array.h"
#include "core/convert.h"
#include "core/hash.h"
#include "core/string.h"
#include "eval/error.h"

namespace ruvo {

namespace {
// What a read may make beyond what its data holds: missing elements (a cell each) and
// missing string bytes.
constexpr uint64_t kBeyondDataAllowance = uint64_t(1) << 24;

enum : uint8_t { TAG_NUMBER = 0, TAG_BOOL = 1, TAG_OBJECT = 2 };
enum : uint8_t { REC_NEW = 0, REC_REF = 1 };

[[noreturn]] void deserialize_error() {
    raise(-1, "Object deserialize error");
}
} // namespace

void BStream::write_bytes(const void* p, size_t n) {
    if (n == 0) return;
    size_t end = pos_ + n;
    if (end > buf_.size()) {
        if (end > buf_.capacity()) buf_.reserve(std::max(end, 2 * buf_.capacity()));
        buf_.resize(end);
    }
    std::memcpy(buf_.data() + pos_, p, n);
    pos_ += n;
}

// The host is little-endian (x86-64), so the stream order is the memory order.
void BStream::write_u32(uint32_t v) {
    write_bytes(&v, 4);
}
void BStream::write_double(double d) {
    write_bytes(&d, 8);
}

void BStream::write_string(std::string_view s) {
    write_u32(static_cast<uint32_t>(s.size()));
    write_bytes(s.data(), s.size());
}

void BStream::read_bytes(void* p, size_t n) {
    size_t have = std::min(n, remaining());
    if (have) std::memcpy(p, buf_.data() + pos_, have);
    std::memset(static_cast<char*>(p) + have, 0, n - have);
    pos_ += n;
}

uint8_t BStream::read_byte() {
    uint8_t b;
    read_bytes(&b, 1);
    return b;
}

uint32_t BStream::read_u32() {
    uint32_t v;
    read_bytes(&v, 4);
    return v;
}

double BStream::read_double() {
    double d;
    read_bytes(&d, 8);
    return d;
}

void VStream::register_factory(std::string_view name, std::unique_ptr<VFactoryBase> f) {
    factories_[std::string(name)] = std::move(f);
}

void VStream::register_standard_factories() {
    register_factory("string", std::make_unique<VFactory<VString>>());
    register_factory("array", std::make_unique<VFactory<VArray>>());
    register_factory("hash", std::make_unique<VFactory<VHash>>());
}

void VStream::write_cell(const CellData& v) {
    size_t depth = frames_.size();
    write_element(v);
    drain(depth);
}

Value VStream::read_cell() {
    size_t depth = frames_.size();
    Value v = read_element();
    drain(depth);
    return v;
}

void VStream::write_element(const CellData& v) {
    if (v.is_number()) {
        write_byte(TAG_NUMBER);
        write_double(v.num());
    } else if (v.is_bool()) {
        write_byte(TAG_BOOL);
        write_byte(static_cast<uint8_t>(to_int64(v.num()))); // the low 8 bits
    } else {
        write_byte(TAG_OBJECT);
        write_object(v.obj());
    }
}

Value VStream::read_element() {
    switch (read_byte()) {
    case TAG_NUMBER: return Value(read_double());
    case TAG_BOOL: return Value::boolean_raw(read_byte());
    case TAG_OBJECT: return read_object();
    default: deserialize_error(); // no meaning: refuse rather than guess
    }
}

void VStream::write_object(const VRef* o) {
    if (!o) {
        write_byte(REC_REF);
        write_u32(0);
        return;
    }
    auto [it, fresh] = written_.try_emplace(o, static_cast<uint32_t>(written_.size() + 1));
    if (!fresh) {
        write_byte(REC_REF);
        write_u32(it->second);
        return;
    }
    // Numbered before the body, so that a reference back from inside resolves to o.
    write_byte(REC_NEW);
    write_string(o->type_name());
    if (!o->serialize(*this)) raise(-1, "Object not serializable");
}

Value VStream::read_object() {
    uint8_t kind = read_byte();
    if (kind == REC_REF) {
        uint32_t n = read_u32();
        return n >= 1 && n <= read_.size() ? read_[n - 1] : Value();
    }
    if (kind != REC_NEW) return Value();
    std::string name;
    if (!read_string(name)) deserialize_error();
    auto f = factories_.find(name);
    if (f == factories_.end()) raise(-1, "Factory not found for %s", name.c_str());
    Value v(f->second->create());
    read_.push_back(v); // numbered before the body, as when writing
    if (!v.obj()->deserialize(*this)) deserialize_error();
    return v;
}

void VStream::defer_write(const VRef* o, uint32_t count, WriteStep step) {
    // The write steps only read the object; the frame keeps one pointer type for both ways.
    if (count) frames_.push_back({const_cast<VRef*>(o), 0, count, 0, 0, step, nullptr});
}

void VStream::defer_read(VRef* o, uint32_t count, uint32_t unit, uint32_t held, ReadStep step) {
    if (count) frames_.push_back({o, 0, count, unit, held, nullptr, step});
}

bool VStream::charge_beyond_data(uint64_t bytes) {
    if (bytes > kBeyondDataAllowance - beyond_data_) return false;
    beyond_data_ += bytes;
    return true;
}

bool VStream::reserve(uint32_t count, uint32_t unit, uint32_t& held) {
    held = static_cast<uint32_t>(std::min<uint64_t>(count, available() / unit));
    if (!charge_beyond_data(uint64_t(count - held) * sizeof(Value))) return false;
    reserved_ += uint64_t(held) * unit;
    return true;
}

bool VStream::read_string(std::string& out) {
    uint32_t n = read_u32();
    size_t inside = available();
    if (n > inside && !charge_beyond_data(n - inside)) return false;
    out.resize(n);
    read_bytes(out.data(), n);
    return true;
}

void VStream::drain(size_t depth) {
    while (frames_.size() > depth) {
        frame& top = frames_.back();
        if (top.next == top.count) {
            frames_.pop_back();
            continue;
        }
        // A step may queue a frame of its own and so move the vector: copy what it needs.
        frame f = top;
        ++top.next;
        if (f.write) {
            f.write(*this, f.obj, f.next);
        } else {
            if (f.next < f.held) reserved_ -= f.unit;
            if (!f.read(*this, f.obj, f.next)) deserialize_error();
        }
    }
}

} // namespace ruvo
