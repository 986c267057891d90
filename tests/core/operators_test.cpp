// Operators: type rules and messages, element-wise arithmetic and the repeated-array test,
// comparison, the two equalities, 32-bit bit operations, matching.
#include <gtest/gtest.h>

#include <cmath>

#include "core/convert.h"
#include "core/hash.h"
#include "core/operators.h"
#include "core/string.h"
#include "eval/scope.h"
#include "lib/regexp.h"
#include "test_support.h"

using namespace ruvo;
using test::arr;
using test::raised;

namespace {
Value str(const char* s) {
    return make_string(s);
}
Value t() {
    return Value::boolean(true);
}
Value nan() {
    return Value(ruvo_nan());
}
Value arith(ArithOp op, const Value& a, const Value& b) {
    return op_arith(op, a, b, 7);
}
std::string shown(const Value& v) {
    return display_form(v);
}
// [[[...[inner]...]]] of the given depth, built without recursion.
Value deep_nest(size_t depth, Value inner = arr({Value(1)})) {
    for (size_t i = 1; i < depth; ++i) inner = arr({inner});
    return inner;
}
} // namespace

TEST(Operators, arithmetic_and_concatenation) {
    EXPECT_TRUE(arith(ArithOp::Add, t(), t()).is_number());
    EXPECT_EQ(arith(ArithOp::Add, t(), t()).num(), 2);
    EXPECT_EQ(arith(ArithOp::IDiv, Value(-7), Value(2)).num(), -3);
    EXPECT_EQ(arith(ArithOp::Mod, Value(7), Value(-2)).num(), 1);
    EXPECT_EQ(arith(ArithOp::Mod, Value(-7), Value(2)).num(), -1);
    EXPECT_TRUE(std::isinf(arith(ArithOp::Div, Value(7), Value(0)).num()));
    EXPECT_EQ(arith(ArithOp::IDiv, Value(1e300), Value(1e-300)).num(), 0) << "beyond 64 bits";
    EXPECT_EQ(raised([] { arith(ArithOp::IDiv, Value(7), Value(0)); }), "error [7]: Division by 0");
    EXPECT_EQ(raised([] { arith(ArithOp::Mod, Value(7), Value::boolean(false)); }),
              "error [7]: Division by 0");
    EXPECT_EQ(arith(ArithOp::Add, str("n="), Value(5)).as_string()->str, "n=5");
    EXPECT_EQ(arith(ArithOp::Add, Value(1), str("2")).as_string()->str, "12");
    EXPECT_EQ(arith(ArithOp::Add, Value(), str("")).as_string()->str, "null");
}

TEST(Operators, bad_type_messages_name_the_operator) {
    Value h(new VHash());
    const std::pair<ArithOp, const char*> ops[] = {
        {ArithOp::Add, "+"},   {ArithOp::Sub, "-"}, {ArithOp::Mul, "*"}, {ArithOp::Div, "/"},
        {ArithOp::IDiv, "\\"}, {ArithOp::Mod, "%"}, {ArithOp::Pow, "**"}};
    for (auto [op, text] : ops)
        EXPECT_EQ(raised([&, op = op] { arith(op, h, Value(1)); }),
                  std::string("error [7]: Bad type operation in operator ") + text);
    EXPECT_EQ(raised([] { arith(ArithOp::Sub, str("a"), Value(1)); }),
              "error [7]: Bad type operation in operator -");
    EXPECT_EQ(raised([] { op_neg(str("1"), 3); }), "error [3]: Bad type operation in operator -");
    EXPECT_EQ(raised([] { op_compare(CmpOp::Le, Value(), Value(1), 3); }),
              "error [3]: Bad type operation in operator <=");
    EXPECT_EQ(raised([] { op_bit(BitOp::UShr, str("1"), Value(1), 3); }),
              "error [3]: Bad type operation in operator >>>");
    EXPECT_EQ(raised([] { op_bitnot(Value(), 3); }), "error [3]: Bad type operation in operator ~");
}

