// Serialization: the byte layout, round trips of shared and cyclic structures, and hostile
// input (random, truncated, absurd counts, deep nests).
#include <cmath>
#include <cstring>
#include <random>

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
const test::Family call(serial_builtins());

std::string serial(const Value& v) {
    return text(call("serial", {v}));
}
Value deserial(std::string_view s) {
    return call("deserial", {str(s)});
}
std::string deserial_error(std::string_view s) {
    return call.raised("deserial", {str(s)});
}

std::string u32(uint32_t n) {
    return std::string(reinterpret_cast<const char*>(&n), 4);
}
std::string counted(std::string_view s) {
    return u32(static_cast<uint32_t>(s.size())) + std::string(s);
}
std::string new_record(std::string_view type) {
    return std::string("\x02\x00", 2) + counted(type);
}

uint64_t bits(double d) {
    uint64_t b;
    std::memcpy(&b, &d, 8);
    return b;
}
double from_bits(uint64_t b) {
    double d;
    std::memcpy(&d, &b, 8);
    return d;
}

// An object class without a serialized form.
class Opaque final : public VRef {};
} // namespace

TEST(Serial, layout_of_scalars_and_strings) {
    EXPECT_EQ(serial(Value::boolean(true)), std::string("\x01\x01", 2));
    EXPECT_EQ(serial(Value()), std::string("\x02\x01\0\0\0\0", 6));
    EXPECT_EQ(serial(Value(1.0)), std::string("\0\0\0\0\0\0\0\xF0\x3F", 9));
    EXPECT_EQ(serial(str("ab")), new_record("string") + counted("ab"));
}

TEST(Serial, layout_of_containers_follows_key_order_and_back_references) {
    Value h(new VHash());
    h.as_hash()->set("b", Value(1));
    h.as_hash()->set("a", Value::boolean(false));
    EXPECT_EQ(serial(h), new_record("hash") + u32(2) + counted("a") + std::string("\x01\x00", 2) +
                             counted("b") + serial(Value(1)));
    Value self(new VArray());
    self.as_array()->push(self);
    EXPECT_EQ(serial(self), new_record("array") + u32(1) + std::string("\x02\x01", 2) + u32(1));
    self.as_array()->cells.clear(); // break the cycle for the count-based cleanup
}

TEST(Serial, numbers_and_strings_round_trip_exactly) {
    for (double d : {ruvo_nan(), from_bits(0x7FF0000000000123), HUGE_VAL, -HUGE_VAL, -0.0, 1e-310})
        EXPECT_EQ(bits(deserial(serial(Value(d))).num()), bits(d));
    std::string nul("a\0b\0", 4);
    EXPECT_EQ(text(deserial(serial(str(nul)))), nul);
    Value b = deserial(std::string("\x01\x07", 2)); // a stored byte other than 0 or 1
    EXPECT_TRUE(b.is_bool());
    EXPECT_EQ(b.num(), 7);
    EXPECT_EQ(serial(Value::boolean_raw(258)), std::string("\x01\x02", 2)); // low 8 bits
}

TEST(Serial, nested_containers_keep_their_shape) {
    Value h(new VHash());
    h.as_hash()->set("z", arr({Value(1), str("x"), arr({})}));
    h.as_hash()->set("", Value());
    Value back = deserial(serial(h));
    EXPECT_EQ(display_form(back), display_form(h));
    EXPECT_EQ(serial(back), serial(h));
}

TEST(Serial, shared_objects_and_cycles_survive) {
    Value s = str("shared");
    Value a = deserial(serial(arr({s, s})));
    VArray* back = a.as_array();
    ASSERT_EQ(back->size(), 2u);
    EXPECT_EQ(back->cells[0].obj(), back->cells[1].obj());
    back->cells[0].as_string()->str = "changed";
    EXPECT_EQ(text(Value(back->cells[1])), "changed");

    Value h1(new VHash()), h2(new VHash());
    h1.as_hash()->set("other", h2);
    h2.as_hash()->set("other", h1);
    Value r = deserial(serial(h1));
    VHash* r2 = r.as_hash()->find("other")->as_hash();
    ASSERT_NE(r2, nullptr);
    EXPECT_EQ(r2->find("other")->obj(), r.obj());
    // Leave the cycles to the collector's test; here break them so counting frees all.
    h1.as_hash()->clear();
    r.as_hash()->clear();
}

TEST(Serial, failures_raise_the_fixed_messages) {
    Value a = arr({Value(1), Value(new Opaque())});
    EXPECT_EQ(call.raised("serial", {a}), "error: Object not serializable");
    EXPECT_EQ(deserial_error(new_record("file")), "error: Factory not found for file");
    EXPECT_EQ(deserial_error("\x03"), "error: Object deserialize error");
    EXPECT_EQ(call.raised("deserial", {Value(5)}), "error [7]: Cannot convert arg to string");
}

