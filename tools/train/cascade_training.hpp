#pragma once

// Training of the rejection cascade: stages of decision stumps chosen by discrete AdaBoost with an
// exhaustive threshold search over every feature, each stage closed by the threshold that keeps a
// minimum hit rate on its positives. Stage sums are formed exactly as the evaluator forms them (a
// single-precision sum rounded after every vote, in stump order), so the decisions the trainer
// counts are the decisions the written model makes.

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "classifier/stump_cascade.hpp"
#include "common/status.hpp"

namespace scenetext::training {

// Labelled feature vectors, row-major: sample i is features[i * kFeatureCount ...], labels[i] is
// +1 (text) or -1 (not text).
struct TrainingSamples {
  std::vector<float> features;
  std::vector<int8_t> labels;

  size_t size() const { return labels.size(); }
  std::span<const float> row(size_t i) const;
  void add(std::span<const float> featureVector, int8_t label);
};

struct CascadeOptions {
  int maxStages = 10;
  double minHitRate = 0.995;          // of the stage's own positives, kept by its threshold
  double maxFalsePositiveRate = 0.5;  // a stage adds stumps until its rate falls below this
  int maxStumpsPerStage = 100;        // ... or it holds this many
  int minNegatives = 100;             // no stage is trained on fewer negatives than this
  int maxNegatives = 0;  // a stage trains on at most this many (drawn at random); 0: all
  uint64_t seed = 1;     // for the draw of negatives
  int jobs = 1;          // threads for the stump search
};

struct StageReport {
  int stumps = 0;
  double hitRate = 0.0;            // on the stage's training positives
  double falsePositiveRate = 0.0;  // on the stage's training negatives
  int positives = 0;
  int negatives = 0;
  bool reachedTarget = false;  // the false-positive rate fell below the target
  double seconds = 0.0;
};

struct TrainedCascade {
  classifier::StumpCascade cascade;
  std::vector<StageReport> stages;
  // Per training sample, how many leading stages accept it, by the trainer's own stage sums.
  std::vector<int> stagesPassed;
  std::string stopReason;
};

using TrainingProgress = std::function<void(const std::string&)>;

// Trains up to options.maxStages stages. Fails when there is no positive or no negative sample,
// or an option is out of range. Stops early (saying why in stopReason) when fewer than
// options.minNegatives negatives or no positives pass the stages so far, or when no stump can
// tell the remaining samples apart.
Result<TrainedCascade> trainCascade(const TrainingSamples& samples, const CascadeOptions& options,
                                    const TrainingProgress& progress = {});

// "stage K: N stumps, hit rate H, false-positive rate F, P positives, N negatives"
std::string stageHeader(int stageNumber, const StageReport& report);
// Every stage's header; the first one ends in "; candidates: MODE", the candidate mode (the
// detector's --candidates name) the cascade was trained for, which the detector reads back to
// warn about a mismatch.
std::vector<std::string> stageHeaders(const TrainedCascade& trained,
                                      std::string_view candidateMode);

// The sum of one stage's stumps on one feature vector, exactly as the evaluator forms it.
float stageSum(std::span<const classifier::StumpRecord> stumps, std::span<const float> features);

// A threshold t between two neighbouring distinct feature values, lo < t <= hi in single
// precision, near their middle: samples at lo do not fire, samples at hi do. A NaN `lo` (NaN never
// fires) gives hi.
float splitThreshold(float lo, float hi);

// The largest threshold that at least `minHitRate` of `positiveSums` reach (sum >= threshold):
// one of the sums itself. `positiveSums` must not be empty.
float stageThreshold(std::vector<float> positiveSums, double minHitRate);

}  // namespace scenetext::training
