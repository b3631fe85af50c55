#pragma once

// A seeded random stump cascade that behaves like a trained one on real candidates: each stump
// reads a random feature and splits at that feature's value in a random sample vector, and each
// stage threshold lets a chosen fraction of the sample vectors through. The benchmarks and the
// output-digest tool use it until a bundled model exists.

#include <algorithm>
#include <array>
#include <cstdint>
#include <random>
#include <span>
#include <vector>

#include "classifier/stump_cascade.hpp"

namespace scenetext::bench {

using SampleVector = std::array<float, classifier::kFeatureCount>;

struct RandomCascadeShape {
  std::vector<int> stumpsPerStage{3, 6, 12, 24, 40};
  double passFraction = 0.6;  // of the samples that reach a stage, the share that passes it
};

// std::mt19937's raw outputs are fixed by the standard, unlike the distributions: the cascade is
// the same with every standard library.
inline classifier::StumpCascade makeRandomCascade(const std::vector<SampleVector>& samples,
                                                  uint32_t seed,
                                                  const RandomCascadeShape& shape = {}) {
  std::mt19937 rng(seed);
  classifier::StumpCascade cascade;
  if (samples.empty()) return cascade;
  std::vector<const SampleVector*> reaching;
  for (const SampleVector& s : samples) reaching.push_back(&s);
  for (int stumps : shape.stumpsPerStage) {
    classifier::CascadeStage stage;
    for (int k = 0; k < stumps; ++k) {
      const int index = static_cast<int>(rng() % classifier::kFeatureCount);
      const float threshold = samples[rng() % samples.size()][index];
      const int polarity = (rng() & 1) ? 1 : -1;
      const float weight = static_cast<float>(1 + rng() % 1000) / 1000.0f;
      stage.push_back(classifier::makeStumpRecord(index, polarity, threshold, weight));
    }
    // The stage threshold: the sum that the chosen share of the reaching samples attains.
    std::vector<float> sums;
    for (const SampleVector* s : reaching) {
      float sum = 0.0f;
      for (const classifier::StumpRecord& r : stage) {
        const bool fires = (*s)[r.featureIndex] >= r.threshold;
        sum += (fires == (r.polarity == 1)) ? r.weight : -r.weight;
      }
      sums.push_back(sum);
    }
    float stageThreshold = 0.0f;
    if (!sums.empty()) {
      std::sort(sums.begin(), sums.end());
      const size_t at = static_cast<size_t>((1.0 - shape.passFraction) * sums.size());
      stageThreshold = sums[std::min(at, sums.size() - 1)];
    }
    stage.push_back(classifier::makeThresholdRecord(stageThreshold));
    std::erase_if(reaching, [&](const SampleVector* s) {
      return classifier::evaluateStage(std::span(stage).first(stage.size() - 1), s->data(),
                                       stageThreshold) != 1;
    });
    cascade.push_back(std::move(stage));
    // Later stages still need samples to place their thresholds.
    if (reaching.empty()) reaching.push_back(&samples.front());
  }
  return cascade;
}

}  // namespace scenetext::bench
