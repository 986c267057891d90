// Calls: overload choice, callee resolution, statics, extern, function references, functions
// defined inside blocks, the recursion limit and the native-stack guard.
#include <gtest/gtest.h>

#include <pthread.h>

#include <string>

#include "harness.h"

using namespace ruvo;
using namespace ruvo::test;

namespace {

class FunctionsTest : public EvalTest {};

constexpr size_t kLauncherStack = 8 << 20; // what the launcher gives the interpreter

} // namespace

TEST_F(FunctionsTest, overloads_by_argument_count) {
    EXPECT_EQ(output("function f(a) { return 1; } function f(a, b) { return 2; }\n"
                     "print(f(0), f(0, 0));"),
              "12\n");
    EXPECT_EQ(output("function g(a, b) { return a; }\ng(1);"),
              "error [2]: Function g() [arg count:1] not defined\n");
    // A script overload replaces the built-in with its count and stands beside the others.
    EXPECT_EQ(output("function print(a, b) { show([a, b]); } print(1, 2); print(3);"),
              "[ 1, 2 ]\n3\n");
    EXPECT_EQ(output("function p(a, a) { return a; } print(p(1, 2));"), "2\n");
    EXPECT_EQ(output("function p() { return 1; } print(p(1, 2, 3, 4, 5, 6, 7, 8, 9, 10));"),
              "error [1]: Function p() [arg count:10] not defined\n");
    EXPECT_EQ(
        output("function t(a,b,c,d,e,f,g,h,i,j) { return a + j; } print(t(1,2,3,4,5,6,7,8,9,10));"),
        "11\n");
    EXPECT_EQ(output("function a(x) { x[0] = 9; x = 0; } v = [1]; a(v); show(v);"), "[ 9 ]\n");
}

TEST_F(FunctionsTest, variables_holding_functions_shadow_the_table) {
    EXPECT_EQ(output("function f(x) { return \"table\"; } function h(x) { return \"ref\"; }\n"
                     "f = &h; print(f(1)); f = 5; print(f(1));"),
              "ref\ntable\n");
    // A reference without an overload for the count falls through to the table.
    EXPECT_EQ(output("function k(x) { return \"table\"; } function z() { return \"ref\"; }\n"
                     "k = &z; print(k(1), k());"),
              "tableref\n");
    EXPECT_EQ(output("function m(x) { return x * 2; }\n"
                     "h = hash(\"m\" = &m, \"n\" = 1); print(h.m(4)); h.n(1);"),
              "8\nerror [2]: Function n() [arg count:1] not defined\n");
    EXPECT_EQ(output("a = [1]; a.m();"), "error [1]: Function m() [arg count:0] not defined\n");
    EXPECT_EQ(output("x = &nothing;"), "error [1]: Function nothing() not defined\n");
    // &name of a variable holding a reference yields that same reference.
    EXPECT_EQ(output("function one() { return 1; } r = &one; s = &r; print(s(), s === r);"),
              "1true\n");
    // The callee stays alive while it runs, even when it drops the last reference to itself.
    EXPECT_EQ(output("{ function self() { extern keep; keep = 0; gc(); return \"alive\"; }\n"
                     "  keep = &self; }\nprint(keep());"),
              "alive\n");
}

TEST_F(FunctionsTest, functions_defined_in_a_block_are_its_variables) {
    EXPECT_EQ(output("if (1) { function inner(x) { return x + 1; } print(inner(1)); }\n"
                     "inner(1);"),
              "2\nerror [2]: Function inner() [arg count:1] not defined\n");
    EXPECT_EQ(output("function outer() { { function sq(x) { return x * x; } return &sq; } }\n"
                     "f = outer(); print(f(5));"),
              "25\n");
    EXPECT_EQ(output("print(later()); if (1) { function later() { return 1; } }"),
              "error [1]: Function later() [arg count:0] not defined\n");
    EXPECT_EQ(output("print(top()); if (0) { } function top() { return \"known\"; }"), "known\n");
}

TEST_F(FunctionsTest, statics_belong_to_each_overload) {
    EXPECT_EQ(output("function init() { print(\"init\"); return 10; }\n"
                     "function c() { static n = init(); return n++; }\n"
                     "function c(x) { static n = 100; return n++; }\n"
                     "print(c(), c(), c(0), c(), c(0));"),
              "init\n101110012101\n");
    EXPECT_EQ(output("function f() { static a[2], b = 3; a[0] = b++; return a[0]; }"
                     " print(f(), f());"),
              "34\n");
    // A nested function's statics stay alive through its reference alone.
    EXPECT_EQ(output("function mk() { { function cnt() { static s = [0]; s[0]++; return s[0]; }"
                     " return &cnt; } }\nf = mk(); f(); gc(); f(); gc(); print(f());"),
              "3\n");
}

