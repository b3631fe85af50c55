#include "train/cascade_training.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <numeric>
#include <random>
#include <thread>

namespace scenetext::training {
namespace {

using classifier::kFeatureCount;
using classifier::StumpRecord;

// A weighted error this close to 0 gives a vote weight of about 11.5: a stump that separates its
// samples perfectly still has a finite, writable weight.
constexpr double kMinError = 1e-10;
// A best error this close to one half means no stump tells the samples apart.
constexpr double kUselessError = 0.5 - 1e-12;

// NaN first (it never fires, like the smallest value), then ascending.
bool sortsBefore(float a, float b) { return (std::isnan(a) && !std::isnan(b)) || a < b; }

// Where a threshold can separate two neighbours of the sorted order.
bool separable(float lo, float hi) { return (std::isnan(lo) && !std::isnan(hi)) || lo < hi; }

// One stage's samples, each feature sorted once for the whole stage.
struct StageData {
  std::vector<size_t> members;               // indices into the training samples
  std::vector<int8_t> labels;                // per member
  std::vector<std::vector<uint32_t>> order;  // per feature: members' positions by value
  std::vector<std::vector<float>> sorted;    // per feature: the values in that order
};

StageData sortStage(const TrainingSamples& samples, std::vector<size_t> members, int jobs) {
  StageData data;
  data.members = std::move(members);
  const size_t n = data.members.size();
  for (size_t m : data.members) data.labels.push_back(samples.labels[m]);
  data.order.resize(kFeatureCount);
  data.sorted.resize(kFeatureCount);
  auto sortFeature = [&](int f) {
    std::vector<float> values(n);
    for (size_t i = 0; i < n; ++i) values[i] = samples.row(data.members[i])[static_cast<size_t>(f)];
    std::vector<uint32_t>& order = data.order[static_cast<size_t>(f)];
    order.resize(n);
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(),
                     [&](uint32_t a, uint32_t b) { return sortsBefore(values[a], values[b]); });
    std::vector<float>& sorted = data.sorted[static_cast<size_t>(f)];
    sorted.resize(n);
    for (size_t j = 0; j < n; ++j) sorted[j] = values[order[j]];
  };
  std::vector<std::thread> workers;
  for (int t = 0; t < jobs; ++t) {
    workers.emplace_back([&, t] {
      for (int f = t; f < kFeatureCount; f += jobs) sortFeature(f);
    });
  }
  for (std::thread& worker : workers) worker.join();
  return data;
}

struct StumpChoice {
  int featureIndex = -1;
  int polarity = 1;
  float threshold = 0.0f;
  double error = 1.0;
};

// The split of one feature with the least weighted error. Polarity +1 calls the samples at and
// above the split text: its error is the positive weight below plus the negative weight above.
StumpChoice bestSplit(const StageData& data, const std::vector<double>& weights,
                      double positiveTotal, double negativeTotal, int f) {
  const std::vector<uint32_t>& order = data.order[static_cast<size_t>(f)];
  const std::vector<float>& sorted = data.sorted[static_cast<size_t>(f)];
  StumpChoice best;
  best.featureIndex = f;
  double positiveBelow = 0.0;
  double negativeBelow = 0.0;
  size_t bestSplit = 0;
  for (size_t j = 0; j < order.size(); ++j) {
    if (j > 0 && separable(sorted[j - 1], sorted[j])) {
      const double plus = positiveBelow + (negativeTotal - negativeBelow);
      const double minus = (positiveTotal - positiveBelow) + negativeBelow;
      if (plus < best.error) {
        best.error = plus;
        best.polarity = 1;
        bestSplit = j;
      }
      if (minus < best.error) {
        best.error = minus;
        best.polarity = -1;
        bestSplit = j;
      }
    }
    const uint32_t i = order[j];
    (data.labels[i] > 0 ? positiveBelow : negativeBelow) += weights[i];
  }
  if (bestSplit == 0) {
    best.featureIndex = -1;  // a constant feature has no split
    return best;
  }
  best.threshold = splitThreshold(sorted[bestSplit - 1], sorted[bestSplit]);
  return best;
}

// The best stump over all features; ties go to the lower feature index.
StumpChoice searchStump(const StageData& data, const std::vector<double>& weights, int jobs) {
  double positiveTotal = 0.0, negativeTotal = 0.0;
  for (size_t i = 0; i < weights.size(); ++i)
    (data.labels[i] > 0 ? positiveTotal : negativeTotal) += weights[i];
  std::vector<StumpChoice> perFeature(kFeatureCount);
  std::vector<std::thread> workers;
  for (int t = 0; t < jobs; ++t) {
    workers.emplace_back([&, t] {
      for (int f = t; f < kFeatureCount; f += jobs) {
        perFeature[static_cast<size_t>(f)] =
            bestSplit(data, weights, positiveTotal, negativeTotal, f);
      }
    });
  }
  for (std::thread& worker : workers) worker.join();
  StumpChoice best;
  for (const StumpChoice& choice : perFeature) {
    if (choice.featureIndex >= 0 && choice.error < best.error) best = choice;
  }
  return best;
}

bool fires(float value, float threshold) { return value >= threshold; }

// The stump's answer, +1 (text) or -1, as the evaluator counts its vote.
int stumpOutput(const StumpRecord& stump, float value) {
  const bool fired = fires(value, stump.threshold);
  return (stump.polarity == 1) == fired ? 1 : -1;
}

struct StageResult {
  classifier::CascadeStage stage;
  StageReport report;
};

double rate(size_t count, size_t total) {
  return total == 0 ? 0.0 : static_cast<double>(count) / total;
}

// The chosen split as a stump record with its vote weight, and its answer on every member. The
// error is counted afresh with the single-precision threshold as written.
StumpRecord weighStump(const StumpChoice& choice, const TrainingSamples& samples,
                       const StageData& data, const std::vector<double>& weights,
                       std::vector<int>& outputs) {
  StumpRecord stump =
      classifier::makeStumpRecord(choice.featureIndex, choice.polarity, choice.threshold, 0.0f);
  double error = 0.0;
  for (size_t i = 0; i < data.members.size(); ++i) {
    outputs[i] =
        stumpOutput(stump, samples.row(data.members[i])[static_cast<size_t>(choice.featureIndex)]);
    if (outputs[i] != data.labels[i]) error += weights[i];
  }
  error = std::clamp(error, kMinError, 1.0 - kMinError);
  stump.weight = static_cast<float>(0.5 * std::log((1.0 - error) / error));
  stump.extra = static_cast<float>(error);
  return stump;
}

// Adds the stump's vote to every stage sum (exactly the evaluator's vote and rounding) and moves
// the AdaBoost weights towards the members it gets wrong.
void applyStump(const StumpRecord& stump, const std::vector<int>& outputs, const StageData& data,
                std::vector<float>& sums, std::vector<double>& weights) {
  double total = 0.0;
  for (size_t i = 0; i < sums.size(); ++i) {
    sums[i] += outputs[i] == 1 ? stump.weight : -stump.weight;
    weights[i] *= std::exp(-static_cast<double>(stump.weight) * data.labels[i] * outputs[i]);
    total += weights[i];
  }
  for (double& weight : weights) weight /= total;
}

// The stage threshold for the sums so far, and the rates it gives.
float measureStage(const std::vector<float>& sums, const StageData& data, double minHitRate,
                   StageReport& report) {
  std::vector<float> positiveSums;
  for (size_t i = 0; i < sums.size(); ++i) {
    if (data.labels[i] > 0) positiveSums.push_back(sums[i]);
  }
  const size_t positives = positiveSums.size();
  const float threshold = stageThreshold(std::move(positiveSums), minHitRate);
  size_t hits = 0, falsePositives = 0;
  for (size_t i = 0; i < sums.size(); ++i) {
    if (sums[i] >= threshold) (data.labels[i] > 0 ? hits : falsePositives) += 1;
  }
  report.hitRate = rate(hits, positives);
  report.falsePositiveRate = rate(falsePositives, sums.size() - positives);
  report.positives = static_cast<int>(positives);
  report.negatives = static_cast<int>(sums.size() - positives);
  return threshold;
}

// Adds stumps until the false-positive rate falls below the target or the stage is full.
StageResult trainStage(const TrainingSamples& samples, const StageData& data,
                       const CascadeOptions& options, const TrainingProgress& progress,
                       int stageNumber) {
  const size_t n = data.members.size();
  const size_t positives =
      static_cast<size_t>(std::count(data.labels.begin(), data.labels.end(), 1));
  // Half the weight on each class, whatever their counts.
  std::vector<double> weights(n);
  for (size_t i = 0; i < n; ++i)
    weights[i] = data.labels[i] > 0 ? 0.5 / positives : 0.5 / (n - positives);
  std::vector<float> sums(n, 0.0f);
  std::vector<int> outputs(n);

  StageResult result;
  float threshold = 0.0f;
  while (static_cast<int>(result.stage.size()) < options.maxStumpsPerStage) {
    const StumpChoice choice = searchStump(data, weights, options.jobs);
    if (choice.featureIndex < 0 || choice.error >= kUselessError) break;
    const StumpRecord stump = weighStump(choice, samples, data, weights, outputs);
    result.stage.push_back(stump);
    applyStump(stump, outputs, data, sums, weights);
    threshold = measureStage(sums, data, options.minHitRate, result.report);
    result.report.stumps = static_cast<int>(result.stage.size());
    if (progress && result.stage.size() % 10 == 0) {
      char line[160];
      std::snprintf(line, sizeof(line), "stage %d: %zu stumps, false-positive rate %.4f",
                    stageNumber, result.stage.size(), result.report.falsePositiveRate);
      progress(line);
    }
    if (result.report.falsePositiveRate < options.maxFalsePositiveRate) {
      result.report.reachedTarget = true;
      break;
    }
  }
  if (!result.stage.empty()) result.stage.push_back(classifier::makeThresholdRecord(threshold));
  return result;
}

// The members of the next stage: every surviving positive, and the surviving negatives or, when
// there are more than options.maxNegatives, that many of them drawn at random (kept in order).
std::vector<size_t> stageMembers(const TrainingSamples& samples, const std::vector<size_t>& alive,
                                 const CascadeOptions& options, std::mt19937_64& random) {
  std::vector<size_t> positives, negatives;
  for (size_t i : alive) (samples.labels[i] > 0 ? positives : negatives).push_back(i);
  if (options.maxNegatives > 0 && negatives.size() > static_cast<size_t>(options.maxNegatives)) {
    // A partial Fisher-Yates shuffle by explicit arithmetic, the same on every standard library.
    for (size_t k = 0; k < static_cast<size_t>(options.maxNegatives); ++k) {
      const size_t pick = k + static_cast<size_t>(random() % (negatives.size() - k));
      std::swap(negatives[k], negatives[pick]);
    }
    negatives.resize(static_cast<size_t>(options.maxNegatives));
    std::sort(negatives.begin(), negatives.end());
  }
  std::vector<size_t> members;
  std::merge(positives.begin(), positives.end(), negatives.begin(), negatives.end(),
             std::back_inserter(members));
  return members;
}

Status checkOptions(const CascadeOptions& options) {
  if (options.maxStages < 1) return Status::error("the number of stages must be at least 1");
  if (!(options.minHitRate > 0.0 && options.minHitRate <= 1.0)) {
    return Status::error("the minimum hit rate must lie in (0, 1]");
  }
  if (!(options.maxFalsePositiveRate > 0.0 && options.maxFalsePositiveRate <= 1.0)) {
    return Status::error("the false-positive target must lie in (0, 1]");
  }
  if (options.maxStumpsPerStage < 1)
    return Status::error("a stage must be allowed at least 1 stump");
  if (options.minNegatives < 1) return Status::error("the minimum of negatives must be at least 1");
  if (options.maxNegatives < 0)
    return Status::error("the maximum of negatives must not be negative");
  if (options.jobs < 1) return Status::error("at least 1 job is needed");
  return {};
}

}  // namespace

