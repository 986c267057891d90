// The array built-ins: in-place changes, erase's messages, split by string and by regular
// expression, join and cat, slice and splice forms, resize, the three orderings of sort and
// its speed, and the callbacks of sort, map, grep and rmap run from script text.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "builtin_call.h"
#include "core/hash.h"
#include "eval/harness.h"
#include "lib/regexp.h"
#include "test_support.h"

using namespace ruvo;
using namespace ruvo::test;

namespace {

const Family arrays(array_builtins());

std::string at7(const std::string& message) { return "error [7]: " + message; }

std::string shown(const Value& v) { return display_form(v); }

Value nums(std::initializer_list<double> xs) {
    Value a(new VArray());
    for (double x : xs) a.as_array()->push(Value(x));
    return a;
}

Value re(std::string_view pattern) { return make_regexp(new RegExp(pattern, false, false)); }

std::string split(std::string_view s, const Value& sep) {
    return shown(arrays("split", {str(s), sep}));
}

} // namespace

TEST(Arrays, stack_and_queue) {
    Value a = nums({1, 2});
    arrays("push", {a, Value(3)});
    arrays("unshift", {a, Value(0)});
    EXPECT_EQ(shown(a), "[ 0, 1, 2, 3 ]");
    EXPECT_EQ(arrays("pop", {a}).num(), 3);
    EXPECT_EQ(arrays("shift", {a}).num(), 0);
    EXPECT_EQ(shown(a), "[ 1, 2 ]");
    arrays("push", {a, a}); // an array may hold itself
    EXPECT_EQ(a.as_array()->cells[2].obj(), a.obj());
    arrays("clear", {a});
    EXPECT_EQ(a.as_array()->size(), 0u);

    Value e = arr({});
    EXPECT_TRUE(arrays("pop", {e}).is_null());
    EXPECT_TRUE(arrays("shift", {e}).is_null());
    EXPECT_EQ(e.as_array()->size(), 0u);
    for (const char* f : {"push", "unshift"})
        EXPECT_EQ(arrays.raised(f, {str("x"), Value(1)}),
                  at7(std::string("Bad argument type in ") + f + "()"));
    for (const char* f : {"pop", "shift", "clear", "reverse"})
        EXPECT_EQ(arrays.raised(f, {Value(1)}),
                  at7(std::string("Bad argument type in ") + f + "()"));
}

TEST(Arrays, erase_by_index_and_key) {
    Value a = nums({1, 2, 3});
    EXPECT_EQ(arrays("erase", {a, Value(1.7)}).num(), 2);
    EXPECT_EQ(shown(a), "[ 1, 3 ]");
    EXPECT_EQ(arrays.raised("erase", {nums({1}), Value(5)}),
              at7("Bad array index 5 in erase()"));
    EXPECT_EQ(arrays.raised("erase", {nums({1}), Value(-1)}),
              at7("Bad array index -1 in erase()"));
    // a huge index does not wrap round onto an element
    Value b = nums({1});
    EXPECT_EQ(arrays.raised("erase", {b, Value(4294967296.0)}),
              at7("Bad array index 2147483647 in erase()"));
    EXPECT_EQ(arrays.raised("erase", {b, Value(std::nan(""))}),
              at7("Bad array index -2147483648 in erase()"));
    EXPECT_EQ(b.as_array()->size(), 1u);

    Value h(new VHash());
    h.as_hash()->set("a", Value(1));
    h.as_hash()->set("b", Value(2));
    EXPECT_EQ(arrays("erase", {h, str("a")}).num(), 1);
    EXPECT_EQ(h.as_hash()->size(), 1u);
    EXPECT_EQ(arrays.raised("erase", {h, str("zz")}), at7("Bad hash index zz in erase()"));
    // the message shows the whole key: NUL bytes, directives and length do not cut it
    EXPECT_EQ(arrays.raised("erase", {h, str(std::string_view("z\0%s", 4))}),
              at7("Bad hash index " + std::string("z\0%s", 4) + " in erase()"));
    std::string long_key(600, 'k');
    EXPECT_EQ(arrays.raised("erase", {h, str(long_key)}),
              at7("Bad hash index " + long_key + " in erase()"));
    EXPECT_EQ(arrays.raised("erase", {Value(5), Value(0)}), at7("Bad argument type in erase()"));
    EXPECT_EQ(arrays.raised("erase", {nums({1}), str("0")}), at7("Bad argument type in erase()"));
    EXPECT_EQ(arrays.raised("erase", {h, Value(0)}), at7("Bad argument type in erase()"));
}

