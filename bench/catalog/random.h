// A fixed, portable random number generator (SplitMix64) for the catalog benchmarks:
// the standard distributions differ between library versions, these numbers never do.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

namespace melodock::bench {

class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  double unit() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
  std::size_t below(std::size_t n) {
    return static_cast<std::size_t>(unit() * static_cast<double>(n));
  }
  bool chance(double p) { return unit() < p; }
  // Skewed towards 0: a few items get most of the picks, as with real popularity.
  std::size_t skewed(std::size_t n, double power) {
    return std::min(n - 1,
                    static_cast<std::size_t>(std::pow(unit(), power) * static_cast<double>(n)));
  }

 private:
  std::uint64_t state_;
};

}  // namespace melodock::bench
