// A whole script run on any bytes, closed off from the world outside the process.
//
// The vocabulary is the interpreter's own, less every built-in that reaches outside: files
// and the file system, standard input, the console (gets, getch, kbhit), system, sleep, beep,
// the clock, dllfunc, COM and the graphics window.  `stdout` and `stderr` are file objects
// on /dev/null, there is no `stdin`, and exit() ends the run unit as it always does.
//
// Three budgets keep one input from running on: a step budget through the evaluator's poll
// point, a watchdog that interrupts a run through the same poll point after a couple of
// seconds (a step can be long when it works on a large string), and a memory budget: the
// allocation that would take live memory beyond it fails as memory that has run out does,
// so the interpreter's own out-of-memory ending is fuzzed too.  A run that ends by a budget
// is an answer, not a finding.
#include <sanitizer/allocator_interface.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <new>
#include <string_view>
#include <thread>

#include "core/array.h"
#include "core/attention.h"
#include "core/convert.h"
#include "core/hash.h"
#include "eval/evaluate.h"
#include "eval/func.h"
#include "eval/scope.h"
#include "fuzz/harness.h"
#include "host/run.h"
#include "io/file.h"

using namespace ruvo;

// ---- the memory budget ------------------------------------------------------------------

namespace {

// What one script may hold beyond what was live when it started.  Only the script's run is
// held to it: the fuzzer's own corpus and bookkeeping, which grow over a long run, and what
// the interpreter keeps for the whole process (atoms, pooled blocks) are not the script's.
constexpr size_t kMemoryBudget = size_t{64} << 20;
std::atomic<size_t> live_bytes{0};
std::atomic<bool> budget_armed{false};
size_t run_base = 0; // live_bytes when the run began

void* budgeted_new(size_t n) {
    if (budget_armed.load(std::memory_order_relaxed) &&
        (n > kMemoryBudget || live_bytes.load(std::memory_order_relaxed) + n > run_base + kMemoryBudget))
        return nullptr;
    void* p = std::malloc(n ? n : 1);
    if (p) live_bytes.fetch_add(__sanitizer_get_allocated_size(p), std::memory_order_relaxed);
    return p;
}

void budgeted_delete(void* p) {
    if (!p) return;
    live_bytes.fetch_sub(__sanitizer_get_allocated_size(p), std::memory_order_relaxed);
    std::free(p);
}

} // namespace

