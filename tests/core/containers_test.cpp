// Strings, arrays and hashes: storage, key order, shallow and deep copies.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "core/array.h"
#include "core/copy.h"
#include "core/hash.h"
#include "core/string.h"
#include "eval/error.h"
#include "test_support.h"

using namespace ruvo;

using test::arr;
using test::raised;

TEST(Containers, hash_walks_keys_in_unsigned_byte_order) {
    Value h(new VHash());
    for (const char* k : {"ab", "a", "B", ""}) h.as_hash()->set(k, Value(1));
    h.as_hash()->set("\xE0", Value(2)); // bytes above 0x7F sort after ASCII
    std::vector<std::string> keys;
    for (auto* e : h.as_hash()->sorted()) keys.push_back(e->first);
    EXPECT_EQ(keys, (std::vector<std::string>{"", "B", "a", "ab", "\xE0"}));
    Value out;
    EXPECT_TRUE(h.as_hash()->remove("a", out));
    EXPECT_FALSE(h.as_hash()->remove("a", out));
    EXPECT_EQ(h.as_hash()->sorted().size(), 4u);
}

TEST(Containers, strings_hold_nul_bytes_and_arrays_grow_on_set) {
    Value s = make_string(std::string("a\0b", 3));
    EXPECT_EQ(s.as_string()->size(), 3u);
    Value a(new VArray());
    EXPECT_TRUE(a.as_array()->set(5, Value(1)));
    EXPECT_EQ(a.as_array()->size(), 6u);
    EXPECT_TRUE(a.as_array()->cells[0].is_null());
    EXPECT_FALSE(a.as_array()->set(-1, Value(1)));
    EXPECT_FALSE(a.as_array()->erase(6));
}

TEST(Containers, shallow_copy_shares_inner_objects) {
    Value inner = arr({Value(1)});
    Value outer = arr({inner});
    Value c = shallow_copy(outer, 1);
    EXPECT_NE(c.obj(), outer.obj());
    EXPECT_EQ(c.as_array()->cells[0].obj(), inner.obj());
    EXPECT_EQ(shallow_copy(Value(), 1).is_null(), true);
}

TEST(Containers, deep_copy_keeps_sharing_and_cycles) {
    Value str = make_string("s");
    Value self = arr({str, str});
    self.as_array()->push(self);
    Value c = deep_copy(self, 1);
    VArray* ca = c.as_array();
    ASSERT_NE(ca, self.as_array());
    EXPECT_EQ(ca->cells[0].obj(), ca->cells[1].obj()) << "one copied string, twice";
    EXPECT_NE(ca->cells[0].obj(), str.obj());
    EXPECT_EQ(ca->cells[2].obj(), ca) << "the copy contains itself, not the source";
    Value flags(new VHash());
    flags.as_hash()->set("t", Value::boolean(true));
    flags.as_hash()->set("n", Value(1));
    Value fc = deep_copy(arr({Value::boolean(false), flags}), 1);
    EXPECT_TRUE(fc.as_array()->cells[0].is_bool()) << "a boolean element stays a boolean";
    EXPECT_TRUE(fc.as_array()->cells[1].as_hash()->find("t")->is_bool());
    EXPECT_TRUE(fc.as_array()->cells[1].as_hash()->find("n")->is_number());
    self.as_array()->cells.clear(); // break the source cycle
    c.as_array()->cells.clear();
}

TEST(Containers, deep_copy_of_a_deep_nest_does_not_recurse) {
    Value root(new VArray());
    Value cur = root;
    for (int i = 0; i < 200000; ++i) {
        Value next(new VArray());
        cur.as_array()->push(next);
        cur = next;
    }
    Value c = deep_copy(root, 1);
    int depth = 0;
    for (VArray* a = c.as_array(); a && a->size(); a = a->cells[0].as_array()) ++depth;
    EXPECT_EQ(depth, 200000);
}

