#pragma once

// Samples: the distinct candidate rectangles of every training image, their feature vectors and
// their labels, gathered in parallel over images and kept in the sample cache.

#include <opencv2/core.hpp>

#include <functional>
#include <span>
#include <string>
#include <vector>

#include "common/status.hpp"
#include "eval/box_files.hpp"
#include "train/candidate_source.hpp"
#include "train/sample_cache.hpp"
#include "train/sample_labels.hpp"
#include "train/training_images.hpp"

namespace scenetext::training {

// One image's samples: its candidates in WorkingImage coordinates with their features and labels.
struct ImageSamples {
  TrainingImage image;
  CandidateFeatures candidates;
  std::vector<evaluation::WordBox> words;  // ground truth, input-image coordinates
  std::vector<SampleLabel> labels;         // one per candidate; all NotText for a text-free image

  size_t size() const { return candidates.rects.size(); }
  std::span<const float> featuresOf(size_t k) const;
};

// What a detection run computes for the image at `path`: the colour load, the padding and
// reduction, the candidates of `source`, kept once each, and their feature vectors.
// Fails when the image cannot be read.
Result<CandidateFeatures> computeCandidateFeatures(const std::string& path,
                                                   const CandidateSource& source);

struct CollectionOptions {
  CandidateSource source = exactCandidateSource();
  LabelRule rule;
  int jobs = 1;           // worker threads
  std::string cachePath;  // empty: no cache
};

struct CollectionReport {
  size_t computed = 0;      // images whose features were computed now
  size_t fromCache = 0;     // images found in the cache
  bool staleCache = false;  // the cache was made by other candidate or feature code and ignored
  bool cacheWritten = false;
};

// Progress messages ("features: 120 of 171 images"), for a person watching; may be called from
// worker threads, one call at a time.
using Progress = std::function<void(const std::string&)>;

// The samples of every image, in the order given (independent of `jobs`). Reads the ground truth
// first, so a broken file stops the run before any work; fails on the first image that cannot be
// read. With a cache path, computed images are added to the cache, which is written atomically
// (entries of images not used in this run are kept).
Result<std::vector<ImageSamples>> collectSamples(const std::vector<TrainingImage>& images,
                                                 const CollectionOptions& options,
                                                 const Progress& progress = {},
                                                 CollectionReport* report = nullptr);

// Labels every candidate of `samples` against its words (text-free images: all NotText).
void labelSamples(ImageSamples& samples, const LabelRule& rule);

}  // namespace scenetext::training
