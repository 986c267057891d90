#include "harness.h"
using namespace ruvo;
using namespace ruvo::test;
TEST_F(EvalTest, smoke) {
    EXPECT_EQ(output("print(1 + 2, \"x\");"), "3x\n");
    EXPECT_EQ(output("function fib(n) { if (n < 2) return n; return fib(n-1) + fib(n-2); } print(fib(20));"), "6765\n");
    EXPECT_EQ(output("x = 1 \\ 0;"), "error [1]: Division by 0\n");
}
