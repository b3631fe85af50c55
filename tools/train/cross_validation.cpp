#include "train/cross_validation.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <numeric>
#include <random>

#include "train/detection_simulation.hpp"

namespace scenetext::training {
namespace {

// The sample standard deviation (n - 1); 0 for fewer than two values.
double standardDeviation(const std::vector<double>& values) {
  if (values.size() < 2) return 0.0;
  const double mean =
      std::accumulate(values.begin(), values.end(), 0.0) / static_cast<double>(values.size());
  double squares = 0.0;
  for (double value : values) squares += (value - mean) * (value - mean);
  return std::sqrt(squares / static_cast<double>(values.size() - 1));
}

}  // namespace

TrainingSamples gatherSamples(std::span<const ImageSamples* const> images) {
  TrainingSamples samples;
  for (const ImageSamples* image : images) {
    for (size_t k = 0; k < image->size(); ++k) {
      if (image->labels[k] == SampleLabel::Unsure) continue;
      samples.add(image->featuresOf(k), static_cast<int8_t>(image->labels[k]));
    }
  }
  return samples;
}

std::vector<int> assignFolds(size_t count, int folds, uint64_t seed) {
  std::vector<size_t> order(count);
  std::iota(order.begin(), order.end(), size_t{0});
  std::mt19937_64 random(seed);
  // Fisher-Yates by explicit arithmetic rather than std::shuffle, whose draws vary by library.
  for (size_t i = count; i > 1; --i)
    std::swap(order[i - 1], order[static_cast<size_t>(random() % i)]);
  std::vector<int> fold(count);
  for (size_t position = 0; position < count; ++position) {
    fold[order[position]] = static_cast<int>(position % static_cast<size_t>(folds));
  }
  return fold;
}

Result<std::vector<FoldResult>> crossValidate(std::span<const ImageSamples> folded,
                                              std::span<const ImageSamples> alwaysTrained,
                                              int folds, int repeats, const CascadeOptions& options,
                                              const TrainingProgress& progress) {
  if (folds < 2) return Status::error("cross-validation needs at least 2 folds");
  if (repeats < 1) return Status::error("cross-validation needs at least 1 repeat");
  if (folded.size() < static_cast<size_t>(folds)) {
    return Status::error("cannot deal " + std::to_string(folded.size()) + " images into " +
                         std::to_string(folds) + " folds");
  }
  std::vector<FoldResult> results;
  for (int repeat = 0; repeat < repeats; ++repeat) {
    const std::vector<int> foldOf =
        assignFolds(folded.size(), folds, options.seed + static_cast<uint64_t>(repeat));
    for (int fold = 0; fold < folds; ++fold) {
      FoldResult result;
      result.repeat = repeat;
      result.fold = fold;
      std::vector<const ImageSamples*> training, heldOut;
      for (size_t i = 0; i < folded.size(); ++i) {
        if (foldOf[i] == fold) result.heldOut.push_back(i);
        (foldOf[i] == fold ? heldOut : training).push_back(&folded[i]);
      }
      for (const ImageSamples& image : alwaysTrained) training.push_back(&image);
      if (progress) {
        progress("cross-validation: repeat " + std::to_string(repeat + 1) + ", fold " +
                 std::to_string(fold + 1) + " of " + std::to_string(folds) + " (" +
                 std::to_string(heldOut.size()) + " images held out)");
      }
      const auto start = std::chrono::steady_clock::now();
      Result<TrainedCascade> trained = trainCascade(gatherSamples(training), options, progress);
      if (!trained.ok()) return trained.status();
      result.seconds =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      result.prefixes = scorePrefixes(heldOut, trained->cascade);
      result.trained = std::move(trained).value();
      results.push_back(std::move(result));
    }
  }
  return results;
}

PrefixSummary summarizePrefix(std::span<const FoldResult> folds, size_t prefix, int repeats) {
  PrefixSummary summary;
  std::vector<double> fs, repeatFs;
  double pooledP = 0.0, pooledR = 0.0;
  const size_t perRepeat = folds.size() / static_cast<size_t>(repeats);
  for (int repeat = 0; repeat < repeats; ++repeat) {
    evaluation::Tally pooled;
    for (size_t k = 0; k < perRepeat; ++k) {
      const FoldResult& fold = folds[static_cast<size_t>(repeat) * perRepeat + k];
      const evaluation::Tally& tally = fold.prefixes[std::min(prefix, fold.prefixes.size() - 1)];
      pooled += tally;
      fs.push_back(evaluation::scoresOf(tally).f);
    }
    const evaluation::Scores scores = evaluation::scoresOf(pooled);
    pooledP += scores.precision;
    pooledR += scores.recall;
    repeatFs.push_back(scores.f);
  }
  summary.pooled.precision = pooledP / repeats;
  summary.pooled.recall = pooledR / repeats;
  const double sum = summary.pooled.precision + summary.pooled.recall;
  summary.pooled.f = sum > 0.0 ? 2.0 * summary.pooled.precision * summary.pooled.recall / sum : 0.0;
  summary.meanF = std::accumulate(fs.begin(), fs.end(), 0.0) / static_cast<double>(fs.size());
  summary.sdF = standardDeviation(fs);
  summary.repeatSdF = standardDeviation(repeatFs);
  summary.minF = *std::min_element(fs.begin(), fs.end());
  summary.maxF = *std::max_element(fs.begin(), fs.end());
  return summary;
}

}  // namespace scenetext::training
