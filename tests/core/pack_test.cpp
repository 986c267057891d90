// Binary packing: templates, byte layouts, short data and the element conversions.
#include <cmath>

#include "core/array.h"
#include "core/convert.h"
#include "core/hash.h"
#include "lib/builtin_call.h"
#include "test_support.h"

using namespace ruvo;
using ruvo::test::arr;
using ruvo::test::str;
using ruvo::test::text;

namespace {
const test::Family call(pack_builtins());

Value hash_of(std::initializer_list<std::pair<const char*, Value>> items) {
    Value h(new VHash());
    for (auto& [k, v] : items) h.as_hash()->set(k, v);
    return h;
}
// The numbers of an array, NaN standing for null.
std::vector<double> nums(const CellData& v) {
    std::vector<double> out;
    for (const Cell& c : v.as_array()->cells) out.push_back(c.is_null() ? NAN : c.num());
    return out;
}
Value field(const Value& h, const char* key) {
    return Value(*h.as_hash()->find(key));
}
double pksize(const char* t) {
    return call("pksize", {str(t)}).num();
}
} // namespace

TEST(Pack, pksize_adds_sizes_without_padding) {
    EXPECT_EQ(pksize("a=char b=int32 c=double[2]"), 21);
    EXPECT_EQ(pksize("x=int32, y=int32"), 8);
    EXPECT_EQ(pksize("a = UINT16"), 2);
    EXPECT_EQ(pksize("sbyte short long byte ushort ulong float"), 18);
    // pksize only counts, so even the largest count is fine here.
    EXPECT_EQ(pksize("x=double[2147483647]"), 8.0 * 2147483647);
}

TEST(Pack, counts_take_every_integer_form) {
    EXPECT_EQ(pksize("x=uchar[0x10]"), 16);
    EXPECT_EQ(pksize("x=uchar[16]"), 16);
    EXPECT_EQ(pksize("x=uchar[010]"), 8);
    EXPECT_EQ(pksize("x=uchar[0b101]"), 5);
}

TEST(Pack, bad_templates_name_the_built_in) {
    for (const char* t : {"", "  ,", "[3]", "x=", "x=int", "x=int32[0]", "x=int32[2", "x=int32[]",
                          "x=int32[-1]", "x=int32[1.5]", "x=uchar[0X10]", "x=uchar[0xFFFFFFFF]",
                          "x=uchar[4294967296]", "x=uchar[08]", "x=uchar[1_0]", "x=y=int32"})
        EXPECT_EQ(call.raised("pksize", {str(t)}), "error [7]: Bad template in pksize()") << t;
    EXPECT_EQ(call.raised("unpack", {str(""), str("q")}), "error [7]: Bad template in unpack()");
    EXPECT_EQ(call.raised("pack", {hash_of({}), str("q")}), "error [7]: Bad template in pack()");
    EXPECT_EQ(call.raised("pksize", {Value(1)}), "error [7]: Cannot convert arg to string");
}

TEST(Pack, huge_counts_are_refused_before_building_anything) {
    const char* t = "x=uchar[2147483647]";
    EXPECT_EQ(call.raised("pack", {hash_of({}), str(t)}), "error [7]: Bad template in pack()");
    EXPECT_EQ(call.raised("unpack", {str("ab"), str(t)}), "error [7]: Bad template in unpack()");
    EXPECT_EQ(call.raised("unpack", {str(""), str("a=char[2097152] b=char[2097153]")}),
              "error [7]: Bad template in unpack()");
}

TEST(Pack, pack_writes_little_endian_and_wraps) {
    EXPECT_EQ(text(call("pack", {hash_of({{"a", Value(258)}}), str("a=uint16 b=uint16")})),
              std::string("\x02\x01\x00\x00", 4));
    Value h = hash_of({{"a", Value(300)},
                       {"b", Value(-1)},
                       {"c", str("0x10")},
                       {"d", Value(ruvo_nan())},
                       {"e", Value(1e30)},
                       {"f", Value::boolean(true)},
                       {"g", Value(-2.9)}});
    EXPECT_EQ(text(call("pack", {h, str("a=uchar b=uint16 c=char d=long e=int32 f=byte g=short")})),
              std::string("\x2C\xFF\xFF\x10\0\0\0\0\0\0\0\0\x01\xFE\xFF", 15));
    Value fl =
        call("pack", {hash_of({{"x", Value(1.5)}, {"y", Value(-2.0)}}), str("x=float y=double")});
    EXPECT_EQ(text(fl), std::string("\0\0\xC0\x3F\0\0\0\0\0\0\0\xC0", 12));
}

TEST(Pack, pack_fills_arrays_and_missing_values_with_zeros) {
    Value h = hash_of({{"v", arr({Value(1), Value(2)})}, {"n", Value(5)}});
    // v has two of four elements; n is not an array; the unnamed field and w are absent.
    std::string out = text(call("pack", {h, str("v=uchar[4] n=uchar[2] uchar w=int16")}));
    EXPECT_EQ(out, std::string("\x01\x02\0\0\0\0\0\0\0", 9));
    EXPECT_EQ(call.raised("pack", {arr({}), str("a=char")}), "error [7]: Bad argument in pack()");
    // The template is checked before the hash.
    EXPECT_EQ(call.raised("pack", {Value(1), Value(2)}), "error [7]: Cannot convert arg to string");
}

