// The evaluator's one poll point.
//
// Whoever needs the evaluator's attention between two steps of a script sets a bit of one
// process-wide word: the collector when the object count reaches its threshold, a signal
// handler when the user interrupts a talk-mode line, a harness that bounds the steps of a
// run.  The evaluator tests the whole word at every step (one load on the fast path) and
// goes out of line only when a bit is set.  Bits are set and cleared with single atomic
// instructions, so a signal handler on any thread cannot lose a bit the main thread clears.
#pragma once

#include <atomic>
#include <cstdint>

namespace ruvo {

enum : uint32_t {
    kAttendCollect = 1u,   // the object count reached the collector's threshold
    kAttendInterrupt = 2u, // the running line is to stop (talk mode's Ctrl-C)
    kAttendBudget = 4u,    // every step counts against a step budget
};

extern std::atomic<uint32_t> attention;

inline void request_attention(uint32_t bits) {
    attention.fetch_or(bits, std::memory_order_relaxed);
}
inline void clear_attention(uint32_t bits) {
    attention.fetch_and(~bits, std::memory_order_relaxed);
}
inline bool attention_requested(uint32_t bits) {
    return (attention.load(std::memory_order_relaxed) & bits) != 0;
}

static_assert(std::atomic<uint32_t>::is_always_lock_free, "the word is set from signal handlers");

} // namespace ruvo
