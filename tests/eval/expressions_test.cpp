// Expressions: assignment forms, destructuring, logical operators, comparison chains,
// variable visibility and strict mode, and that the numeric shortcuts give the routines'
// results.
#include <gtest/gtest.h>

#include "harness.h"

using namespace ruvo;
using namespace ruvo::test;

namespace {
class ExpressionsTest : public EvalTest {};
} // namespace

TEST_F(ExpressionsTest, assignment_runs_the_right_side_first_and_yields_the_value) {
    EXPECT_EQ(output("function i() { print(\"i\"); return 0; }\n"
                     "function f() { print(\"f\"); return 7; }\n"
                     "a = [0]; print(a[i()] = f());"),
              "f\ni\n7\n");
    EXPECT_EQ(output("x = y = 3; print(x, y);"), "33\n");
    EXPECT_EQ(output("x = 10; x -= 3; x *= 2; x /= 7; x **= 3; x %= 5; print(x);"), "3\n");
    EXPECT_EQ(output("x = 7; x \\= 2; x <<= 4; x >>= 1; x |= 1; x &= 13; x ^= 2; print(x);"),
              "11\n");
    EXPECT_EQ(output("x = -1; x >>>= 1; print(x);"), "2147483647\n");
    EXPECT_EQ(output("x = 5; x %= 0;"), "error [1]: Division by 0\n");
    EXPECT_EQ(output("x = 5; try x \\= 0; print(x);"), "5\n"); // a failed routine writes nothing
    EXPECT_EQ(output("x = [1, 2]; x += 10; show(x);"), "[ 11, 12 ]\n");
}

TEST_F(ExpressionsTest, destructuring) {
    EXPECT_EQ(output("[x, y] = [1, 2, 3]; print(x, y);"), "12\n");
    EXPECT_EQ(output("[x, y, z] = [1]; print(x, y, z);"), "1nullnull\n");
    EXPECT_EQ(output("[x, null, z] = [1, 2, 3]; print(x, z);"), "13\n");
    EXPECT_EQ(output("[x, y] = 5; print(x, y);"), "55\n");
    EXPECT_EQ(output("a = [0, 0]; h = hash(\"k\" = 0); [a[1], h.k] = [8, 9]; show([a, h]);"),
              "[ [ 0, 8 ], hash( \"k\"=9 ) ]\n");
    EXPECT_EQ(output("print([x] = [4]);"), "null\n");
    // The source is read element by element while the targets are written.
    EXPECT_EQ(output("a = [1, 2]; [a[1], a[0]] = a; show(a);"), "[ 1, 1 ]\n");
}

TEST_F(ExpressionsTest, logical_operators_yield_operand_values) {
    EXPECT_EQ(output("function f() { print(\"called\"); return 1; } print(0 && f());"), "0\n");
    EXPECT_EQ(output("s = \"v\"; print(1 && s, \"\" || \"t\", null || 0, 2 || f());"), "vt02\n");
    EXPECT_EQ(output("print(!\"x\", !\"\", !0, ![]);"), "falsetruetruetrue\n");
    EXPECT_EQ(output("print(1 ? \"a\" : \"b\", 0 ? \"a\" : \"b\", (1, 2, 3));"),
              "error [1]: Unknwon opcode 69\n");
    EXPECT_EQ(output("print(1 ? \"a\" : \"b\", 0 ? \"a\" : \"b\");"), "ab\n");
}

TEST_F(ExpressionsTest, comparison_chains_evaluate_each_operand_once) {
    EXPECT_EQ(output("print(1 < 2 < 3, 3 > 2 > 1, 1 < 3 < 2, 1 == 1 == 1, 2 == 2 == 1);"),
              "truetruefalsetruefalse\n");
    EXPECT_EQ(output("n = 0; function b() { extern n; n++; return 2; }\n"
                     "function c() { print(\"c\"); return 3; }\n"
                     "print(1 < b() <= 2, n); print(5 < b() < c(), n);"),
              "true1\nfalse2\n");
    EXPECT_EQ(output("print(\"a\" < \"b\" < \"c\", \"10\" < \"9\");"), "truetrue\n");
    EXPECT_EQ(output("x = [1] < 2;"), "error [1]: Bad type operation in operator <\n");
}

