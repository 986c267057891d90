// Set-up of the evaluator: the collector's roots and the native-stack guard.
#include <pthread.h>

#include <algorithm>

#include "eval/evaluate.h"
#include "eval/scope.h"

namespace ruvo {

void eval_init() {
    objman.mark_roots = [] { scopes.markRoots(); };
}

void eval_stack_prepare() {
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) != 0) return;
    void* low = nullptr;
    size_t size = 0;
    if (pthread_attr_getstack(&attr, &low, &size) == 0 && low) {
        // Keep 256 KiB for the raise itself, built-ins and the C library; on a small stack
        // keep half of it.
        size_t margin = std::min<size_t>(256 * 1024, size / 2);
        eval_state.stack_limit = static_cast<const char*>(low) + margin;
    }
    pthread_attr_destroy(&attr);
}

} // namespace ruvo
