// Streams of serialized values.
//
// `BStream` is a byte buffer with one position for writing or reading.  Reading past the end
// yields zero bytes and still advances the position, so a truncated stream reads as if it
// went on with zeros: a cut array body reads its missing elements as the number 0, a cut
// string its missing bytes as NUL.  Counted reads (string bytes, element counts) are checked
// against what is left: what lies beyond the data is paid for from a fixed allowance, so a
// short cut reads as zeros while an absurd count fails instead of exhausting memory.
//
// `VStream` adds the value format: the table of objects met so far (an object met again is
// written as its number in the table, so shared parts and cycles survive), and the factories
// that make empty objects by type name when reading.  Containers never write or read their
// elements by calling back into the stream recursively: their bodies queue the elements with
// `defer_write`/`defer_read`, and the stream works through the queue with an explicit stack in
// depth-first order, which gives exactly the bytes of a recursive walk at any nesting depth.
//
// While reading, every queued element that fits keeps `unit` bytes (the least room an element
// can take) reserved; the elements that do not fit in the unreserved rest of the data are
// charged to the allowance, so the cells made in total stay within the input size plus it.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/value.h"

namespace ruvo {

class BStream {
public:
    BStream() { buf_.reserve(1024); } // empty, for writing
    explicit BStream(std::string_view bytes) : buf_(bytes) {}
    virtual ~BStream() = default;

    void write_bytes(const void* p, size_t n);
    void write_byte(uint8_t b) { write_bytes(&b, 1); }
    void write_u32(uint32_t v);
    void write_double(double d);
    // A uint32 byte count, then the bytes; the caller keeps the size below 2^32.
    void write_string(std::string_view s);

    // n bytes; those past the end read as zero.
    void read_bytes(void* p, size_t n);
    uint8_t read_byte();
    uint32_t read_u32();
    double read_double();

    size_t position() const { return pos_; }
    const std::string& buffer() const { return buf_; }
    // Bytes between the position and the end of the data.
    size_t remaining() const { return pos_ < buf_.size() ? buf_.size() - pos_ : 0; }

protected:
    std::string buf_;
    size_t pos_ = 0;
};

// Makes a new, empty object of one class when reading.
class VFactoryBase {
public:
    virtual ~VFactoryBase() = default;
    virtual VRef* create() const = 0;
};

template <typename T> class VFactory final : public VFactoryBase {
public:
    VRef* create() const override { return new T(); }
};

class VStream : public BStream {
public:
    using BStream::BStream;

    void register_factory(std::string_view name, std::unique_ptr<VFactoryBase> f);
    // The factories of the serializable classes: "string", "array" and "hash".
    void register_standard_factories();

    // A value cell and everything it reaches.  Raises "Object not serializable".
    void write_cell(const CellData& v);
    // A value cell and everything it holds.  Raises "Factory not found for %s" and
    // "Object deserialize error".
    Value read_cell();

    // For container bodies.  A container met by these is only started: its own elements are
    // queued and follow before anything else its caller writes or reads next.
    void write_element(const CellData& v);
    Value read_element();
    // A counted string; the bytes that do not fit in the unreserved rest of the data are
    // charged to the allowance.  False when the allowance cannot pay for them.
    bool read_string(std::string& out);

    using WriteStep = void (*)(VStream& s, const VRef* o, uint32_t index);
    using ReadStep = bool (*)(VStream& s, VRef* o, uint32_t index);
    // Queue steps 0 ... count-1 for the elements of o.
    void defer_write(const VRef* o, uint32_t count, WriteStep step);
    // The same when reading; `unit` is what reserve() reserved for each of the first `held`
    // elements.
    void defer_read(VRef* o, uint32_t count, uint32_t unit, uint32_t held, ReadStep step);
    // Reserves `unit` bytes each for the elements still to come that fit in the unreserved
    // rest of the data, and sets `held` to their number; the others are charged to the
    // allowance.  False when it cannot pay for them.
    bool reserve(uint32_t count, uint32_t unit, uint32_t& held);

private:
    struct frame {
        VRef* obj;
        uint32_t next;
        uint32_t count;
        uint32_t unit;
        uint32_t held; // the first `held` steps have `unit` bytes reserved
        WriteStep write;
        ReadStep read;
    };

    size_t available() const { return remaining() > reserved_ ? remaining() - reserved_ : 0; }
    // Takes `bytes` from the allowance for what the data does not hold; false when too few
    // are left.
    bool charge_beyond_data(uint64_t bytes);
    void write_object(const VRef* o);
    Value read_object();
    // Runs queued steps until only `depth` frames are left.
    void drain(size_t depth);

    std::map<std::string, std::unique_ptr<VFactoryBase>, std::less<>> factories_;
    std::unordered_map<const VRef*, uint32_t> written_; // object -> number in the stream
    std::vector<Value> read_;                           // objects read, number - 1
    std::vector<frame> frames_;
    uint64_t reserved_ = 0;
    uint64_t beyond_data_ = 0; // bytes of the allowance spent
};

} // namespace ruvo