void* operator new(size_t n) {
    if (void* p = budgeted_new(n)) return p;
    throw std::bad_alloc();
}
void* operator new[](size_t n) {
    return operator new(n);
}
void* operator new(size_t n, const std::nothrow_t&) noexcept {
    return budgeted_new(n);
}
void* operator new[](size_t n, const std::nothrow_t&) noexcept {
    return budgeted_new(n);
}
void operator delete(void* p) noexcept {
    budgeted_delete(p);
}
void operator delete[](void* p) noexcept {
    budgeted_delete(p);
}
void operator delete(void* p, size_t) noexcept {
    budgeted_delete(p);
}
void operator delete[](void* p, size_t) noexcept {
    budgeted_delete(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    budgeted_delete(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    budgeted_delete(p);
}

namespace {

// ---- the watchdog -----------------------------------------------------------------------

constexpr uint64_t kStepBudget = 50000;
constexpr auto kRunTime = std::chrono::seconds(2);

// Interrupts the run in progress once its time is up.  The bit is set only while a run is
// in progress, under the lock, so clearing it after the run leaves none for the next one.
class Watchdog {
public:
    Watchdog() {
        std::thread([this] { watch(); }).detach();
    }
    void begin() {
        std::lock_guard<std::mutex> lock(m_);
        deadline_ = std::chrono::steady_clock::now() + kRunTime;
        running_ = true;
        wake_.notify_one();
    }
    void end() {
        {
            std::lock_guard<std::mutex> lock(m_);
            running_ = false;
        }
        clear_attention(kAttendInterrupt);
    }

private:
    void watch() {
        std::unique_lock<std::mutex> lock(m_);
        for (;;) {
            if (!running_) {
                wake_.wait(lock);
            } else if (std::chrono::steady_clock::now() >= deadline_) {
                request_attention(kAttendInterrupt);
                running_ = false;
            } else {
                wake_.wait_until(lock, deadline_);
            }
        }
    }
    std::mutex m_;
    std::condition_variable wake_;
    std::chrono::steady_clock::time_point deadline_;
    bool running_ = false;
};

// ---- the vocabulary ---------------------------------------------------------------------

bool listed(const char* name, std::initializer_list<std::string_view> names) {
    for (std::string_view n : names)
        if (n == name) return true;
    return false;
}

void register_family(std::span<const BuiltinDef> family, bool (*keep)(const BuiltinDef&)) {
    for (const BuiltinDef& d : family)
        if (keep(d)) funcman.registerBuiltin(d.name, d.count, d.handler);
}

// Families of built-ins that compute on values only, with the few exceptions named.
void register_vocabulary() {
    auto all = [](const BuiltinDef&) { return true; };
    register_family(core_builtins(), [](const BuiltinDef& d) { return !listed(d.name, {"system"}); });
    register_family(regexp_builtins(), all);
    register_family(deepcopy_builtins(), all);
    register_family(conversion_builtins(), all);
    register_family(string_builtins(), all);
    register_family(array_builtins(), all);
    register_family(math_builtins(), [](const BuiltinDef& d) {
        return !(listed(d.name, {"srand"}) && d.count == 0); // the seed from the clock
    });
    register_family(encoding_builtins(), all);
    register_family(pack_builtins(), all);
    register_family(serial_builtins(), all);
    // Of the file and system families only what writes to the streams given and what
    // computes: no open(), nothing that reads, no file system, console or clock.
    register_family(fileio_builtins(), [](const BuiltinDef& d) {
        return listed(d.name, {"close", "puts", "flush", "binmode", "txtmode", "write", "chr", "ord",
                               "format", "print", "printf", "sprintf"});
    });
    register_family(system_builtins(), [](const BuiltinDef& d) {
        return (listed(d.name, {"time"}) && d.count >= 3) || (listed(d.name, {"localtime"}) && d.count == 1)
               || listed(d.name, {"splitpath"});
    });
    // graphics_builtins(), dllfunc_builtins() and com_builtins() stay out as a whole.
}

FILE* null_stream = nullptr;
Watchdog* watchdog = nullptr;

void set_global(const char* name, const Value& v) {
    scopes.declareGlobal(intern(name))->set(v);
}

Value null_file() {
    VFile* f = make_file("sjis");
    Value v(f);
    f->attach(null_stream);
    return v;
}

// The global scope and the vocabulary as start-up leaves them, every run afresh.
void start_run() {
    eval_init();
    scopes.pushGlobalScope();
    set_global("stdout", null_file());
    set_global("stderr", null_file());
    set_global("__filename", make_string(""));
    Value args(new VArray());
    args.as_array()->push(make_string("fuzz.rv"));
    set_global("__arg", args);
    set_global("__env", Value(new VHash()));
    register_vocabulary();
    fuzz::call_builtin(math_builtins(), "srand", {Value(1.0)});
    set_number_format("%.10g");
    scopes.strict = false;
}

void end_run() {
    scopes.popAll();
    funcman.clearFunctions();
    objman.collect();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    null_stream = std::fopen("/dev/null", "w");
    if (!null_stream) std::abort();
    watchdog = new Watchdog();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    start_run();
    set_step_budget(kStepBudget);
    watchdog->begin();
    run_base = live_bytes.load(std::memory_order_relaxed);
    budget_armed.store(true, std::memory_order_relaxed);
    try {
        run_text(std::string_view(reinterpret_cast<const char*>(data), size));
    } catch (const VInterrupt&) {
    }
    budget_armed.store(false, std::memory_order_relaxed);
    watchdog->end();
    set_step_budget(0);
    end_run();
    return 0;
}