TEST(Operators, element_wise_application) {
    EXPECT_EQ(shown(arith(ArithOp::Mul, arr({Value(1), Value(2), Value(3)}), Value(2))),
              "[ 2, 4, 6 ]");
    EXPECT_EQ(shown(arith(ArithOp::Sub, Value(10), arr({Value(1), Value(2)}))), "[ 9, 8 ]");
    EXPECT_EQ(shown(arith(ArithOp::Add, arr({Value(1), Value(2)}), arr({Value(10), Value(20)}))),
              "[ 11, 22 ]");
    EXPECT_EQ(shown(arith(ArithOp::Mul, arr({arr({Value(1), Value(2)}), Value(3)}), Value(10))),
              "[ [ 10, 20 ], 30 ]");
    EXPECT_EQ(shown(arith(ArithOp::Add, arr({str("a"), str("b")}), Value(1))),
              "[ \"a1\", \"b1\" ]");
    EXPECT_EQ(shown(op_neg(arr({Value(1), arr({Value(-2)})}), 1)), "[ -1, [ 2 ] ]");
    Value a = arr({Value(1), Value(2)});
    EXPECT_NE(arith(ArithOp::Add, a, a).obj(), a.obj());
    EXPECT_EQ(shown(a), "[ 1, 2 ]") << "operands are never modified";
    EXPECT_EQ(raised([] {
                  arith(ArithOp::Add, arr({Value(1), Value(2)}), arr({Value(1)}));
              }),
              "error [7]: Array size not match");
    EXPECT_EQ(raised([] { arith(ArithOp::Sub, arr({str("x")}), Value(1)); }),
              "error [7]: Bad type operation in operator -");
}

TEST(Operators, repeated_arrays_are_refused_for_every_operator) {
    Value self = arr({Value(1)});
    self.as_array()->push(self);
    EXPECT_EQ(raised([&] { arith(ArithOp::IDiv, Value(1), self); }),
              "error [7]: Recursive array detected in operator \\");
    EXPECT_EQ(raised([&] { op_neg(self, 2); }),
              "error [2]: Recursive array detected in operator -");
    EXPECT_EQ(raised([&] { arith(ArithOp::Pow, self, Value(2)); }),
              "error [7]: Recursive array detected in operator **")
        << "** is tested too, or its walk would not end";
    self.as_array()->cells.clear(); // break the cycle

    Value one = arr({Value(1)});
    EXPECT_EQ(raised([&] {
                  arith(ArithOp::Mul, arr({one, one}), Value(2));
              }),
              "error [7]: Recursive array detected in operator *");
    EXPECT_EQ(shown(arith(ArithOp::Mul, arr({arr({Value(1)}), arr({Value(1)})}), Value(2))),
              "[ [ 2 ], [ 2 ] ]");
    EXPECT_EQ(shown(arith(ArithOp::Mul, one, one)), "[ 1 ]") << "one array on both sides";
}

TEST(Operators, power_takes_shared_arrays_and_refuses_only_cycles) {
    Value one = arr({Value(1)});
    Value r = arith(ArithOp::Pow, arr({one, one}), Value(2));
    EXPECT_EQ(shown(r), "[ [ 1 ], [ 1 ] ]");
    EXPECT_NE(r.as_array()->cells[0].as_array(), r.as_array()->cells[1].as_array())
        << "each place gets an array of its own";
    EXPECT_EQ(shown(arith(ArithOp::Pow, Value(2), arr({one, arr({one, Value(3)})}))),
              "[ [ 2 ], [ [ 2 ], 8 ] ]");

    // The cycle lies below a shared part: [[x], x] where x's first element is the outer array.
    Value outer = arr({});
    Value x = arr({outer});
    outer.as_array()->push(arr({x}));
    outer.as_array()->push(x);
    EXPECT_EQ(raised([&] { arith(ArithOp::Pow, Value(2), outer); }),
              "error [7]: Recursive array detected in operator **");
    x.as_array()->cells.clear(); // break the cycle
}

TEST(Operators, deep_nests_need_no_native_recursion) {
    Value nest = deep_nest(200000);
    Value r = arith(ArithOp::Add, nest, Value(1));
    Value neg = op_neg(nest, 1);
    const VArray* a = r.as_array();
    size_t depth = 1;
    for (; a->cells[0].as_array(); ++depth) a = a->cells[0].as_array();
    EXPECT_EQ(depth, 200000u);
    EXPECT_EQ(a->cells[0].num(), 2);
    EXPECT_EQ(shown(arith(ArithOp::Mul, deep_nest(3), deep_nest(2))), "[ [ [ 1 ] ] ]");
    EXPECT_EQ(raised([&] { arith(ArithOp::Add, nest, deep_nest(200000, arr({}))); }),
              "error [7]: Array size not match");
}

