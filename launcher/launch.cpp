#include "launcher/launch.h"

#include <malloc.h>
#include <pthread.h>
#include <sys/resource.h>

#include "host/ruvo_main.h"

extern char** environ;

namespace {

// The evaluator recurses once per nested node; 8 MiB is what its recursion limit is sized for.
constexpr size_t kInterpreterStack = 8u << 20;

struct launch_args {
    int argc;
    char** argv;
    int windowed;
    int result;
};

void* run(void* p) {
    auto* a = static_cast<launch_args*>(p);
    a->result = ruvo_main(a->argc, a->argv, environ, a->windowed);
    return nullptr;
}

// Whether the main thread may grow its stack to the interpreter's size.  It usually may (the
// common limit is 8 MiB), and then the interpreter runs on it: a thread of its own would
// start on whichever processor is idle at that moment, away from the caches the process
// has warmed, and on a loaded machine often on the slower one.
bool main_stack_suffices() {
    rlimit r;
    if (getrlimit(RLIMIT_STACK, &r) != 0) return false;
    return r.rlim_cur == RLIM_INFINITY || r.rlim_cur >= kInterpreterStack;
}

} // namespace

int launch_interpreter(int argc, char** argv, int windowed) {
    launch_args a{argc, argv, windowed, 0};
    // One malloc arena: a thread of the interpreter's own takes the main arena, which grows
    // in large steps, instead of an arena of its own that grows a page at a time.
    mallopt(M_ARENA_MAX, 1);
    if (main_stack_suffices()) {
        run(&a);
        return a.result;
    }
    pthread_attr_t attr;
    pthread_t thread;
    if (pthread_attr_init(&attr) == 0 && pthread_attr_setstacksize(&attr, kInterpreterStack) == 0 &&
        pthread_create(&thread, &attr, run, &a) == 0) {
        pthread_attr_destroy(&attr);
        pthread_join(thread, nullptr);
        return a.result;
    }
    // No thread could be made: run on the main thread, whose stack is usually as large.
    run(&a);
    return a.result;
}
