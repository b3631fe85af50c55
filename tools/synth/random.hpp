#pragma once

// The randomness of one synthetic image. Every image draws from its own generator, seeded by the
// run's seed and the image's index only, so the images do not depend on which worker made them or
// in what order. The mappings from raw 64-bit draws to numbers are written out here rather than
// taken from std::uniform_*_distribution, whose results may change between standard libraries.

#include <cstdint>
#include <random>
#include <vector>

namespace scenetext::synth {

// The seed of image `index` in a run seeded with `seed`: both mixed by the splitmix64 finalizer,
// so neighbouring indices and seeds give unrelated generators.
std::uint64_t imageSeed(std::uint64_t seed, std::uint64_t index);

class Random {
 public:
  explicit Random(std::uint64_t seed) : engine_(seed) {}

  std::uint64_t next() { return engine_(); }
  // Uniform in [0, 1), from the top 53 bits of one draw.
  double uniform();
  // Uniform in [lo, hi).
  double uniform(double lo, double hi) { return lo + (hi - lo) * uniform(); }
  // Uniform among lo..hi inclusive (hi >= lo), by the high half of a 64x64-bit product.
  int uniformInt(int lo, int hi);
  // Uniform in the logarithm between lo and hi (both > 0): small values as likely per octave as
  // large ones.
  double logUniform(double lo, double hi);
  // True with probability p.
  bool chance(double p) { return uniform() < p; }
  // An index drawn with the given non-negative weights (at least one positive).
  int weighted(const std::vector<double>& weights);

 private:
  std::mt19937_64 engine_;
};

}  // namespace scenetext::synth