TEST(Pack, unpack_reads_back_and_turns_short_data_into_null) {
    Value h = hash_of({{"a", Value(-2)}, {"b", Value(40000)}, {"c", Value(-1)}});
    const char* t = "a=int16 b=uint16 c=int32 d=ulong";
    Value data = call("pack", {h, str(t)});
    Value back = call("unpack", {data, str(t)});
    EXPECT_EQ(field(back, "a").num(), -2);
    EXPECT_EQ(field(back, "b").num(), 40000);
    EXPECT_EQ(field(back, "c").num(), -1);
    EXPECT_EQ(field(back, "d").num(), 0);

    Value s = call("unpack", {str("\x01\x02\x03"), str("a=int16 b=int16")});
    EXPECT_EQ(field(s, "a").num(), 0x0201);
    EXPECT_TRUE(field(s, "b").is_null());

    std::vector<double> x = nums(field(call("unpack", {str("ab"), str("x=uchar[4]")}), "x"));
    ASSERT_EQ(x.size(), 4u);
    EXPECT_EQ(x[0], 97);
    EXPECT_EQ(x[1], 98);
    EXPECT_TRUE(std::isnan(x[2]) && std::isnan(x[3]));

    // Once a value is missing the position is lost: z is null although one byte is left.
    Value lost = call("unpack", {str("ab"), str("x=uchar y=int16 z=uchar")});
    EXPECT_TRUE(field(lost, "y").is_null());
    EXPECT_TRUE(field(lost, "z").is_null());
}

TEST(Pack, unpack_skips_unnamed_fields_and_keeps_the_last_repeat) {
    Value h = call("unpack", {str("abcd"), str("uchar k=uchar k=uchar[2]")});
    EXPECT_EQ(h.as_hash()->size(), 1u);
    EXPECT_EQ(nums(field(h, "k")), (std::vector<double>{99, 100}));
    EXPECT_EQ(call.raised("unpack", {Value(1), str("a=char")}),
              "error [7]: Cannot convert arg to string");
}

TEST(Pack, bsplit_decodes_whole_elements) {
    EXPECT_EQ(nums(call("bsplit", {str("abc")})), (std::vector<double>{97, 98, 99}));
    EXPECT_EQ(nums(call("bsplit", {str("abcde"), str("int16")})).size(), 2u);
    EXPECT_EQ(nums(call("bsplit", {str("\xFF\xFF"), str("short")})), (std::vector<double>{-1}));
    EXPECT_EQ(nums(call("bsplit", {str("\xFF\xFF"), str("USHORT")})), (std::vector<double>{65535}));
    for (auto args : {std::vector<Value>{Value(1)}, {str("a"), Value(1)}, {str("a"), str("int")}})
        EXPECT_EQ(call.raised("bsplit", args), "error [7]: Bad argument in bsplit()");
}

TEST(Pack, bjoin_checks_types_and_ranges) {
    EXPECT_EQ(text(call("bjoin", {arr({Value(97), Value(98)})})), "ab");
    EXPECT_EQ(text(call("bjoin", {arr({Value(-1)}), str("uchar")})), "\xFF");
    EXPECT_EQ(text(call("bjoin", {arr({Value::boolean(true)}), str("char")})), "\x01");
    EXPECT_EQ(text(call("bjoin", {arr({Value(4294967295.0), Value(-2147483648.0)}), str("int32")})),
              std::string("\xFF\xFF\xFF\xFF\0\0\0\x80", 8));
    for (double bad : {256.0, -129.0, 2.5e9, static_cast<double>(ruvo_nan())})
        EXPECT_EQ(call.raised("bjoin", {arr({Value(bad)})}),
                  "error [7]: Bad argument range in bjoin()");
    EXPECT_EQ(call.raised("bjoin", {arr({Value(65536)}), str("short")}),
              "error [7]: Bad argument range in bjoin()");
    EXPECT_EQ(call.raised("bjoin", {arr({str("a")})}), "error [7]: Bad argument type in bjoin()");
    EXPECT_EQ(call.raised("bjoin", {arr({Value()})}), "error [7]: Bad argument type in bjoin()");
    EXPECT_EQ(call.raised("bjoin", {str("ab")}), "error [7]: Bad argument in bjoin()");
    EXPECT_EQ(call.raised("bjoin", {arr({}), str("int")}), "error [7]: Bad argument in bjoin()");
}

TEST(Pack, floating_types_round_trip_without_range_checks) {
    Value a = arr({Value(1e300), Value(-0.25), Value(ruvo_nan())});
    std::vector<double> f = nums(call("bsplit", {call("bjoin", {a, str("float")}), str("float")}));
    EXPECT_EQ(f[0], HUGE_VAL);
    EXPECT_EQ(f[1], -0.25);
    EXPECT_TRUE(std::isnan(f[2]));
    std::vector<double> d =
        nums(call("bsplit", {call("bjoin", {a, str("double")}), str("double")}));
    EXPECT_EQ(d[0], 1e300);
}
