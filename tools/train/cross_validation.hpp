#pragma once

// Cross-validation over images: the labelled images are dealt into folds at random, each fold is
// held out once while the cascade trains on the others (plus the images that are always trained
// on, such as synthetic or text-free ones), and every prefix of each cascade is scored on its
// held-out fold by simulated detection. Images, not samples, are split: candidates of one photo
// overlap and look alike, and must not sit on both sides.

#include <cstdint>
#include <span>
#include <vector>

#include "common/status.hpp"
#include "eval/scoring.hpp"
#include "train/cascade_training.hpp"
#include "train/sample_collection.hpp"

namespace scenetext::training {

// The labelled samples (Text and NotText; Unsure ones are left out) of `images`, image by image.
TrainingSamples gatherSamples(std::span<const ImageSamples* const> images);

// The fold (0..folds-1) of each of `count` images: a seeded shuffle dealt round robin, so fold
// sizes differ by at most one. The same seed gives the same folds on every standard library.
std::vector<int> assignFolds(size_t count, int folds, uint64_t seed);

struct FoldResult {
  int repeat = 0;                           // 0-based
  int fold = 0;                             // 0-based
  std::vector<size_t> heldOut;              // indices into the folded images, ascending
  std::vector<evaluation::Tally> prefixes;  // element k: the first k stages; 0 accepts everything
  TrainedCascade trained;
  double seconds = 0.0;  // training time
};

// Trains once per fold of every repeat (repeat r shuffles with options.seed + r) and scores the
// held-out fold. Fails when folds < 2, there are fewer images than folds, or a training fails.
Result<std::vector<FoldResult>> crossValidate(std::span<const ImageSamples> folded,
                                              std::span<const ImageSamples> alwaysTrained,
                                              int folds, int repeats, const CascadeOptions& options,
                                              const TrainingProgress& progress = {});

// Scores of one prefix over the folds: pooled over every held-out image of each repeat (averaged
// over repeats), the standard deviation of that pooled F between repeats (how much a score moves
// with the random split), and the mean, standard deviation, least and greatest F of single folds.
// A fold whose cascade is shorter than `prefix` counts with its whole cascade.
struct PrefixSummary {
  evaluation::Scores pooled;
  double repeatSdF = 0.0;
  double meanF = 0.0;
  double sdF = 0.0;
  double minF = 0.0;
  double maxF = 0.0;
};
PrefixSummary summarizePrefix(std::span<const FoldResult> folds, size_t prefix, int repeats);

}  // namespace scenetext::training