TEST(Arrays, split_by_string) {
    EXPECT_EQ(split("a b c", str(" ")), "[ \"a\", \"b\", \"c\" ]");
    EXPECT_EQ(split("a,b,,c", str(",")), "[ \"a\", \"b\", \"\", \"c\" ]");
    EXPECT_EQ(split(",a", str(",")), "[ \"\", \"a\" ]");
    EXPECT_EQ(split("a,,", str(",")), "[ \"a\", \"\" ]");
    EXPECT_EQ(split("", str(",")), "[  ]");
    EXPECT_EQ(split("", str("")), "[  ]");
    EXPECT_EQ(split("a::b", str("::")), "[ \"a\", \"b\" ]");
    EXPECT_EQ(shown(arrays("split", {str("abc")})), "[ \"a\", \"b\", \"c\" ]");
    // characters: a double-byte character stays whole, a lone lead byte at the end is one byte
    EXPECT_EQ(text(arrays("split", {str("\x82\xa0" "a\x82")}).as_array()->cells[0]),
              "\x82\xa0");
    EXPECT_EQ(arrays("split", {str("\x82\xa0" "a\x82")}).as_array()->size(), 3u);
    EXPECT_EQ(arrays.raised("split", {Value(1)}), at7("Bad argument type in split()"));
    EXPECT_EQ(arrays.raised("split", {str("a"), Value(1)}), at7("Bad argument type in split()"));
}

TEST(Arrays, split_after_a_long_split_starts_afresh) {
    // One list of pieces serves every call; a long one is given back afterwards.
    std::string many;
    for (int i = 0; i < 10000; ++i) many += std::to_string(i) + ",";
    Value big = arrays("split", {str(many), str(",")});
    ASSERT_EQ(big.as_array()->size(), 10000u);
    EXPECT_EQ(text(big.as_array()->cells[9999]), "9999");
    EXPECT_EQ(split("x,y", str(",")), "[ \"x\", \"y\" ]");
    EXPECT_EQ(split("x1y", re("[0-9]")), "[ \"x\", \"y\" ]");
    EXPECT_EQ(text(big.as_array()->cells[0]), "0") << "the pieces are copies";
}

TEST(Arrays, split_by_regexp) {
    EXPECT_EQ(split("a1b22c", re("[0-9]+")), "[ \"a\", \"b\", \"c\" ]");
    EXPECT_EQ(split("abc", re("x*")), "[ \"a\", \"b\", \"c\" ]");
    EXPECT_EQ(split("1a2", re("[0-9]")), "[ \"\", \"a\" ]");
    EXPECT_EQ(split("abc", re("z")), "[ \"abc\" ]");
    EXPECT_EQ(split("", re("x*")), "[  ]");
    // an empty match after the start cuts before it; at the start it takes one character
    EXPECT_EQ(split("ab1", re("(?=1)|1")), "[ \"ab\", \"1\" ]");
    // "^" anchors at the start of every remainder
    EXPECT_EQ(split("aab", re("^a")), "[ \"\", \"\", \"b\" ]");
}