std::span<const float> TrainingSamples::row(size_t i) const {
  return std::span<const float>(features).subspan(i * kFeatureCount, kFeatureCount);
}

void TrainingSamples::add(std::span<const float> featureVector, int8_t label) {
  features.insert(features.end(), featureVector.begin(), featureVector.end());
  labels.push_back(label);
}

float stageSum(std::span<const StumpRecord> stumps, std::span<const float> features) {
  float sum = 0.0f;
  for (const StumpRecord& stump : stumps) {
    sum += stumpOutput(stump, features[static_cast<size_t>(stump.featureIndex)]) == 1
               ? stump.weight
               : -stump.weight;
  }
  return sum;
}

float splitThreshold(float lo, float hi) {
  if (std::isnan(lo)) return hi;
  // The middle in double is exact for two floats; its rounding may land on either end.
  const float middle =
      static_cast<float>((static_cast<double>(lo) + static_cast<double>(hi)) / 2.0);
  if (middle <= lo) return std::nextafter(lo, hi);
  if (middle > hi) return hi;
  return middle;
}

float stageThreshold(std::vector<float> positiveSums, double minHitRate) {
  std::sort(positiveSums.begin(), positiveSums.end());
  const size_t total = positiveSums.size();
  // The fewest positives that must pass: the smallest count whose share is at least minHitRate.
  size_t needed = static_cast<size_t>(std::ceil(minHitRate * static_cast<double>(total)));
  while (needed > 0 && static_cast<double>(needed - 1) / static_cast<double>(total) >= minHitRate)
    --needed;
  while (needed < total && static_cast<double>(needed) / static_cast<double>(total) < minHitRate)
    ++needed;
  needed = std::clamp<size_t>(needed, 1, total);
  return positiveSums[total - needed];
}

