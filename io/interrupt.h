// Ctrl-C while talk mode runs a line on a terminal.  An InterruptScope installs a SIGINT
// handler for its lifetime (SIGINT keeps its default everywhere else, so a script run ends
// at Ctrl-C as ever).  The handler raises the interrupt in the attention word, which the
// evaluator polls, and writes a byte into a pipe of its own: the waits below watch that pipe
// as well, so a sleep or a read of the terminal ends at once however close to its start the
// key came, and the pipe stays readable until the next scope begins.
#pragma once

namespace ruvo {

class InterruptScope {
public:
    InterruptScope();
    ~InterruptScope();
    InterruptScope(const InterruptScope&) = delete;
    InterruptScope& operator=(const InterruptScope&) = delete;

private:
    bool active_ = false;
};

// Whether the terminal echoed the last Ctrl-C itself (as "^C").
bool interrupt_echoed();

// Waits [ms] milliseconds; false when an interrupt ended the wait.
bool interruptible_sleep(double ms);

// Waits until descriptor [fd] has input (or its end); false when an interrupt came first.
// Outside a scope it returns true at once and the caller's read waits as usual.
bool wait_for_input(int fd);

} // namespace ruvo
