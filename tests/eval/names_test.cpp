// The function table and the scope stack.
#include <gtest/gtest.h>

#include "core/string.h"
#include "eval/context.h"
#include "eval/func.h"
#include "eval/scope.h"

using namespace ruvo;

namespace {

void h_any(VContext&, int, std::span<Value>, Value&) {}
void h_two(VContext&, int, std::span<Value>, Value&) {}

func_data* script_fn(int argc) {
    auto* f = new func_data;
    f->argc = argc;
    return f;
}

class NamesTest : public ::testing::Test {
protected:
    void SetUp() override { scopes.pushGlobalScope(); }
    void TearDown() override {
        scopes.popAll();
        funcman.clearFunctions();
        scopes.strict = false;
    }
};

} // namespace

TEST_F(NamesTest, overloads_choose_exact_count_then_any_count) {
    funcman.registerBuiltin("max", -1, h_any);
    funcman.registerBuiltin("max", 2, h_two);
    FuncInfo* f = funcman.findFunction("max");
    ASSERT_TRUE(f);
    EXPECT_EQ(f->select(2)->handler, h_two);
    EXPECT_EQ(f->select(3)->handler, h_any);
    // A script function with the same count replaces the built-in; another count stands beside.
    funcman.defineFunction(intern("max"), script_fn(2));
    EXPECT_FALSE(f->select(2)->builtin);
    EXPECT_EQ(f->overloads.size(), 2u);
    funcman.registerBuiltin("len", 1, h_any);
    EXPECT_EQ(funcman.findFunction("len")->select(2), nullptr);
}

TEST_F(NamesTest, main_arity) {
    EXPECT_EQ(funcman.mainArity(), -1);
    funcman.defineFunction(intern("main"), script_fn(2));
    EXPECT_EQ(funcman.mainArity(), -1);
    funcman.defineFunction(intern("main"), script_fn(0));
    EXPECT_EQ(funcman.mainArity(), 0);
    funcman.defineFunction(intern("main"), script_fn(1));
    EXPECT_EQ(funcman.mainArity(), 1);
}

TEST_F(NamesTest, caller_variables_are_invisible_inside_a_call) {
    Atom g = intern("g"), x = intern("x");
    scopes.declare(g, 0)->set_num(1);
    scopes.pushBlock();
    scopes.declare(x, 1)->set_num(2);
    EXPECT_TRUE(scopes.lookup(x));
    EXPECT_EQ(scopes.lookup(g)->num(), 1);
    func_data f;
    scopes.enterFunction(&f);
    EXPECT_EQ(scopes.lookup(x), nullptr);
    EXPECT_EQ(scopes.lookup(g), nullptr) << "globals need the fallback of the caller";
    EXPECT_EQ(scopes.lookupGlobal(g)->num(), 1);
    scopes.declare(x, 0)->set_num(3);
    EXPECT_EQ(scopes.lookup(x)->num(), 3);
    scopes.popScope(); // the call scope and its static table
    EXPECT_EQ(scopes.lookup(x)->num(), 2);
    scopes.popScope();
    EXPECT_EQ(scopes.lookup(x), nullptr);
    EXPECT_EQ(scopes.scopeDepth(), 1u);
}

TEST_F(NamesTest, extern_aliases_the_global_and_creates_it) {
    Atom g = intern("gx");
    EXPECT_FALSE(scopes.declareExtern(g)) << "not at top level outside a block";
    func_data f;
    scopes.enterFunction(&f);
    EXPECT_TRUE(scopes.declareExtern(g));
    Cell* c = scopes.lookup(g);
    ASSERT_TRUE(c);
    c->set_num(5);
    scopes.popScope();
    EXPECT_EQ(scopes.lookupGlobal(g)->num(), 5);
}

TEST_F(NamesTest, statics_belong_to_their_overload) {
    Atom n = intern("n");
    func_data one, two;
    scopes.enterFunction(&one);
    EXPECT_FALSE(scopes.staticDeclared(n));
    scopes.declare(n, 2)->set_num(1);
    EXPECT_TRUE(scopes.staticDeclared(n));
    scopes.popScope();
    scopes.enterFunction(&two);
    EXPECT_FALSE(scopes.staticDeclared(n));
    scopes.popScope();
    scopes.enterFunction(&one);
    EXPECT_EQ(scopes.lookup(n)->num(), 1);
    scopes.popScope();
}

TEST_F(NamesTest, redeclaring_gives_null_and_keeps_the_cell) {
    Atom v = intern("v");
    Cell* a = scopes.declare(v, 1);
    a->set(make_string("s"));
    Cell* b = scopes.declare(v, 1);
    EXPECT_EQ(a, b);
    EXPECT_TRUE(b->is_null());
    EXPECT_TRUE(scopes.declaredInInnermost(v));
}

TEST_F(NamesTest, restore_depth_unwinds_calls_and_blocks) {
    func_data f;
    size_t d = scopes.scopeDepth();
    scopes.pushBlock();
    scopes.enterFunction(&f);
    scopes.pushBlock();
    scopes.declare(intern("t"), 1);
    scopes.enterFunction(&f); // recursion pushes the same static table again
    scopes.restoreDepth(d);
    EXPECT_EQ(scopes.scopeDepth(), d);
    EXPECT_EQ(scopes.base, 0u);
    EXPECT_TRUE(scopes.lookup(intern("g2")) == nullptr);
}
