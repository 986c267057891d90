#include "io/interrupt.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include "core/attention.h"

namespace ruvo {

namespace {

struct InterruptState {
    int pipe[2] = {-1, -1}; // the handler's byte; both ends non-blocking
    bool active = false;     // a scope is installed
    volatile sig_atomic_t echoed = 0; // the terminal echoed the key as "^C"
    struct sigaction saved = {};
};
InterruptState interrupt_state;

extern "C" void on_interrupt(int) {
    int saved_errno = errno;
    request_attention(kAttendInterrupt);
    struct termios t;
    interrupt_state.echoed =
        ::tcgetattr(0, &t) == 0 && (t.c_lflag & ECHO) && (t.c_lflag & ECHOCTL);
    if (interrupt_state.pipe[1] >= 0) {
        char b = 1;
        [[maybe_unused]] ssize_t n = ::write(interrupt_state.pipe[1], &b, 1);
    }
    errno = saved_errno;
}

void drain_pipe() {
    char buf[64];
    while (::read(interrupt_state.pipe[0], buf, sizeof buf) > 0) {
    }
}

double now_ms() {
    struct timespec ts;
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) * 1000 + static_cast<double>(ts.tv_nsec) / 1e6;
}

enum class Woken { ready, interrupted, other_signal };

// Polls [fds] (the pipe last) for at most [timeout] ms, -1 for no limit.  A failure other
// than a signal counts as ready: the caller's read reports it.
Woken poll_with_pipe(struct pollfd* fds, nfds_t n, int timeout) {
    fds[n - 1] = {interrupt_state.pipe[0], POLLIN, 0};
    int r = ::poll(fds, n, timeout);
    if (r > 0 && (fds[n - 1].revents & POLLIN)) return Woken::interrupted;
    if (r < 0 && errno == EINTR) return Woken::other_signal; // ours shows in the pipe next
    return Woken::ready;
}

} // namespace

InterruptScope::InterruptScope() {
    if (interrupt_state.active) return;
    if (interrupt_state.pipe[0] < 0 && ::pipe2(interrupt_state.pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    drain_pipe();
    clear_attention(kAttendInterrupt);
    interrupt_state.echoed = 0;
    struct sigaction sa = {};
    sa.sa_handler = on_interrupt;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0; // no restart: a wait that is not ours still ends with EINTR
    if (::sigaction(SIGINT, &sa, &interrupt_state.saved) != 0) return;
    interrupt_state.active = active_ = true;
}

InterruptScope::~InterruptScope() {
    if (!active_) return;
    ::sigaction(SIGINT, &interrupt_state.saved, nullptr);
    interrupt_state.active = false;
}

bool interrupt_echoed() {
    return interrupt_state.echoed != 0;
}

bool interruptible_sleep(double ms) {
    if (!(ms > 0)) return true;
    if (!interrupt_state.active) {
        // A signal with a handler ends the pause early; SIGINT's default ends the process.
        struct timespec ts = {};
        if (ms >= 1e18) {
            ts.tv_sec = static_cast<time_t>(1e15); // thirty million years
        } else {
            ts.tv_sec = static_cast<time_t>(ms / 1000);
            ts.tv_nsec = static_cast<long>(std::fmod(ms, 1000.0)) * 1000000;
        }
        ::clock_nanosleep(CLOCK_MONOTONIC, 0, &ts, nullptr);
        return true;
    }
    double until = now_ms() + ms;
    for (;;) {
        double left = until - now_ms();
        if (left <= 0) return true;
        struct pollfd fds[1];
        int timeout = static_cast<int>(std::min(std::ceil(left), double(INT_MAX)));
        if (poll_with_pipe(fds, 1, timeout) == Woken::interrupted) return false;
    }
}

bool wait_for_input(int fd) {
    if (!interrupt_state.active) return true;
    for (;;) {
        struct pollfd fds[2] = {{fd, POLLIN, 0}, {}};
        Woken w = poll_with_pipe(fds, 2, -1);
        if (w != Woken::other_signal) return w == Woken::ready;
    }
}

} // namespace ruvo
