// Places: reading and writing variables, elements and hash members, and what stays safe when
// the right side of an assignment changes the container under the place.
#include <gtest/gtest.h>

#include "core/array.h"
#include "core/hash.h"
#include "core/string.h"
#include "harness.h"

using namespace ruvo;
using namespace ruvo::test;

namespace {

class PlacesTest : public EvalTest {
protected:
    void SetUp() override {
        EvalTest::SetUp();
        // hdel(h, k): erases a key, as the hash built-ins do.
        funcman.registerBuiltin("hdel", 2, [](VContext&, int, std::span<Value> a, Value& r) {
            a[0].as_hash()->remove(a[1].as_string()->view(), r);
        });
        // apush(a, v): appends, as push() does (may move the element storage).
        funcman.registerBuiltin("apush", 2, [](VContext&, int, std::span<Value> a, Value&) {
            a[0].as_array()->push(a[1]);
        });
        funcman.registerBuiltin("aclear", 1, [](VContext&, int, std::span<Value> a, Value&) {
            a[0].as_array()->resize(0);
        });
    }
};

} // namespace

TEST_F(PlacesTest, array_elements_grow_on_write_and_check_range_on_read) {
    EXPECT_EQ(output("a = [1, 2]; a[5] = 9; show(a);"), "[ 1, 2, null, null, null, 9 ]\n");
    EXPECT_EQ(output("a = [1, 2];\na[-1] = 0;"), "error [2]: Array range error index:=-1\n");
    EXPECT_EQ(output("a = [1, 2];\nx = a[5];"), "error [2]: Array range error index:=5\n");
    EXPECT_EQ(output("a = [1, 2]; x = a[\"1\"];"), "error [1]: Array index must be number\n");
    EXPECT_EQ(output("a = [1, 2, 3]; print(a[true], a[1.9], a[-0.5]);"), "221\n");
    EXPECT_EQ(output("s = \"abc\"; x = s[0];"),
              "error [1]: Bad array operation for non-array object\n");
    EXPECT_EQ(output("a = [1]; x = a.size;"), "error [1]: Bad type operation in operator .\n");
    // Growth has a bound instead of exhausting memory.
    EXPECT_EQ(output("a = []; a[2000000000] = 1;"),
              "error [1]: Array range error index:=2000000000\n");
}

TEST_F(PlacesTest, hash_members_must_exist_but_indexing_creates) {
    EXPECT_EQ(output("h = hash(\"x\" = 1); h.y = 2;"),
              "error [1]: Hash member y is not declared in operator .\n");
    EXPECT_EQ(output("h = hash(\"x\" = 1); h[\"y\"] = 2; h.y += 1; show(h);"),
              "hash( \"x\"=1, \"y\"=3 )\n");
    EXPECT_EQ(output("h = hash(\"x\" = 1); print(h[\"z\"]); x = h.z;"),
              "null\nerror [1]: Hash member z is not declared in operator .\n");
    EXPECT_EQ(output("h = hash(); x = h[1];"), "error [1]: Hash index must be string\n");
    EXPECT_EQ(output("s = struct(a, b = 2); s.a = 1; show(s); s.c = 3;"),
              "hash( \"a\"=1, \"b\"=2 )\nerror [1]: Hash member c is not declared in operator .\n");
    // An absent key is an empty place: it reads null and ignores writes.
    EXPECT_EQ(output("h = hash(\"a\" = 1); swap(h[\"a\"], h[\"zz\"]); show(h);"),
              "hash( \"a\"=null )\n");
    EXPECT_EQ(output("h = hash(); h[\"k\"] += 1;"),
              "error [1]: Bad type operation in operator +\n");
}

TEST_F(PlacesTest, swap_let_and_increments) {
    EXPECT_EQ(output("a = [1, 2]; swap(a[0], a[1]); show(a);"), "[ 2, 1 ]\n");
    EXPECT_EQ(output("x = 3; print(let(x, 5), x);"), "35\n");
    EXPECT_EQ(output("x = 1; print(x++, x, ++x, x--, --x);"), "12331\n");
    EXPECT_EQ(output("b = true; print(b++, b);"), "true2\n");
    EXPECT_EQ(output("a = [1]; a[0]++; ++a[0]; print(a[0]);"), "3\n");
    EXPECT_EQ(output("s = \"x\"; s++; print(s);"), "x1\n");
    EXPECT_EQ(output("h = hash(); h--;"), "error [1]: Bad type operation in operator -\n");
    EXPECT_EQ(output("y++;"), "error [1]: Symbol y not declared\n");
}

TEST_F(PlacesTest, the_right_side_may_change_the_container) {
    // The right side grows the array far enough to move its storage.
    EXPECT_EQ(output("a = [1];\n"
                     "function grow() { for (var i = 0; i < 1000; i++) apush(a, i); return 10; }\n"
                     "a[0] += grow(); print(a[0], \" \", a[1000]);"),
              "11 999\n");
    EXPECT_EQ(output("a = [1];\n"
                     "function grow() { for (var i = 0; i < 1000; i++) apush(a, i); return 7; }\n"
                     "x = let(a[0], grow()); print(x, a[0]);"),
              "17\n");
    // ...or shrinks it: the element is gone when the place is read again.
    EXPECT_EQ(
        output("a = [1, 2, 3];\nfunction shrink() { aclear(a); return 1; }\na[2] += shrink();"),
        "error [3]: Array range error index:=2\n");
    // A hash entry erased meanwhile is found again by key (and stored anew).
    EXPECT_EQ(output("h = hash(\"k\" = 1, \"j\" = 2);\n"
                     "function drop() { hdel(h, \"k\"); hdel(h, \"j\"); return 5; }\n"
                     "x = let(h[\"k\"], drop()); print(x); show(h);"),
              "1\nhash( \"k\"=5 )\n");
}

TEST_F(PlacesTest, append_in_place_never_changes_a_shared_string) {
    EXPECT_EQ(output("s = \"a\"; s += \"b\"; s += 1; print(s);"), "ab1\n");
    EXPECT_EQ(output("s = \"a\"; t = s; s += \"b\"; print(s, \" \", t);"), "ab a\n");
    EXPECT_EQ(output("s = \"a\"; k = [s]; s += \"b\"; print(s, \" \", k[0]);"), "ab a\n");
    EXPECT_EQ(output("s = \"ab\"; s += s; print(s);"), "abab\n");
    EXPECT_EQ(output("s = \"a\"; x = (s += \"b\"); s += \"c\"; print(x, \" \", s);"), "ab abc\n");
    EXPECT_EQ(output("s = \"a\"; s += [1, 2]; show(s);"), "[ \"a1\", \"a2\" ]\n");
    EXPECT_EQ(output("h = hash(\"k\" = \"x\"); h.k += \"y\"; h[\"k\"] += \"z\"; print(h.k);"),
              "xyz\n");
}

TEST_F(PlacesTest, values_held_by_the_evaluator_survive_collections) {
    EXPECT_EQ(output("show([1, [2, gc(), \"s\" + gc()], hash(\"k\" = [gc()])]);"),
              "[ 1, [ 2, null, \"snull\" ], hash( \"k\"=[ null ] ) ]\n");
    EXPECT_EQ(output("function f(a, b) { gc(); return a + b; } print(f(\"x\", [1][0]));"), "x1\n");
    EXPECT_EQ(output("a = [1]; a[0] = [gc(), \"v\"]; gc(); show(a);"), "[ [ null, \"v\" ] ]\n");
}
