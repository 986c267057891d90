// Running out of memory at any allocation of a parse or a run: the run unit reports
// "error: Out of memory", counts the run as failed, and the front end parses again afterwards.
//
// Address-space limits cannot be used under the sanitizers, so this binary replaces operator
// new with one that can be told to fail: from the Nth allocation on, every allocation fails
// until the interpreter gives its memory reserve back, as when the address space is used up
// and the freed reserve is what the way out lives on.  Each N runs in a child process of its
// own, so that what one failure leaves behind cannot hide or cause the next one's.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

#include "core/convert.h"
#include "core/reserve.h"
#include "eval/evaluate.h"
#include "eval/func.h"
#include "eval/scope.h"
#include "host/run.h"
#include "io/stdstream.h"

namespace {

long allocations = 0;
long fail_from = -1; // -1: never

void* allocate(std::size_t n) {
    if (fail_from >= 0 && allocations++ >= fail_from && ruvo::memory_reserve_held())
        throw std::bad_alloc();
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}

void* allocate_aligned(std::size_t n, std::align_val_t a) {
    if (fail_from >= 0 && allocations++ >= fail_from && ruvo::memory_reserve_held())
        throw std::bad_alloc();
    std::size_t align = static_cast<std::size_t>(a);
    if (void* p = std::aligned_alloc(align, (n + align - 1) / align * align)) return p;
    throw std::bad_alloc();
}

} // namespace

void* operator new(std::size_t n) { return allocate(n); }
void* operator new[](std::size_t n) { return allocate(n); }
void* operator new(std::size_t n, std::align_val_t a) { return allocate_aligned(n, a); }
void* operator new[](std::size_t n, std::align_val_t a) { return allocate_aligned(n, a); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    try {
        return allocate(n);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](std::size_t n, const std::nothrow_t& t) noexcept { return operator new(n, t); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }

namespace ruvo {
namespace {

std::string printed;

// Top-level and nested functions, blocks, strings joined at parse time, a regular expression,
// containers and calls: every kind of thing the front end builds and the run unit frees.
const char kScript[] =
    "function twice(a) { return a * 2; }\n"
    "function pick(a, b) { if (a) { function inner() { return \"in\" \"ner\"; } return inner(); }"
    " return b; }\n"
    "var r = /b+c/i; var h = hash(\"k\" = [1, 2, twice(3)]);\n"
    "if (\"abbc\" =~ r) { print(pick(0, h[\"k\"][2]), pick(1, 0)); }\n"
    "twice(21);\n";

// What a child reports with its exit status.
enum Outcome { Succeeded = 10, FailedWithMessage, WrongMessage, WrongFailure, NoRecovery };

class ParseMemoryTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        eval_init();
        scopes.pushGlobalScope();
        funcman.registerBuiltin("print", -1, [](VContext&, int, std::span<Value> args, Value&) {
            for (const Value& a : args) append_plain(printed, a);
            printed += '\n';
        });
        note_stream_mode(stderr, true);
    }
    static void TearDownTestSuite() {
        scopes.popAll();
        funcman.clearFunctions();
        objman.collect();
    }

    // Runs [run] in a child with allocations failing from the [n]th on; then, with memory
    // back, a fresh parse and run in the same child must work.
    template <class Run> static int outcome_at(long n, Run run) {
        std::fflush(nullptr);
        pid_t pid = fork();
        if (pid == 0) {
            std::FILE* err = std::tmpfile();
            dup2(fileno(err), 2);
            printed.clear();
            allocations = 0;
            fail_from = n;
            bool failed = false;
            Value v = run(&failed);
            fail_from = -1;
            std::fflush(stderr);
            std::string message(512, '\0');
            message.resize(pread(fileno(err), message.data(), message.size(), 0));
            int result = Succeeded;
            if (!failed) {
                if (!message.empty() || printed != "6inner\n" || to_number(v) != 42) result = WrongFailure;
            } else if (message != "error: Out of memory\n") {
                result = WrongMessage;
            } else {
                result = FailedWithMessage;
            }
            bool again = false;
            Value w = run_text("function again(x) { return x + 1; } again(1);", &again);
            if (again || to_number(w) != 2) result = NoRecovery;
            _exit(result);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    // Every allocation of the run fails in turn, until one N lets the whole run succeed.
    template <class Run> static void sweep(Run run) {
        long n = 0;
        for (; n < 100000; ++n) {
            int got = outcome_at(n, run);
            if (got == Succeeded) break;
            ASSERT_EQ(got, FailedWithMessage) << "allocation " << n << " failing";
        }
        EXPECT_GT(n, 50) << "the run allocated almost nothing: is the hook in place?";
        EXPECT_LT(n, 100000);
    }
};

TEST_F(ParseMemoryTest, every_allocation_of_a_text_run_may_fail) {
    sweep([](bool* failed) { return run_text(kScript, failed); });
}

TEST_F(ParseMemoryTest, every_allocation_of_a_file_run_may_fail) {
    char path[] = "/tmp/ruvo_parse_memory_XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, kScript, sizeof kScript - 1), static_cast<ssize_t>(sizeof kScript - 1));
    close(fd);
    sweep([&](bool* failed) { return run_file_unprocessed(path, failed); });
    unlink(path);
}

} // namespace
} // namespace ruvo