TEST(Serial, short_input_reads_zeros_and_unknown_records_read_null) {
    Value zero = deserial("");
    EXPECT_TRUE(zero.is_number());
    EXPECT_EQ(zero.num(), 0);
    EXPECT_TRUE(deserial(std::string("\x02\x01", 2) + u32(5)).is_null()); // beyond the table
    EXPECT_TRUE(deserial(std::string("\x02\x09", 2)).is_null());
    // Cut inside the last element: the missing bytes read as zeros.
    std::string full = serial(arr({Value(1), Value(2), Value(3)}));
    Value cut = deserial(full.substr(0, full.size() - 4));
    EXPECT_EQ(display_form(cut), "[ 1, 2, 0 ]");
    // Cut after the count, or after the first element: every missing cell is the number 0.
    EXPECT_EQ(display_form(deserial(full.substr(0, full.size() - 27))), "[ 0, 0, 0 ]");
    EXPECT_EQ(display_form(deserial(full.substr(0, full.size() - 16))), "[ 1, 0, 0 ]");
    Value zeros = deserial(new_record("array") + u32(30000));
    ASSERT_EQ(zeros.as_array()->size(), 30000u);
    EXPECT_TRUE(zeros.as_array()->cells[29999].is_number());
    // A cut string reads its missing bytes as NUL; a cut hash its missing entries as the
    // empty key holding 0.
    EXPECT_EQ(text(deserial(new_record("string") + u32(5) + "abc")), std::string("abc\0\0", 5));
    Value two(new VHash());
    two.as_hash()->set("a", Value(1));
    two.as_hash()->set("b", Value(2));
    std::string h = serial(two);
    EXPECT_EQ(display_form(deserial(h.substr(0, h.size() - 14))), "hash( \"\"=0, \"a\"=1 )");
}

TEST(Serial, counts_beyond_the_data_are_refused) {
    const std::string err = "error: Object deserialize error";
    std::string full = serial(arr({Value(1), Value(2), Value(3)}));
    EXPECT_EQ(deserial_error(new_record("array") + u32(0xFFFFFFFF)), err);
    EXPECT_EQ(deserial_error(new_record("hash") + u32(0x7FFFFFFF) + std::string(100, '\0')), err);
    EXPECT_EQ(deserial_error(new_record("string") + u32(0xFFFFFFF0) + "abc"), err);
    EXPECT_EQ(deserial_error(std::string("\x02\x00", 2) + u32(0xFFFFFFFF)), err);
    // What lies beyond the data is paid for once per stream: one such count reads as zeros
    // (above), fifty nested ones fail.
    std::string nest;
    for (int i = 0; i < 50; ++i) nest += new_record("array") + u32(30000);
    EXPECT_EQ(deserial_error(nest + std::string(400, '\x01')), err);
    // A negative hash count is an empty hash.
    EXPECT_EQ(deserial(new_record("hash") + u32(0x80000000)).as_hash()->size(), 0u);
}

TEST(Serial, random_and_truncated_input_gives_a_value_or_an_error) {
    Value inner = arr({str("s"), Value(2.5), Value::boolean(true)});
    Value h(new VHash());
    h.as_hash()->set("k", inner);
    h.as_hash()->set("j", arr({inner, inner, Value()}));
    const std::string seed = serial(h);
    std::mt19937 rng(12345);
    int values = 0, errors = 0;
    auto run = [&](const std::string& s) {
        try {
            deserial(s);
            ++values;
        } catch (const ScriptError&) {
            ++errors;
        }
    };
    for (size_t n = 0; n <= seed.size(); ++n) run(seed.substr(0, n));
    for (int i = 0; i < 3000; ++i) {
        std::string s = seed;
        for (int k = rng() % 4; k >= 0; --k) s[rng() % s.size()] = static_cast<char>(rng());
        run(s);
        std::string noise(rng() % 64, '\0');
        for (char& c : noise) c = static_cast<char>(rng() % 4 ? rng() % 3 : rng());
        run(noise);
    }
    EXPECT_GT(values, 0);
    EXPECT_GT(errors, 0);
}

TEST(Serial, deep_nests_need_no_native_stack) {
    constexpr int kDepth = 200000;
    Value root(new VArray());
    VArray* a = root.as_array();
    for (int i = 1; i < kDepth; ++i) {
        auto* next = new VArray();
        a->push(Value(next));
        a = next;
    }
    std::string bytes = serial(root);
    const std::string level = new_record("array") + u32(1);
    ASSERT_EQ(bytes.size(), level.size() * kDepth);
    EXPECT_EQ(bytes.substr(0, level.size()), level);
    EXPECT_EQ(bytes.substr(bytes.size() - level.size()), new_record("array") + u32(0));

    Value back = deserial(bytes);
    int depth = 1;
    for (VArray* p = back.as_array(); p->size() == 1; p = p->cells[0].as_array()) ++depth;
    EXPECT_EQ(depth, kDepth);
}
