#pragma once
// Deterministic pseudo-random content: the same seed gives the same disc on every platform.
#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

namespace kavrel::mkdisc {

class Filler {
  public:
    explicit Filler(uint32_t seed);

    // A number in [low, high], from the raw engine output (the standard distributions are not
    // the same on every library).
    uint32_t between(uint32_t low, uint32_t high);

    // Appends n bytes that are never zero, so that no start code can appear inside coded data.
    void appendNonZero(std::vector<uint8_t>& out, std::size_t n);

    // Advances exactly as appendNonZero(n) would, without making the bytes: a builder whose
    // content no longer comes from the filler keeps the draws of the streams after it as they
    // were.
    void pass(std::size_t n);

  private:
    std::mt19937 engine_;
    std::vector<uint8_t> block_;  // pre-drawn non-zero bytes, copied in large runs for speed
    std::size_t cursor_ = 0;
};

}  // namespace kavrel::mkdisc