TEST(Arrays, join_and_cat) {
    EXPECT_EQ(text(arrays("join", {arr({Value(1), str("a"), Value::boolean(true)})})), "1atrue");
    EXPECT_EQ(text(arrays("join", {arr({}), str("-")})), "");
    EXPECT_EQ(text(arrays("join", {arr({Value(), Value(2)}), str(", ")})), "null, 2");
    EXPECT_EQ(arrays.raised("join", {str("abc"), str("-")}), at7("Bad argument type in join()"));
    EXPECT_EQ(arrays.raised("join", {arr({}), Value(1)}), at7("Cannot convert arg to string"));
    EXPECT_EQ(arrays.raised("join", {Value(1), Value(1)}), at7("Bad argument type in join()"));

    EXPECT_EQ(shown(arrays("cat", {nums({1, 2}), Value(3), arr({nums({4})})})),
              "[ 1, 2, 3, [ 4 ] ]");
    EXPECT_EQ(shown(arrays("cat")), "[  ]");
    Value a = nums({1});
    EXPECT_EQ(shown(arrays("cat", {a, a, Value()})), "[ 1, 1, null ]");
}

TEST(Arrays, slice_forms) {
    auto slice = [](std::initializer_list<double> xs, double pos, double len) {
        return shown(arrays("slice", {nums(xs), Value(pos), Value(len)}));
    };
    EXPECT_EQ(slice({1, 2, 3, 4}, 1, 2), "[ 2, 3 ]");
    EXPECT_EQ(shown(arrays("slice", {nums({1, 2, 3, 4}), Value(-2)})), "[ 3, 4 ]");
    EXPECT_EQ(shown(arrays("slice", {nums({1, 2}), Value(-9)})), "[ 1, 2 ]");
    EXPECT_EQ(slice({1, 2, 3}, 1, -1), "[  ]");
    EXPECT_EQ(slice({1, 2, 3}, 2, 10), "[ 3 ]");
    EXPECT_EQ(slice({1, 2, 3}, 3, 1), "[  ]");
    EXPECT_EQ(slice({1, 2, 3}, 1e300, 1e300), "[  ]");
    EXPECT_EQ(slice({1, 2, 3}, -1e300, 1e300), "[ 1, 2, 3 ]");
    EXPECT_EQ(arrays.raised("slice", {str("a"), Value(0)}), at7("Bad argument type in slice()"));
    EXPECT_EQ(arrays.raised("slice", {nums({1}), str("0")}),
              at7("Cannot convert arg to number"));
}

TEST(Arrays, splice_forms) {
    Value a = nums({1, 2, 3, 4});
    EXPECT_EQ(shown(arrays("splice", {a, Value(1), Value(2)})), "[ 2, 3 ]");
    EXPECT_EQ(shown(a), "[ 1, 4 ]");

    a = nums({1, 2});
    EXPECT_EQ(shown(arrays("splice", {a, Value(1), Value(0), nums({8, 9})})), "[  ]");
    EXPECT_EQ(shown(a), "[ 1, 8, 9, 2 ]");

    a = nums({1, 2, 3});
    EXPECT_EQ(shown(arrays("splice", {a, Value(-1)})), "[ 3 ]");
    EXPECT_EQ(shown(a), "[ 1, 2 ]");

    a = nums({1, 2, 3, 4});
    EXPECT_EQ(shown(arrays("splice", {a, Value(1), Value(10)})), "[ 2, 3, 4 ]");
    EXPECT_EQ(shown(a), "[ 1 ]");

    // a negative count leaves that many at the end
    a = nums({1, 2, 3, 4, 5});
    EXPECT_EQ(shown(arrays("splice", {a, Value(1), Value(-1)})), "[ 2, 3, 4 ]");
    EXPECT_EQ(shown(a), "[ 1, 5 ]");
    a = nums({1, 2});
    EXPECT_EQ(shown(arrays("splice", {a, Value(0), Value(-5)})), "[  ]");

    // a non-array insertion is one element; the array may be inserted into itself
    a = nums({1, 2});
    arrays("splice", {a, Value(1), Value(0), str("x")});
    EXPECT_EQ(shown(a), "[ 1, \"x\", 2 ]");
    a = nums({1, 2});
    arrays("splice", {a, Value(1), Value(0), a});
    EXPECT_EQ(shown(a), "[ 1, 1, 2, 2 ]");

    // far past the end: nothing removed, the insertion goes at the end
    a = nums({1, 2});
    EXPECT_EQ(shown(arrays("splice", {a, Value(1e12), Value(3), Value(9)})), "[  ]");
    EXPECT_EQ(shown(a), "[ 1, 2, 9 ]");
    a = nums({1, 2});
    EXPECT_EQ(shown(arrays("splice", {a, Value(-1e300), Value(1e300)})), "[ 1, 2 ]");

    EXPECT_EQ(arrays.raised("splice", {Value(1), Value(0)}), at7("Bad argument type in splice()"));
    a = nums({1, 2});
    EXPECT_EQ(arrays.raised("splice", {a, Value(0), Value()}),
              at7("Cannot convert arg to number"));
    EXPECT_EQ(shown(a), "[ 1, 2 ]");
}

