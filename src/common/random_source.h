// The program's pseudo-random integers 0..32767, behind an interface so tests and tools choose the draws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

// One source of draws 0..32767. The scene owns the process-wide one; the generator and the playlist
// draw from whatever source they are handed.
class RandomSource {
public:
    virtual ~RandomSource() = default;
    virtual void seed(uint32_t seed) = 0;  // like srand: restarts the sequence
    virtual int next() = 0;                // like rand: 0..32767
};

// The classic C-library linear congruential generator (state * 214013 + 2531011, bits 16..30),
// the same sequence on every platform, so a seed names one run everywhere.
class LcgRandom final : public RandomSource {
public:
    explicit LcgRandom(uint32_t seed = 1) : state_(seed) {}
    void seed(uint32_t seed) override { state_ = seed; }
    int next() override {
        state_ = state_ * 214013u + 2531011u;
        return static_cast<int>((state_ >> 16) & 0x7FFFu);
    }

private:
    uint32_t state_;  // generator state; wraps modulo 2^32
};

// A scripted source for tests: returns the given values in order, then repeats the last one.
// Counts how many draws were made.
class ScriptedRandom final : public RandomSource {
public:
    ScriptedRandom(std::initializer_list<int> values) : values_(values) {}
    void seed(uint32_t) override { ++seeds; }
    int next() override {
        int v = values_.empty() ? 0 : values_[draws < values_.size() ? draws : values_.size() - 1];
        ++draws;
        return v;
    }
    size_t draws = 0;  // number of next() calls so far
    int seeds = 0;     // number of seed() calls so far

private:
    std::vector<int> values_;
};