TEST(Operators, comparisons) {
    auto lt = [](const Value& a, const Value& b) { return op_compare(CmpOp::Lt, a, b, 1); };
    EXPECT_TRUE(lt(str("10"), str("9"))) << "byte order";
    EXPECT_TRUE(lt(Value(10), str("9")));
    EXPECT_TRUE(lt(str("ab"), str("abc"))) << "a proper prefix is smaller";
    EXPECT_TRUE(lt(str("z"), str("\x81\x40"))) << "bytes compare unsigned";
    EXPECT_TRUE(op_compare(CmpOp::Le, Value::boolean(false), Value(0), 1));
    for (CmpOp op : {CmpOp::Lt, CmpOp::Le, CmpOp::Gt, CmpOp::Ge})
        EXPECT_FALSE(op_compare(op, nan(), nan(), 1) || op_compare(op, nan(), Value(1), 1));
}

TEST(Operators, loose_and_strict_equality) {
    EXPECT_TRUE(op_equal(Value(1), t()));
    EXPECT_FALSE(op_strict_equal(Value(1), t()));
    EXPECT_FALSE(op_equal(nan(), nan()));
    EXPECT_TRUE(op_strict_equal(nan(), nan()));
    EXPECT_FALSE(op_strict_equal(nan(), Value(1)));
    EXPECT_TRUE(op_equal(Value(5), str("5")));
    EXPECT_TRUE(op_equal(t(), str("true")));
    EXPECT_FALSE(op_equal(Value(), str("")));
    EXPECT_FALSE(op_equal(Value(), Value(0)));
    EXPECT_TRUE(op_strict_equal(Value(), Value()));
    EXPECT_FALSE(op_equal(make_string(std::string_view("a\0b", 3)),
                          make_string(std::string_view("a\0c", 3))));
    Value s = str("ab");
    EXPECT_TRUE(op_equal(s, str("ab")));
    EXPECT_FALSE(op_strict_equal(s, str("ab")));
    EXPECT_TRUE(op_strict_equal(s, s));
    EXPECT_TRUE(op_equal(arr({}), arr({})));
    EXPECT_FALSE(op_equal(arr({Value(1)}), arr({Value(1)})));
    Value a = arr({Value(1)});
    EXPECT_TRUE(op_equal(a, a) && op_strict_equal(a, a));
}

TEST(Operators, bit_operations_on_32_bit_integers) {
    auto bit = [](BitOp op, double a, double b) { return op_bit(op, Value(a), Value(b), 1).num(); };
    EXPECT_EQ(op_bitnot(Value(0), 1).num(), -1);
    EXPECT_EQ(bit(BitOp::Shl, 1, 31), -2147483648.0);
    EXPECT_EQ(bit(BitOp::Shl, 1, 32), 1) << "the count is taken & 31";
    EXPECT_EQ(bit(BitOp::UShr, -1, 0), -1);
    EXPECT_EQ(bit(BitOp::UShr, -1, 1), 2147483647);
    EXPECT_EQ(bit(BitOp::Shr, -8, 33), -4);
    EXPECT_EQ(bit(BitOp::And, 4294967295.0, 3), 3) << "bits above 32 are dropped";
    EXPECT_EQ(bit(BitOp::Or, 2.9, -2.9), -2) << "operands truncate toward zero";
    EXPECT_TRUE(op_bit(BitOp::Xor, t(), Value(3), 1).is_number());
}

TEST(Operators, matching_sets_the_match_variables) {
    scopes.pushGlobalScope();
    auto var = [](const char* name) { return scopes.lookupGlobal(intern(name))->as_string()->str; };
    Value r = make_regexp(new RegExp("b+", false, false));
    EXPECT_TRUE(op_match(str("abbc"), r, false, 1));
    EXPECT_EQ(var("$&"), "bb");
    EXPECT_TRUE(op_match(r, str("xyz"), true, 1)) << "either order; !~ negates";
    EXPECT_EQ(var("$0"), "");
    EXPECT_EQ(raised([&] { op_match(r, r, false, 4); }),
              "error [4]: Bad type operation in operator =~");
    EXPECT_EQ(raised([&] { op_match(str("a"), Value(1), true, 4); }),
              "error [4]: Bad type operation in operator !~");
    Value num = make_regexp(new RegExp("^1[0-9]$", false, false));
    EXPECT_TRUE(op_equal(Value(12), num)) << "== matches the plain form";
    EXPECT_EQ(var("$0"), "12");
    EXPECT_TRUE(op_equal(num, num)) << "two regexps compare as objects";
    scopes.popAll();
}
