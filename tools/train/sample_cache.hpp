#pragma once

// The sample cache: the distinct candidate rectangles of every image seen and their feature
// vectors, so that retraining with other settings, folds or extra folders computes only what is
// new. Labels are not cached (they are cheap and depend on the label rule).
//
// One binary file, native byte order: "STRNCACH", a format version, the key, the entry count,
// then per entry its identity, the reduction factor, the WorkingImage size, the rectangle count,
// the rectangles (x, y, width, height as int32) and kFeatureCount float32 per rectangle.
// The key changes whenever the candidate or feature code could give other values: it hashes a
// version constant, the candidate source's name, and the candidates and feature vectors of a
// fixed probe image computed at start-up. A file with another key is stale and ignored whole.

#include <opencv2/core.hpp>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "common/status.hpp"
#include "train/candidate_source.hpp"

namespace scenetext::training {

// The candidates of one image and their features, as computed once.
struct CandidateFeatures {
  int factor = 1;  // reduction of the input image to the WorkingImage
  int width = 0;   // WorkingImage size
  int height = 0;
  std::vector<cv::Rect> rects;  // distinct, in order of first appearance
  std::vector<float> features;  // rects.size() * kFeatureCount, row k belongs to rects[k]
};

struct SampleCache {
  uint64_t key = 0;
  std::map<std::string, CandidateFeatures> entries;  // by imageIdentity
};

// The probe-based key for `source` (runs the source and the feature code once on a small
// generated image).
uint64_t sampleCacheKey(const CandidateSource& source);

// "canonical path|size|modification time": a file replaced or touched gets a new identity.
// Empty when the file cannot be looked at.
std::string imageIdentity(const std::string& path);

// Reads the cache at `path`. A missing file, or one with another key, gives an empty cache with
// `expectedKey` and `stale` telling which. A file that cannot be read or is damaged is an error.
struct CacheReading {
  SampleCache cache;
  bool stale = false;
};
Result<CacheReading> readSampleCache(const std::string& path, uint64_t expectedKey);

// The cache's bytes in the file format above, and writing them atomically to `path`.
std::string formatSampleCache(const SampleCache& cache);
Status writeSampleCache(const std::string& path, const SampleCache& cache);

}  // namespace scenetext::training