TEST(Arrays, resize) {
    Value a = nums({1, 2, 3});
    arrays("resize", {a, Value(2)});
    EXPECT_EQ(shown(a), "[ 1, 2 ]");
    a = nums({1});
    arrays("resize", {a, Value(4), Value(0)});
    EXPECT_EQ(shown(a), "[ 1, 0, 0, 0 ]");
    Value x = arr({});
    arrays("resize", {a, Value(6), x});
    EXPECT_EQ(a.as_array()->cells[5].obj(), x.obj());
    EXPECT_EQ(arrays.raised("resize", {a, str("4")}), at7("Bad argument type in resize()"));
    EXPECT_EQ(arrays.raised("resize", {str("a"), Value(1)}), at7("Bad argument type in resize()"));
    // a negative size empties the array; a huge one is refused at once, leaving it alone
    a = nums({1, 2});
    EXPECT_EQ(arrays.raised("resize", {a, Value(1e12)}), at7("Array size too large in resize()"));
    EXPECT_EQ(shown(a), "[ 1, 2 ]");
    arrays("resize", {a, Value(-5)});
    EXPECT_EQ(shown(a), "[  ]");
}

TEST(Arrays, sort_without_comparator) {
    Value a = nums({3, 1, 2});
    arrays("sort", {a});
    EXPECT_EQ(shown(a), "[ 1, 2, 3 ]");
    // any non-number: every element by its text
    a = arr({Value(10), Value(9), str("a")});
    arrays("sort", {a});
    EXPECT_EQ(shown(a), "[ 10, 9, \"a\" ]");
    a = arr({str("b"), Value(), str("\x82\xa0"), str("B"), str("")});
    arrays("sort", {a});
    EXPECT_EQ(shown(a), "[ \"\", \"B\", \"b\", null, \"\x82\xa0\" ]");
    // booleans count as numbers; equal keys keep their order
    a = arr({Value(1), Value::boolean(true), Value(0), Value::boolean(false)});
    arrays("sort", {a});
    EXPECT_EQ(shown(a), "[ 0, false, 1, true ]");
    a = arr({str("1"), Value(1), str("01")});
    arrays("sort", {a});
    EXPECT_EQ(shown(a), "[ \"01\", \"1\", 1 ]");
    // NaN orders nothing, but the sort still ends with every element present
    a = nums({3, std::nan(""), 1, std::nan(""), 2});
    arrays("sort", {a});
    EXPECT_EQ(a.as_array()->size(), 5u);
    EXPECT_EQ(arrays.raised("sort", {str("a")}), at7("Bad argument type in sort()"));
    EXPECT_EQ(arrays.raised("sort", {nums({2, 1}), Value(1)}), at7("Bad argument type in sort()"));
}

// Speed is measured by the benchmark suite (bench/sort_num), not here.
TEST(Arrays, sort_of_many_numbers_orders_them) {
    Value a(new VArray());
    uint32_t x = 12345;
    for (int i = 0; i < 200000; ++i) {
        x = x * 1103515245u + 12345u;
        a.as_array()->push(Value(static_cast<double>(x >> 8)));
    }
    arrays("sort", {a});
    const auto& c = a.as_array()->cells;
    for (size_t i = 1; i < c.size(); ++i) ASSERT_LE(c[i - 1].num(), c[i].num()) << i;
}