TEST(Containers, copies_of_what_cannot_be_cloned_fail_with_their_messages) {
    struct Opaque : VRef {};
    Value o(new Opaque());
    EXPECT_EQ(raised([&] { shallow_copy(o, 3); }), "error [3]: Object not clonable in copy()");
    Value a = arr({o});
    EXPECT_EQ(raised([&] { deep_copy(a, 4); }), "error [4]: Object not clonable in deepcopy()");
}

// Random inserts and erasures against a sorted map: growth, the back-shift on erasure and the
// sorted walk and lookups must agree with the model at every step, and a cell keeps its
// address until its own entry is erased.
TEST(Containers, hash_table_agrees_with_a_model_under_inserts_and_erasures) {
    uint64_t seed = 12345;
    auto next = [&] {
        seed = seed * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<uint32_t>(seed >> 33);
    };
    std::map<std::string, double> model;
    std::map<std::string, Cell*> address;
    Value hv(new VHash());
    VHash* h = hv.as_hash();
    for (int step = 0; step < 20000; ++step) {
        // Few distinct keys of varied lengths, so that erasures hit present keys often.
        std::string key(next() % 20, 'k');
        key += std::to_string(next() % 300);
        h->find(key); // the entry looked at last is tried first by the next lookup
        if (next() % 3 == 0) {
            Value out;
            bool had = model.erase(key) > 0;
            uint32_t before = h->epoch();
            ASSERT_EQ(h->remove(key, out), had) << key;
            if (had) {
                EXPECT_NE(h->epoch(), before);
                address.erase(key);
            }
        } else {
            Cell& c = h->get_or_insert(key);
            if (address.count(key)) {
                ASSERT_EQ(address[key], &c) << key;
            }
            address[key] = &c;
            c.set_num(step);
            model[key] = step;
        }
        ASSERT_EQ(h->size(), model.size());
        // A lookup right after the update (the entry just touched is tried first) and one of
        // another key of the same length must both agree with the model.
        Cell* found = h->find(key);
        ASSERT_EQ(found != nullptr, model.count(key) > 0) << key;
        if (found) {
            ASSERT_EQ(found->num(), model[key]) << key;
        }
        std::string other = key;
        other.back() = other.back() == '0' ? '1' : '0';
        ASSERT_EQ(h->find(other) != nullptr, model.count(other) > 0) << other;
    }
    for (auto& [k, v] : model) {
        Cell* c = h->find(k);
        ASSERT_NE(c, nullptr) << k;
        EXPECT_EQ(c->num(), v);
        EXPECT_EQ(c, address[k]);
    }
    EXPECT_EQ(h->find("absent"), nullptr);
    const auto& walk = h->sorted();
    ASSERT_EQ(walk.size(), model.size());
    size_t i = 0;
    for (auto& [k, v] : model) EXPECT_EQ(walk[i++]->first, k);
    h->clear();
    EXPECT_EQ(h->size(), 0u);
    EXPECT_EQ(h->find(model.begin()->first), nullptr);
}

TEST(Containers, short_keys_differing_in_any_byte_are_distinct) {
    // Every key of up to three bytes over "a", "b" and NUL; then every one of them over "a"
    // and "c" is looked up, found exactly when it has no "c".
    Value hv(new VHash());
    VHash* h = hv.as_hash();
    std::vector<std::string> keys{""};
    for (size_t len = 1; len <= 3; ++len)
        for (size_t i = 0, n = keys.size(); i < n; ++i)
            if (keys[i].size() == len - 1)
                for (char c : {'a', 'b', '\0'}) keys.push_back(keys[i] + c);
    for (size_t i = 0; i < keys.size(); ++i) h->set(keys[i], Value(static_cast<double>(i)));
    ASSERT_EQ(h->size(), keys.size());
    for (size_t i = 0; i < keys.size(); ++i) {
        ASSERT_NE(h->find(keys[i]), nullptr) << i;
        EXPECT_EQ(h->find(keys[i])->num(), static_cast<double>(i));
        std::string probe = keys[i];
        for (char& c : probe) {
            if (c != 'b') continue;
            c = 'c';
            EXPECT_EQ(h->find(probe), nullptr) << "a key with one byte changed";
            c = 'b';
        }
    }
}
