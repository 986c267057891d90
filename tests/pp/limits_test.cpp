// Inputs that must end in a result or an error, quickly and without exhausting the stack or
// memory.
#include "pp_test_util.h"

using pptest::run;

namespace {

TEST(Limits, DeeplyNestedConditionals) {
    std::string text;
    for (int i = 0; i < 10000; ++i) text += "#if 1\n";
    text += "inner\n#if 0\n";
    for (int i = 0; i < 10000; ++i) text += "#if 1\n";
    for (int i = 0; i < 10000; ++i) text += "#endif\n";
    text += "skipped\n#endif\n";
    for (int i = 0; i < 10000; ++i) text += "#endif\n";
    text += "after\n";
    pptest::Result r = run(text);
    ASSERT_TRUE(r.ok) << r.errors;
    EXPECT_NE(r.out.find("inner"), std::string::npos);
    EXPECT_EQ(r.out.find("skipped"), std::string::npos);
    EXPECT_EQ(pptest::where(r.out, "after"), "t.rv:40005");
}

TEST(Limits, DeepExpressionsAndArguments) {
    pptest::Result r = run("#if " + std::string(100000, '(') + "1\n#endif\n");
    EXPECT_EQ(r.errors, "t.rv:1: #if expression nested too deeply\n");
    r = run("#if " + std::string(100000, '-') + "1\n#endif\n");
    EXPECT_FALSE(r.ok);
    std::string call = "#define F(x) x\n";
    for (int i = 0; i < 1000; ++i) call += "F(";
    call += "1" + std::string(1000, ')') + "\n";
    r = run(call);
    EXPECT_EQ(r.errors, "t.rv:2: macro expansion nested too deeply\n");
}

TEST(Limits, ExponentialExpansionIsCapped) {
    std::string defs = "#define A0 x\n";
    for (int i = 1; i <= 40; ++i)
        defs += "#define A" + std::to_string(i) + " A" + std::to_string(i - 1) + " A" +
                std::to_string(i - 1) + "\n";
    ruvopp::Options small;
    small.limits.max_output = 1 << 16;
    pptest::Result r = run(defs + "A40\n", "t.rv", small);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.errors, "t.rv:42: preprocessed output too large (more than 65536 bytes)\n");
    // Expansions that produce nothing are counted too.
    ruvopp::Options few;
    few.limits.expand.max_expansions = 20000;
    r = run("#define E\n" + defs + "#undef A0\n#define A0 E\nA40\n", "t.rv", few);
    EXPECT_EQ(r.errors, "t.rv:45: macro expansion too large\n");
    // Stringizing that doubles at every level.
    std::string s = "#define S(x) #x\n#define D(x) S(x x)\n";
    std::string call = "x";
    for (int i = 0; i < 60; ++i) call = "D(" + call + ")";
    ruvopp::Options arena;
    arena.limits.expand.max_arena_bytes = 1 << 16;
    r = run(s + call + "\n", "t.rv", arena);
    EXPECT_EQ(r.errors, "t.rv:3: macro expansion too large\n");
}

} // namespace