namespace {

class ArrayScript : public EvalTest {
protected:
    void SetUp() override {
        EvalTest::SetUp();
        register_families({core_builtins(), array_builtins()});
    }
};

} // namespace

TEST_F(ArrayScript, sort_with_a_comparator) {
    EXPECT_EQ(output("function gt(x, y) { return x > y; } a = [3, 1, 2]; sort(a, &gt); show(a);"),
              "[ 3, 2, 1 ]\n");
    // elements the comparator treats as equal keep their order
    EXPECT_EQ(output("function by0(x, y) { return x[0] < y[0]; }\n"
                     "a = [[2, \"a\"], [1, \"b\"], [2, \"c\"], [1, \"d\"], [2, \"e\"]];\n"
                     "sort(a, &by0); print(join(map(&second, a), \"\"));\n"
                     "function second(p) { return p[1]; }"),
              "bdace\n");
    // the comparator's truth value decides: strings, arrays
    EXPECT_EQ(output("function f(x, y) { return x < y ? \"yes\" : \"\"; }"
                     " a = [2, 1]; sort(a, &f); show(a);"),
              "[ 1, 2 ]\n");
    // any-count definitions are accepted (cat's array is always true); one-parameter ones not
    EXPECT_EQ(output("a = [\"b\", \"a\", \"c\"]; sort(a, &cat); show(a);"),
              "[ \"c\", \"a\", \"b\" ]\n");
    EXPECT_EQ(output("function one(x) { return 1; } sort([2, 1], &one);"),
              "error [1]: Bad argument type in sort()\n");
    // an error in the comparator leaves the array as it was
    EXPECT_EQ(output("function bad(x, y) { error(\"cmp\"); } a = [2, 1];\n"
                     "try sort(a, &bad); catch (var e) print(e); show(a);"),
              "error [1]: cmp\n[ 2, 1 ]\n");
}

TEST_F(ArrayScript, comparators_that_misbehave) {
    // changing the array while it is sorted: the sorted elements replace what it did
    EXPECT_EQ(output("a = [3, 1, 2];\n"
                     "function c(x, y) { resize(a, 0); push(a, 9); return x < y; }\n"
                     "sort(a, &c); show(a);"),
              "[ 1, 2, 3 ]\n");
    // inconsistent answers still end with every element present once
    EXPECT_EQ(output("function r(x, y) { return 1; } a = [1, 2, 3, 4, 5]; sort(a, &r);"
                     " print(len(a)); b = a; sort(b); show(b);"),
              "5\n[ 1, 2, 3, 4, 5 ]\n");
    // a comparator that redefines itself runs on to the end
    EXPECT_EQ(output("function c(x, y) { eval(\"function c(x, y) { return x > y; }\");"
                     " return x < y; }\n"
                     "a = [1, 3, 2]; sort(a, &c); show(a); gc(); b = [1, 3, 2]; sort(b, &c);"
                     " show(b);"),
              "[ 1, 2, 3 ]\n[ 3, 2, 1 ]\n");
}

