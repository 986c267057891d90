// The object registry, the two counts and the cycle collector.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/array.h"
#include "core/hash.h"
#include "core/string.h"

using namespace ruvo;

namespace {

// Every object the test made is gone again, and no count went wrong.
class CollectorTest : public ::testing::Test {
protected:
    void SetUp() override {
        objman.collect();
        base_ = objman.count;
        testing::internal::CaptureStdout();
    }
    void TearDown() override {
        objman.collect();
        std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(out, "") << "internal errors were printed";
        EXPECT_EQ(objman.count, base_);
    }
    uint32_t base_ = 0;
};

// Threshold after a collection that leaves exactly `live` objects.
uint32_t threshold_after(uint32_t live) {
    objman.collect();
    std::vector<Value> keep;
    while (objman.count < live) keep.emplace_back(new VString("x"));
    EXPECT_EQ(objman.count, live);
    objman.threshold = 0;
    objman.maybe_collect();
    return objman.threshold;
}

} // namespace

TEST_F(CollectorTest, values_and_cells_move_their_own_count) {
    auto* s = new VString("abc");
    {
        Value v(s);
        EXPECT_EQ(s->locks, 1);
        Value w = v;
        EXPECT_EQ(s->locks, 2);
        Cell c(w);
        EXPECT_EQ(s->refs, 1);
        Value& same = w;
        w = same; // self-assignment leaves both counts alone
        EXPECT_EQ(s->locks, 2);
        EXPECT_EQ(s->refs, 1);
        Value m = std::move(w);
        EXPECT_EQ(s->locks, 2);
    }
    // Both counts reached zero: the object is gone (TearDown checks the registry count).
}

TEST_F(CollectorTest, cycles_survive_until_collected_then_free_cleanly) {
    uint32_t before = objman.count;
    {
        Value a(new VArray());
        a.as_array()->push(a); // contains itself
        Value h1(new VHash()), h2(new VHash());
        h1.as_hash()->set("other", h2);
        h2.as_hash()->set("other", h1);
    }
    EXPECT_EQ(objman.count, before + 3) << "cycles are kept by their own refs";
    objman.collect();
    EXPECT_EQ(objman.count, before);
}

TEST_F(CollectorTest, objects_held_by_temporaries_are_roots) {
    Value tmp(new VArray());
    tmp.as_array()->push(make_string("kept"));
    objman.collect();
    ASSERT_EQ(tmp.as_array()->size(), 1u);
    EXPECT_EQ(tmp.as_array()->cells[0].as_string()->str, "kept");
}

TEST_F(CollectorTest, collection_requested_during_a_collection_does_nothing) {
    uint32_t before = objman.count;
    {
        Value a(new VArray());
        a.as_array()->push(a);
    }
    objman.running = true;
    objman.collect();
    EXPECT_EQ(objman.count, before + 1);
    objman.running = false;
}

TEST_F(CollectorTest, threshold_grows_geometrically_then_linearly) {
    uint32_t saved = objman.threshold;
    EXPECT_EQ(threshold_after(10), 26u);
    EXPECT_EQ(threshold_after(20), 40u);
    EXPECT_EQ(threshold_after(150000), 250000u);
    objman.threshold = saved;
}

TEST_F(CollectorTest, deep_nests_are_marked_and_freed_without_recursion) {
    constexpr int depth = 200000;
    {
        Value root(new VArray());
        Value cur = root;
        for (int i = 0; i < depth; ++i) {
            Value next(new VArray());
            cur.as_array()->push(next);
            cur = next;
        }
        objman.collect(); // marks 200 000 levels from the root
        EXPECT_GE(objman.count, static_cast<uint32_t>(depth));
        cur.as_array()->push(root); // and one cycle through all of them
    }
    objman.collect();
}

TEST_F(CollectorTest, underflow_is_reported_and_execution_goes_on) {
    std::string out = testing::internal::GetCapturedStdout();
    testing::internal::CaptureStdout();
    Value keep(new VString("x"));
    VRef* o = keep.obj();
    o->addref();
    o->release();
    o->release(); // refs goes to -1
    std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(printed, "Internal error in VRef::release()\n");
    o->refs = 0;
    testing::internal::CaptureStdout();
}
