// Set-up of the evaluator (the collector's roots, the native-stack guard) and the slow half of
// its poll point.
#include <pthread.h>
#include <sys/auxv.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "core/attention.h"
#include "eval/error.h"
#include "eval/eval_impl.h"
#include "eval/evaluate.h"
#include "eval/scope.h"

namespace ruvo {

void eval_init() {
    objman.mark_roots = [] { scopes.markRoots(); };
}

namespace {

// Keep 256 KiB for the raise itself, built-ins and the C library; on a small stack keep half
// of it.
void set_stack_bounds(const char* low, size_t size) {
    size_t margin = std::min<size_t>(256 * 1024, size / 2);
    eval_state.stack_limit = low + margin;
}

// The main thread's stack ends just above the name the program was started by (the last
// thing the kernel puts on it) and may grow down by the stack limit from there.  This avoids
// pthread_getattr_np, which reads the whole memory map of the process to find the same.
bool main_thread_bounds(const char* sp) {
    if (getpid() != gettid()) return false;
    rlimit r;
    if (getrlimit(RLIMIT_STACK, &r) != 0) return false;
    auto execfn = reinterpret_cast<const char*>(getauxval(AT_EXECFN));
    if (!execfn || execfn < sp) return false;
    size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    uintptr_t top = reinterpret_cast<uintptr_t>(execfn) + std::strlen(execfn) + 1 + sizeof(void*);
    top = (top + page - 1) & ~(page - 1);
    // Without a limit the stack grows until it meets another mapping; count on the usual 8 MiB.
    size_t size = r.rlim_cur == RLIM_INFINITY ? size_t(8) << 20 : static_cast<size_t>(r.rlim_cur);
    uintptr_t used = top - reinterpret_cast<uintptr_t>(sp);
    if (size <= used) return false;
    set_stack_bounds(reinterpret_cast<const char*>(top - size), size);
    return true;
}

} // namespace

void eval_stack_prepare() {
    if (main_thread_bounds(static_cast<const char*>(__builtin_frame_address(0)))) return;
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) != 0) return;
    void* low = nullptr;
    size_t size = 0;
    if (pthread_attr_getstack(&attr, &low, &size) == 0 && low)
        set_stack_bounds(static_cast<const char*>(low), size);
    pthread_attr_destroy(&attr);
}

void attend(int line) {
    uint32_t bits = attention.load(std::memory_order_relaxed);
    if (bits & kAttendCollect) {
        clear_attention(kAttendCollect);
        objman.maybe_collect();
    }
    if (bits & kAttendInterrupt) {
        clear_attention(kAttendInterrupt);
        throw VInterrupt{line};
    }
    if (bits & kAttendBudget) {
        // Once used up the budget stays at 0, so nothing the unwind runs can go on.
        if (eval_state.steps_left == 0) throw VInterrupt{line};
        --eval_state.steps_left;
    }
}

void set_step_budget(uint64_t steps) {
    eval_state.steps_left = steps;
    if (steps)
        request_attention(kAttendBudget);
    else
        clear_attention(kAttendBudget);
}

} // namespace ruvo
