// Ctrl-C in talk mode: inside a scope SIGINT ends sleeps and waits for input at once and
// raises the interrupt; a key before the wait began counts too; the next scope starts
// clean; outside a scope SIGINT's handling is what it was.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <thread>
#include <unistd.h>

#include "core/attention.h"
#include "io/interrupt.h"

namespace {

using namespace ruvo;
using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

// SIGINT to the process after [ms], from a thread of its own, as a terminal sends it.
std::thread interrupt_after(int ms) {
    return std::thread([ms] {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        kill(getpid(), SIGINT);
    });
}

TEST(Interrupt, ends_a_long_sleep_and_a_wait_for_input_at_once) {
    InterruptScope scope;
    auto start = Clock::now();
    std::thread t = interrupt_after(100);
    EXPECT_FALSE(interruptible_sleep(1e8));
    t.join();
    EXPECT_LT(seconds_since(start), 5);
    EXPECT_TRUE(attention_requested(kAttendInterrupt));
    clear_attention(kAttendInterrupt);

    int p[2];
    ASSERT_EQ(pipe(p), 0);
    EXPECT_FALSE(wait_for_input(p[0])); // the key stays seen until the next scope
    close(p[0]);
    close(p[1]);
}

TEST(Interrupt, a_key_before_the_wait_counts_and_the_next_scope_starts_clean) {
    {
        InterruptScope scope;
        kill(getpid(), SIGINT);
        EXPECT_FALSE(interruptible_sleep(1e8));
    }
    EXPECT_TRUE(attention_requested(kAttendInterrupt));
    InterruptScope next;
    EXPECT_FALSE(attention_requested(kAttendInterrupt));
    EXPECT_TRUE(interruptible_sleep(20));
    int p[2];
    ASSERT_EQ(pipe(p), 0);
    ASSERT_EQ(write(p[1], "x", 1), 1);
    EXPECT_TRUE(wait_for_input(p[0]));
    close(p[0]);
    close(p[1]);
}

TEST(Interrupt, outside_a_scope_the_old_handling_stays) {
    struct sigaction before = {};
    sigaction(SIGINT, nullptr, &before);
    { InterruptScope scope; }
    struct sigaction after = {};
    sigaction(SIGINT, nullptr, &after);
    EXPECT_EQ(before.sa_handler, after.sa_handler);
    auto start = Clock::now();
    EXPECT_TRUE(interruptible_sleep(50));
    EXPECT_GE(seconds_since(start), 0.045);
    EXPECT_TRUE(wait_for_input(0)); // no scope: the caller's read does the waiting
}

} // namespace
