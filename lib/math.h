// Process-wide state of the math built-ins: the pseudo-random generator behind srand(),
// random() and rand().
//
// The generator is a 32-bit Mersenne Twister with the published seeding and tempering.  Until
// a script seeds it, `index` holds kUnseeded and the first draw seeds it with 5489, so every
// run that never calls srand() draws the same sequence.  Only the interpreter thread touches
// it; there is no lock.
#pragma once

#include <cstdint>

namespace ruvo {

class Mt19937 {
public:
    static constexpr int kWords = 624;
    static constexpr int kUnseeded = kWords + 1;

    // Fills the state from `s`; the next draw regenerates it.
    void seed(uint32_t s);
    // The next tempered output; seeds with 5489 first when nothing has seeded the state.
    uint32_t next();
    // Back to the state of a fresh process (for tests).
    void reset() { index_ = kUnseeded; }

private:
    void regenerate();

    uint32_t state_[kWords] = {};
    int index_ = kUnseeded; // next word to temper; kWords: regenerate first
};

struct MathState {
    Mt19937 generator;
};

extern MathState math_state;

} // namespace ruvo
