// Running program text in tests: a fresh global scope per test, a test-only print() that
// collects the plain forms of its arguments, exit() and eval() as the interpreter has them,
// and stderr captured around each run.
#pragma once

#include <gtest/gtest.h>

#include <pthread.h>

#include <functional>
#include <string>
#include <string_view>

#include "io/stdstream.h"
#include "core/convert.h"
#include "core/value.h"
#include "eval/context.h"
#include "eval/error.h"
#include "eval/evaluate.h"
#include "eval/func.h"
#include "eval/scope.h"
#include "host/run.h"

namespace ruvo::test {

inline std::string& printed() {
    static std::string s;
    return s;
}

struct RunResult {
    Value value;
    std::string out; // what print() wrote
    std::string err; // standard error of the run
};

class EvalTest : public ::testing::Test {
protected:
    void SetUp() override {
        eval_init();
        scopes.pushGlobalScope();
        funcman.registerBuiltin("print", -1, [](VContext&, int, std::span<Value> args, Value&) {
            for (const Value& a : args) append_plain(printed(), a);
            printed() += '\n';
        });
        // show(v): the display form, for containers.
        funcman.registerBuiltin("show", 1, [](VContext&, int, std::span<Value> args, Value&) {
            printed() += display_form(args[0]);
            printed() += '\n';
        });
        funcman.registerBuiltin("gc", 0,
                                [](VContext&, int, std::span<Value>, Value&) { objman.collect(); });
        funcman.registerBuiltin("exit", 1, [](VContext&, int line, std::span<Value> a, Value&) {
            throw VExit{a[0], line};
        });
        funcman.registerBuiltin("eval", 1, [](VContext&, int line, std::span<Value> a, Value& r) {
            r = run_text(arg_string(a[0], line));
        });
    }
    void TearDown() override {
        scopes.popAll();
        funcman.clearFunctions();
        scopes.strict = false;
        objman.collect();
    }

    static RunResult run(std::string_view text) {
        printed().clear();
        note_stream_mode(stderr, true); // messages with plain line ends
        testing::internal::CaptureStderr();
        Value v = run_text(text);
        std::string err = testing::internal::GetCapturedStderr();
        return {v, printed(), err};
    }
    // What print() wrote, followed by the error output.
    static std::string output(std::string_view text) {
        RunResult r = run(text);
        return r.out + r.err;
    }
};

// Runs [f] on a new thread with [stack] bytes of stack, as the launcher runs the interpreter.
inline void on_thread(size_t stack, const std::function<void()>& f) {
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, stack);
    pthread_t t;
    auto body = [](void* p) -> void* {
        (*static_cast<const std::function<void()>*>(p))();
        return nullptr;
    };
    ASSERT_EQ(pthread_create(&t, &attr, body, const_cast<std::function<void()>*>(&f)), 0);
    pthread_join(t, nullptr);
    pthread_attr_destroy(&attr);
}

} // namespace ruvo::test
