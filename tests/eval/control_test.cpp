// Statements: loops with multi-level break and continue, foreach write-back, switch, try and
// catch, and what escapes a function or a run unit.
#include <gtest/gtest.h>

#include "core/attention.h"
#include "harness.h"

using namespace ruvo;
using namespace ruvo::test;

namespace {
class ControlTest : public EvalTest {};
} // namespace

TEST_F(ControlTest, multi_level_break_and_continue) {
    EXPECT_EQ(output("n = 0; while (true) { while (true) { n++; break 2; } n = 100; } print(n);"),
              "1\n");
    EXPECT_EQ(output("for (i = 0; i < 3; i++) { for (j = 0; j < 3; j++) { if (j == 1) continue 2;"
                     " print(i, j); } print(\"never\"); }"),
              "00\n10\n20\n");
    EXPECT_EQ(output("i = 0; do { i++; if (i < 3) continue; break; } while (true); print(i);"),
              "3\n");
    EXPECT_EQ(output("do print(\"once\"); while (false);"), "once\n");
    EXPECT_EQ(output("for (;;) { for (;;) { for (;;) break 3; } } print(\"out\");"), "out\n");
    EXPECT_EQ(output("while (1) break 0;"),
              "error [1]: break/continue level must be 1 or larger value\n");
    EXPECT_EQ(output("while (1) continue \"x\";"),
              "error [1]: break/continue level must be 1 or larger value\n");
    EXPECT_EQ(output("while (1) break true; print(\"ok\");"), "ok\n");
    EXPECT_EQ(output("for (var k = 0; k < 2; k++) {} print(k);"),
              "error [1]: Symbol k not declared\n");
}

TEST_F(ControlTest, foreach_writes_the_loop_variable_back) {
    EXPECT_EQ(output("a = [1, 2, 3]; foreach (var x in a) x = x * 2; show(a);"), "[ 2, 4, 6 ]\n");
    EXPECT_EQ(output("a = [1, 2]; for (x in a) { x = x + 10; } show(a); print(x);"),
              "[ 11, 12 ]\n12\n");
    // The size is read at every step: the body may grow or shrink the array.
    EXPECT_EQ(output("a = [1]; foreach (var x in a) if (x < 4) a[len_of(a)] = x + 1; show(a);"
                     "function len_of(v) { n = 0; foreach (var e in v) n++; return n; }"),
              "[ 1, 2, 3, 4 ]\n");
    // The loop holds its collection: rebinding the variable does not end it.
    EXPECT_EQ(output("a = [1, 2, 3]; b = a; foreach (var x in a) { [a] = [[9]]; x = 0; }"
                     " show([a, b]);"),
              "[ [ 9 ], [ 0, 0, 0 ] ]\n");
    EXPECT_EQ(output("foreach (var x in hash(\"a\" = 1)) print(x);"),
              "error [1]: Argument must be collection in foreach statement\n");
    EXPECT_EQ(output("foreach (var x in \"ab\") print(x);"),
              "error [1]: Argument must be collection in foreach statement\n");
    EXPECT_EQ(output("foreach (var x in [1, 2, 3]) { if (x == 2) continue; print(x); }"), "1\n3\n");
}

TEST_F(ControlTest, switch_scans_labels_and_falls_through) {
    EXPECT_EQ(output("switch (2) { case 1: print(\"a\"); default: print(\"b\"); case 2: "
                     "print(\"c\"); }"),
              "b\nc\n");
    EXPECT_EQ(output("function v(x) { print(\"case \", x); return x; }\n"
                     "switch (\"2\") { print(\"never\"); case v(1): print(1); case v(2): case v(3):"
                     " print(23); break; case v(4): print(4); }"),
              "case 1\ncase 2\n23\n");
    EXPECT_EQ(output("switch (5) { case 1: print(1); } print(\"none\");"), "none\n");
    // break leaves only the switch; continue and break 2 reach the loop.
    EXPECT_EQ(output("for (i = 0; i < 3; i++) { switch (i) { case 1: continue; default: break; }"
                     " print(i); }"),
              "0\n2\n");
    EXPECT_EQ(
        output("while (1) { switch (1) { case 1: break 2; } print(\"never\"); } print(\"x\");"),
        "x\n");
}

TEST_F(ControlTest, try_catch_binds_the_whole_message) {
    EXPECT_EQ(output("try {\n  1 \\ 0;\n} catch (var e) { print(e); }"),
              "error [2]: Division by 0\n");
    EXPECT_EQ(output("function f() { x = undefined_thing; }\ntry f(); print(\"after\");"),
              "after\n");
    EXPECT_EQ(output("e = 0; try q(); catch (e) print(\"caught\"); print(e);"),
              "caught\nerror [1]: Function q() [arg count:0] not defined\n");
    EXPECT_EQ(output("try q(); catch () print(\"no variable\");"), "no variable\n");
    // The depth of the scope stack is restored, also from inside calls and blocks.
    EXPECT_EQ(output("function f(n) { { if (n == 0) 1 \\ 0; f(n - 1); } }\n"
                     "for (i = 0; i < 3; i++) try f(5); catch (var e) print(i);"),
              "0\n1\n2\n");
    // An error in the handler propagates; exit is never caught.
    EXPECT_EQ(output("try 1 \\ 0; catch (var e) { y = z; } print(\"never\");"),
              "error [1]: Symbol z not declared\n");
    RunResult r = run("try { exit(4); } catch (var e) { print(\"caught\"); } print(\"after\");");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.value.num(), 4);
    EXPECT_EQ(output("try { try 1 \\ 0; catch (var e) 2 \\ 0; } catch (var f) print(f);"),
              "error [1]: Division by 0\n");
}

