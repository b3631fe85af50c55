#include "synth/random.hpp"

#include <cmath>

namespace scenetext::synth {
namespace {

// splitmix64's output function (Steele, Lea and Flood 2014): a bijection on 64 bits whose output
// bits each depend on every input bit.
std::uint64_t mix(std::uint64_t x) {
  x += 0x9E3779B97F4A7C15ULL;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
  return x ^ (x >> 31);
}

}  // namespace

std::uint64_t imageSeed(std::uint64_t seed, std::uint64_t index) { return mix(mix(seed) ^ index); }

double Random::uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }

int Random::uniformInt(int lo, int hi) {
  const auto range = static_cast<unsigned __int128>(static_cast<std::int64_t>(hi) - lo + 1);
  return lo + static_cast<int>((static_cast<unsigned __int128>(next()) * range) >> 64);
}

double Random::logUniform(double lo, double hi) {
  return std::exp(uniform(std::log(lo), std::log(hi)));
}

int Random::weighted(const std::vector<double>& weights) {
  double total = 0.0;
  for (double w : weights) total += w;
  double target = uniform() * total;
  for (std::size_t i = 0; i < weights.size(); ++i) {
    if (target < weights[i]) return static_cast<int>(i);
    target -= weights[i];
  }
  // Rounding can leave the target just past the last positive weight.
  for (std::size_t i = weights.size(); i-- > 0;) {
    if (weights[i] > 0.0) return static_cast<int>(i);
  }
  return 0;
}

}  // namespace scenetext::synth