TEST_F(ExpressionsTest, numeric_shortcuts_match_the_routines) {
    // Remainders keep the dividend's sign, also for zero; large integers and fractions too.
    EXPECT_EQ(output("print(7 % -2, -7 % 2, 7.5 % 2, 1e300 % 7 == 1e300 % 7.0);"), "1-11.5true\n");
    EXPECT_EQ(output("x = -4 % 2; print(1 / x);"), "-Inf\n");
    EXPECT_EQ(output("x = 0; print(1 / (x * -1), 7 / 0, -(-x) === 0);"), "-Inf+Inftrue\n");
    EXPECT_EQ(output("t = true; print(t + t, -t, t * 3, t % 2);"), "2-131\n");
    EXPECT_EQ(output("s = \"2\"; print(s + 1, 1 + s, s * 1);"),
              "error [1]: Bad type operation in operator *\n");
    EXPECT_EQ(output("n = 0 / 0; print(n < 1, n == n, n != n, n === n);"), "falsefalsetruetrue\n");
    EXPECT_EQ(output("x = 3; print(x % 0);"), "error [1]: Division by 0\n");
    EXPECT_EQ(output("x = y + 1;"), "error [1]: Symbol y not declared\n");
}

TEST_F(ExpressionsTest, globals_inside_functions) {
    EXPECT_EQ(output("g = 1; function f() { return g; } print(f());"), "1\n");
    EXPECT_EQ(output("g = 1; function f() { g = 2; return g; } print(f(), g);"), "21\n");
    EXPECT_EQ(output("g = 1; function f() { g++; } f();"), "error [1]: Symbol g not declared\n");
    EXPECT_EQ(output("g = [1]; function f() { g[0] = 5; g[0]++; } f(); print(g[0]);"), "6\n");
    EXPECT_EQ(output("function f() { x = 1; } function g() { x = 3; f(); return x; } print(g());"),
              "3\n");
    EXPECT_EQ(output("function f() { return y; } { var y = 1; print(f()); }"),
              "error [1]: Symbol y not declared\n");
}

TEST_F(ExpressionsTest, strict_mode) {
    scopes.strict = true;
    EXPECT_EQ(output("x = 1;"), "error [1]: Symbol x not declared\n");
    EXPECT_EQ(output("var x = 1; x = 2; print(x);"), "2\n");
    EXPECT_EQ(output("var v = 1;\nvar v;"), "error [2]: Symbol v already declared\n");
    EXPECT_EQ(output("var w = 1; { var w = 2; print(w); } print(w);"), "2\n1\n");
    EXPECT_EQ(output("function f() { var e; extern e; } f();"),
              "error [1]: Symbol e already declared\n");
    scopes.strict = false;
    EXPECT_EQ(output("var z = 1; var z; print(z);"), "null\n");
}

TEST_F(ExpressionsTest, regular_expression_literals) {
    EXPECT_EQ(output("print(\"caab\" =~ /a+b/, \"x\" !~ /a/, \"A\" =~ /a/i, /b/ == \"abc\");"),
              "truetruetruetrue\n");
    EXPECT_EQ(output("n = 0; for (i = 0; i < 3; i++) if (\"k\" + i =~ /k[02]/) n++; print(n);"),
              "2\n");
    EXPECT_EQ(output("switch (\"hello\") { case /^x/: print(1); case /ll/: print(2); }"), "2\n");
    EXPECT_EQ(output("x = 1 =~ /1/;"), "error [1]: Bad type operation in operator =~\n");
}

TEST_F(ExpressionsTest, literals_make_new_objects) {
    EXPECT_EQ(output("function f() { return \"s\"; } print(f() === f(), f() == f());"),
              "falsetrue\n");
    EXPECT_EQ(output("show(hash(\"a\" = 1, \"a\" = 2, \"b\")); show([]);"),
              "hash( \"a\"=2, \"b\"=null )\n[  ]\n");
}