TEST_F(ArrayScript, map_forms) {
    EXPECT_EQ(output("function d(x) { return x * 2; } show(map(&d, [1, 2, 3]));"),
              "[ 2, 4, 6 ]\n");
    EXPECT_EQ(output("function p(x, y) { print(x, \",\", y); return x + y; }"
                     " show(map(&p, [1, 2], 10));"),
              "1,10\n2,10\n[ 11, 12 ]\n");
    EXPECT_EQ(output("function d(x) { return x * 2; } show(map(&d, 5)); show(map(&d, []));"),
              "[ 10 ]\n[  ]\n");
    EXPECT_EQ(output("function p(x, y) { return x + y; } show(map(&p, [1, 2], [10, 20]));"),
              "[ 11, 22 ]\n");
    EXPECT_EQ(output("function p(x, y) { return 0; } map(&p, [1], [1, 2]);"),
              "error [1]: Array size not match in map()\n");
    EXPECT_EQ(output("function d(x) { return x; } map(&d);"),
              "error [1]: Too few arguments in map()\n");
    EXPECT_EQ(output("function d(x) { return x; } map(&d, [1], 2);"),
              "error [1]: Bad argument type in map()\n");
    EXPECT_EQ(output("map(1, [1]);"), "error [1]: Bad argument type in map()\n");
    // the callback may change the array it runs over; calls stay in bounds
    EXPECT_EQ(output("a = [1, 2, 3]; function s(x) { clear(a); return x; } show(map(&s, a));"),
              "[ 1, null, null ]\n");
    // a built-in that redefines itself while it is mapped
    EXPECT_EQ(output("show(map(&eval, [\"function eval(c) { return 7; }\", \"2;\"]));"
                     " print(eval(1));"),
              "[ null, 2 ]\n7\n");
}

TEST_F(ArrayScript, grep_forms) {
    EXPECT_EQ(output("function even(x) { return x % 2 == 0; } show(grep(&even, [1, 2, 3, 4]));"),
              "[ 2, 4 ]\n");
    EXPECT_EQ(output("function gt(x, y) { return x > y; } show(grep(&gt, [1, 5, 3], [2, 2, 4]));"
                     " show(grep(&gt, [1, 5, 3], 2));"),
              "[ 5 ]\n[ 5, 3 ]\n");
    EXPECT_EQ(output("function t(x) { return 1; } grep(&t, 5);"),
              "error [1]: Bad argument type in grep()\n");
    EXPECT_EQ(output("function t(x, y) { return 1; } grep(&t, [1], [1, 2]);"),
              "error [1]: Array size not match in grep()\n");
    EXPECT_EQ(output("grep(1);"), "error [1]: Too few arguments in grep()\n");
    // the kept elements are the ones f was asked about, even when f changes the array
    EXPECT_EQ(output("a = [1, 2, 3]; function r(x) { reverse(a); return x == 1; }"
                     " show(grep(&r, a));"),
              "[ 1 ]\n");
}

TEST_F(ArrayScript, rmap_forms) {
    EXPECT_EQ(output("function p(x, y) { print(x, \",\", y); return x + y; }"
                     " show(rmap(&p, [[1, 2], 3], 10));"),
              "1,10\n2,10\n3,10\n[ [ 11, 12 ], 13 ]\n");
    EXPECT_EQ(output("function p(x, y) { return x * y; } show(rmap(&p, [[1, 2], [3]], [[4, 5], 6]));"),
              "[ [ 4, 10 ], [ 18 ] ]\n");
    EXPECT_EQ(output("function d(x) { return -x; } show(rmap(&d, 4));"), "-4\n");
    EXPECT_EQ(output("function p(x, y) { return 0; } rmap(&p, [[1, 2]], [[1]]);"),
              "error [1]: Array size not match in rmap()\n");
    EXPECT_EQ(output("rmap(1);"), "error [1]: Too few arguments in rmap()\n");
    EXPECT_EQ(output("function p(x, y) { return 0; } rmap(&p, [1]);"),
              "error [1]: Bad argument type in rmap()\n");
    // repeated arrays are refused before the function runs
    EXPECT_EQ(output("function d(x) { print(\"called\"); return x; }\n"
                     "a = [1]; push(a, a); rmap(&d, a);"),
              "error [2]: Recursive array detected in rmap()\n");
    EXPECT_EQ(output("function d(x, y) { print(\"called\"); return x; }\n"
                     "rmap(&d, [1], arrayi([1], 2));"),
              "error [2]: Recursive array detected in rmap()\n");
    EXPECT_EQ(output("function d(x) { return x + 1; } show(rmap(&d, [[1], [1]]));"),
              "[ [ 2 ], [ 2 ] ]\n");
}
