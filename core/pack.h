// Binary packing: byte strings to and from numbers.
//
// A template such as "tag=char[4] len=uint32" is parsed into fields (name, element type,
// count); pack, unpack and pksize walk those fields, bsplit and bjoin use one element type for
// a whole string.  Every multi-byte value is little-endian and nothing is aligned or padded, so
// a packed record is always exactly pksize() bytes.  Counts are signed 32-bit like every other
// integer the language reads, and a template whose fields hold more than kPackMaxElements
// values in total (4 Mi: at most 32 MiB packed, 64 MiB of unpacked cells) is refused by pack
// and unpack, so that no template text makes them build gigabytes from a small hash or a short
// string.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/value.h"

namespace ruvo {

// Element type codes; 0 is "no such type".
enum PackType : uint8_t {
    PK_NONE = 0,
    PK_CHAR,
    PK_SHORT,
    PK_LONG,
    PK_UCHAR,
    PK_USHORT,
    PK_ULONG,
    PK_FLOAT,
    PK_DOUBLE
};

struct pack_field {
    std::string name; // empty: the field only takes up room
    PackType type = PK_NONE;
    uint32_t count = 0; // 0: one value; n >= 1: an array of n values
};

constexpr uint64_t kPackMaxElements = uint64_t(1) << 22;

// The code of a type name (case-insensitive), PK_NONE when unknown.
PackType pack_type(std::string_view name);
unsigned pack_type_size(PackType t);

// Parses a template; false when it is bad.
bool parse_template(std::string_view text, std::vector<pack_field>& out);
// Bytes the fields take (a count of 0 counts as 1).
uint64_t template_size(const std::vector<pack_field>& fields);

// Appends v encoded as type t: integers wrap, NaN and values beyond 64 bits give zero bytes.
void pack_value(std::string& out, PackType t, const CellData& v);
// Decodes the value of type t at p (pack_type_size(t) bytes must be there).
double unpack_value(PackType t, const unsigned char* p);

} // namespace ruvo