std::string stageHeader(int stageNumber, const StageReport& report) {
  char line[200];
  std::snprintf(
      line, sizeof(line),
      "stage %d: %d stumps, hit rate %.4f, false-positive rate %.4f, %d positives, %d negatives",
      stageNumber, report.stumps, report.hitRate, report.falsePositiveRate, report.positives,
      report.negatives);
  return line;
}

std::vector<std::string> stageHeaders(const TrainedCascade& trained,
                                      std::string_view candidateMode) {
  std::vector<std::string> headers;
  for (size_t k = 0; k < trained.stages.size(); ++k) {
    headers.push_back(stageHeader(static_cast<int>(k + 1), trained.stages[k]));
  }
  if (!headers.empty()) headers.front() += "; candidates: " + std::string(candidateMode);
  return headers;
}

Result<TrainedCascade> trainCascade(const TrainingSamples& samples, const CascadeOptions& options,
                                    const TrainingProgress& progress) {
  if (Status valid = checkOptions(options); !valid.ok()) return valid;
  const size_t positives =
      static_cast<size_t>(std::count(samples.labels.begin(), samples.labels.end(), 1));
  if (positives == 0) return Status::error("no text samples to train on");
  if (positives == samples.size()) return Status::error("no non-text samples to train on");

  TrainedCascade trained;
  trained.stagesPassed.assign(samples.size(), 0);
  std::vector<size_t> alive(samples.size());
  std::iota(alive.begin(), alive.end(), size_t{0});
  std::mt19937_64 random(options.seed);
  trained.stopReason = "reached " + std::to_string(options.maxStages) + " stages";
  for (int stageNumber = 1; stageNumber <= options.maxStages; ++stageNumber) {
    size_t alivePositives = 0;
    for (size_t i : alive) alivePositives += samples.labels[i] > 0 ? 1 : 0;
    const size_t aliveNegatives = alive.size() - alivePositives;
    if (aliveNegatives < static_cast<size_t>(options.minNegatives)) {
      trained.stopReason = "only " + std::to_string(aliveNegatives) +
                           " negatives left (fewer than " + std::to_string(options.minNegatives) +
                           ")";
      break;
    }
    if (alivePositives == 0) {
      trained.stopReason = "no positives left";
      break;
    }
    const auto start = std::chrono::steady_clock::now();
    const StageData data =
        sortStage(samples, stageMembers(samples, alive, options, random), options.jobs);
    StageResult stage = trainStage(samples, data, options, progress, stageNumber);
    if (stage.stage.empty()) {
      trained.stopReason = "no stump tells the remaining samples apart";
      break;
    }
    stage.report.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // Every surviving sample, trained on or not, meets the new stage with the evaluator's sums.
    const std::span<const StumpRecord> stumps =
        std::span(stage.stage).first(stage.stage.size() - 1);
    const float threshold = stage.stage.back().threshold;
    std::vector<size_t> survivors;
    for (size_t i : alive) {
      if (stageSum(stumps, samples.row(i)) >= threshold) {
        survivors.push_back(i);
        trained.stagesPassed[i] = stageNumber;
      }
    }
    alive = std::move(survivors);
    trained.cascade.push_back(std::move(stage.stage));
    trained.stages.push_back(stage.report);
    if (progress) progress(stageHeader(stageNumber, stage.report));
  }
  return trained;
}

}  // namespace scenetext::training
