#include "launcher/launch.h"

#include <malloc.h>
#include <pthread.h>

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

} // namespace

int launch_interpreter(int argc, char** argv, int windowed) {
    launch_args a{argc, argv, windowed, 0};
    // The main thread only waits: the interpreter thread takes the main malloc arena, which
    // grows in large steps, instead of an arena of its own that grows a page at a time.
    mallopt(M_ARENA_MAX, 1);
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