TEST_F(ControlTest, jumps_that_escape) {
    EXPECT_EQ(output("function f() {\n  break;\n}\nf();"), "error [2]: Bad break or continue\n");
    EXPECT_EQ(output("function f() { continue; } try f(); catch (var e) print(e);"),
              "error [1]: Bad break or continue\n");
    RunResult r = run("x = 3;\ncontinue;\nprint(\"never\");");
    EXPECT_EQ(r.err, "error [2]: Bad break or continue\n");
    EXPECT_TRUE(r.value.is_null()) << "the value of the jump statement, the last one run";
    EXPECT_EQ(run("return 7;").value.num(), 7);
    EXPECT_EQ(run("5; 6;").value.num(), 6);
    EXPECT_TRUE(run("5; x = y;").value.is_null());
    EXPECT_EQ(output("function f() { for (;;) { while (1) { return 9; } } } print(f());"), "9\n");
    EXPECT_EQ(output("function f() { 1; } function g() { return; } print(f(), g());"),
              "nullnull\n");
}

TEST_F(ControlTest, eval_is_a_run_unit_of_its_own) {
    EXPECT_EQ(output("print(eval(\"return 7;\"));"), "7\n");
    EXPECT_EQ(output("print(eval(\"exit(5);\")); print(\"goes on\");"), "5\ngoes on\n");
    EXPECT_EQ(output("print(eval(\"break;\"));"), "null\nerror [1]: Bad break or continue\n");
    EXPECT_EQ(output("x = eval(\"1 \\\\ 0;\"); print(x);"), "null\nerror [1]: Division by 0\n");
    EXPECT_EQ(output("function f() { eval(\"x = 1; q();\"); return 2; } print(f());"),
              "2\nerror [1]: Function q() [arg count:0] not defined\n");
    EXPECT_EQ(output("print(eval(\"1 +\"));"), "null\nerror [1]: syntax error\n");
}

// The poll point: an interrupt or a used-up step budget stops the whole run, through try,
// eval and function calls alike, and the next run starts afresh.
TEST_F(ControlTest, interrupt_and_step_budget_stop_the_run) {
    auto stopped_at = [](std::string_view text) {
        printed().clear();
        try {
            run_text(text);
        } catch (const VInterrupt& i) {
            return i.line;
        }
        return -1;
    };
    set_step_budget(10000);
    EXPECT_EQ(stopped_at("while (1);"), 1);
    set_step_budget(10000);
    EXPECT_EQ(stopped_at("try {\n while (1) x = 1;\n} catch (var e) { print(e); }"), 2);
    set_step_budget(100);
    EXPECT_EQ(stopped_at("function f(n) { return f(n); }\neval(\"f(1);\");"), 1);
    set_step_budget(10000);
    EXPECT_EQ(stopped_at("function f() { for (;;) ; }\nf();"), 1);
    set_step_budget(10000);
    EXPECT_EQ(stopped_at("a = [1, 2]; n = 2;\nforeach (var x in a) a[n++] = 1;"), 2);
    // A loop that runs its condition, body and step in place still passes the poll point.
    set_step_budget(10000);
    EXPECT_EQ(stopped_at("s = 0;\nfor (i = 0; i < 1e15; i++) s = s + i % 7;"), 2);
    set_step_budget(10000);
    EXPECT_EQ(stopped_at("function f(n) {\n for (var i = 0; i < n; i++) s = i * 2; }\nf(1e15);"), 2);
    EXPECT_EQ(printed(), "");
    // A run within its budget is not touched; the budget is then taken away.
    set_step_budget(10000);
    EXPECT_EQ(output("s = 0; for (i = 0; i < 10; i++) s += i; print(s);"), "45\n");
    set_step_budget(0);
    EXPECT_FALSE(attention_requested(kAttendBudget));
    EXPECT_EQ(output("for (i = 0; i < 100000; i++) ; print(i);"), "100000\n");

    request_attention(kAttendInterrupt);
    EXPECT_EQ(stopped_at("\n\nx = 1;"), 3);
    EXPECT_FALSE(attention_requested(kAttendInterrupt));
    EXPECT_EQ(output("print(2);"), "2\n");
}

// Reaching the collector's threshold asks for the evaluator's attention; its next step
// collects the cycles no scope reaches.
TEST_F(ControlTest, the_collector_runs_at_the_poll_point) {
    run("for (i = 0; i < 10; i++) { var a = {}; a[0] = a; }");
    uint32_t saved = objman.threshold;
    objman.threshold = objman.count + 1;
    run("var b = {}; b[0] = b; b = 0; x = 1; y = 2;");
    EXPECT_LT(objman.count, objman.threshold);
    EXPECT_FALSE(attention_requested(kAttendCollect));
    objman.threshold = saved;
}