TEST_F(FunctionsTest, declarations) {
    EXPECT_EQ(output("var a[3], b[], c[2.9], d[-1]; show([a, b, c, d]);"),
              "[ [ null, null, null ], [  ], [ null, null ], [  ] ]\n");
    EXPECT_EQ(output("var a[\"3\"];"), "error [1]: Array size declaration must be number\n");
    EXPECT_EQ(output("var huge[1e12];"), "error [1]: Array range error index:=2147483647\n");
    EXPECT_EQ(output("print(var q = 4);"), "error [1]: syntax error\n");
    EXPECT_EQ(output("extern g;"), "error [1]: Variable cannot extern from global scope\n");
    EXPECT_EQ(output("{ extern g; g = 1; } print(g);"), "1\n");
    EXPECT_EQ(output("function f() { extern fresh; fresh = 2; } f(); print(fresh);"), "2\n");
    EXPECT_EQ(output("g = 1; function f() { extern g; g++; } f(); print(g);"), "2\n");
}

TEST_F(FunctionsTest, recursion_limit_fits_the_launcher_stack) {
    std::string out;
    on_thread(kLauncherStack, [&] {
        out = output("function r(n) { return r(n + 1); } r(0);");
        out += output("function d(n) { if (n == 0) return 0; { if (1) { return d(n - 1) + 1; } }"
                      " } print(d(150));");
        out += output("depth = 0; function e() { extern depth; depth++; e(); }\n"
                      "try e(); catch (var x) print(x, \" \", depth);");
    });
    // Five scope entries per level of d: the call's two, a block, an if and its block.
    out += output("function d(n) { if (n == 0) return 0; { if (1) { return d(n - 1) + 1; } }"
                  " } print(d(201));");
    EXPECT_EQ(out, "error [1]: Recursion limit exceeded\n150\n"
                   "error [1]: Recursion limit exceeded 500\n"
                   "error [1]: Recursion limit exceeded\n");
}

TEST_F(FunctionsTest, deep_trees_end_in_an_error) {
    // A chain of 100 000 `+` nests 100 000 evaluations: the stack guard stops it in time.
    std::string sum = "x = 1";
    for (int i = 0; i < 100000; ++i) sum += " + x";
    std::string concat = "s = \"a\"; t = s";
    for (int i = 0; i < 100000; ++i) concat += " + s";
    std::string out;
    on_thread(kLauncherStack, [&] {
        out = output(sum + ";\nprint(\"never\");");
        out += output(concat + "; print(\"never\");");
        out += output("print(\"still working\");");
    });
    EXPECT_EQ(out, "error [1]: Recursion limit exceeded\nerror [1]: Recursion limit exceeded\n"
                   "still working\n");
}

// On the main thread the bounds come from the stack limit instead of the memory map: they must
// name the same stack, within the page the program name ends in.
TEST_F(FunctionsTest, main_thread_stack_bounds_match_the_memory_map) {
    eval_stack_prepare();
    const char* ours = eval_state.stack_limit;
    pthread_attr_t attr;
    ASSERT_EQ(pthread_getattr_np(pthread_self(), &attr), 0);
    void* low = nullptr;
    size_t size = 0;
    ASSERT_EQ(pthread_attr_getstack(&attr, &low, &size), 0);
    pthread_attr_destroy(&attr);
    const char* theirs = static_cast<const char*>(low) + std::min<size_t>(256 * 1024, size / 2);
    EXPECT_LE(theirs, ours);
    EXPECT_LT(ours - theirs, 2 * 4096);
    EXPECT_LT(ours, static_cast<const char*>(__builtin_frame_address(0)));
}

TEST_F(FunctionsTest, redefining_a_running_function) {
    EXPECT_EQ(output("function f() { eval(\"function f() { return 2; }\"); gc(); return 1; }\n"
                     "print(f(), f());"),
              "12\n");
}

TEST_F(FunctionsTest, unknown_opcodes) {
    EXPECT_EQ(output("x = (1, 2);"), "error [1]: Unknwon opcode 69\n");
}
