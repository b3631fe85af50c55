#include "regions/band_classification.hpp"

#include <algorithm>
#include <cstdlib>

#include "features/region_features.hpp"

namespace scenetext::regions {
namespace {

// Companions are of similar height: the ratio of their height to the seed's, in double, lies in
// this closed range. The lower end is the decimal 0.6667, not two thirds.
constexpr double kMinHeightRatio = 0.6667;
constexpr double kMaxHeightRatio = 1.5;
// The nearest gaps on the two sides may differ by at most this fraction of the seed's width.
constexpr double kGapAsymmetryLimit = 0.5;
constexpr uchar kPainted = 255;

struct SeedGeometry {
  int cx, cy, width, height;
};

SeedGeometry geometryOf(const Box& seed) {
  return {(seed.left + seed.right) / 2, (seed.top + seed.bottom) / 2, seed.right - seed.left + 1,
          seed.bottom - seed.top + 1};
}

}  // namespace

void collectNeighbours(const BoxList& boxes, NeighbourSet& neighbours, const Box& seed,
                       int distanceFactor) {
  const SeedGeometry s = geometryOf(seed);
  for (size_t position = 0; position < boxes.size(); ++position) {
    const Box& box = boxes[position];
    if (box == seed) continue;  // the seed itself, or the other contour of the same stroke
    if (box.top > s.cy || s.cy > box.bottom) continue;
    const int jcx = (box.left + box.right) / 2;
    const int height = box.bottom - box.top + 1;
    const int width = box.right - box.left + 1;
    const double ratio = static_cast<double>(height) / static_cast<double>(s.height);
    if (ratio < kMinHeightRatio || ratio > kMaxHeightRatio) continue;
    // The + 1 makes the reach one column longer to the right than to the left.
    if (std::abs(s.cx - jcx + 1) > distanceFactor * std::max(s.width, width)) continue;
    if (box.left < seed.left && box.right > seed.right) continue;
    if (box.left > seed.left && box.right < seed.right) continue;
    if (jcx < s.cx) {
      neighbours.leftPositions.push_back(static_cast<int>(position));
      neighbours.leftGaps.push_back(static_cast<float>(s.cx - box.right + 1));
    } else {
      neighbours.rightPositions.push_back(static_cast<int>(position));
      neighbours.rightGaps.push_back(static_cast<float>(box.left - s.cx + 1));
    }
  }
}

Box mergeNeighbours(const Box& seed, const BoxList& boxes, const NeighbourSet& neighbours) {
  Box merged = seed;
  auto merge = [&](int position) {
    const Box& box = boxes[static_cast<size_t>(position)];
    merged.left = std::min(merged.left, box.left);
    merged.top = std::min(merged.top, box.top);
    merged.right = std::max(merged.right, box.right);
    merged.bottom = std::max(merged.bottom, box.bottom);
  };
  for (int position : neighbours.leftPositions) merge(position);
  for (int position : neighbours.rightPositions) merge(position);
  return merged;
}

std::optional<cv::Rect> seedCandidate(const BoxList& boxes, size_t seedIndex, int distanceFactor) {
  const Box& seed = boxes[seedIndex];
  NeighbourSet neighbours;
  collectNeighbours(boxes, neighbours, seed, distanceFactor);
  if (neighbours.leftGaps.empty() || neighbours.rightGaps.empty()) return std::nullopt;
  const float nearestLeft =
      *std::min_element(neighbours.leftGaps.begin(), neighbours.leftGaps.end());
  const float nearestRight =
      *std::min_element(neighbours.rightGaps.begin(), neighbours.rightGaps.end());
  // The gaps are whole numbers, so the float difference is exact.
  const double seedWidth = seed.right - seed.left + 1;
  if (std::abs(nearestLeft - nearestRight) > kGapAsymmetryLimit * seedWidth) return std::nullopt;
  const Box merged = mergeNeighbours(seed, boxes, neighbours);
  return cv::Rect(merged.left, merged.top, merged.right - merged.left + 1,
                  merged.bottom - merged.top + 1);
}

std::vector<cv::Rect> formCandidates(const BoxList& boxes, int distanceFactor) {
  std::vector<cv::Rect> candidates;
  for (size_t seed = 0; seed < boxes.size(); ++seed) {
    if (std::optional<cv::Rect> rect = seedCandidate(boxes, seed, distanceFactor)) {
      candidates.push_back(*rect);
    }
  }
  return candidates;
}

cv::Mat cropRegion(const cv::Mat& image, const cv::Rect& rect) { return image(rect).clone(); }

int classifyRegion(const cv::Mat& region, const classifier::StumpCascade& model) {
  // The maps are computed as the stumps reached ask for their features; a candidate rejected
  // early never needs most of them.
  features::RegionFeatures features(region);
  return classifier::evaluateStumpCascade(
      [&features](int index) { return features.feature(index); }, features::kFeatureCount, model);
}

classifier::CascadeVerdict judgeRegion(const cv::Mat& region,
                                       const classifier::StumpCascade& model) {
  features::RegionFeatures features(region);
  return classifier::judgeStumpCascade([&features](int index) { return features.feature(index); },
                                       features::kFeatureCount, model);
}

int classifyCandidate(const cv::Rect& rect, cv::Mat& bandResult, const cv::Mat& bandImage,
                      const classifier::StumpCascade& model) {
  // The region is only resampled onto the 96 x 48 patch, which reads the rectangle's own pixels
  // and nothing around them: a view does what a copy (cropRegion) would.
  const int decision = classifyRegion(bandImage(rect), model);
  if (decision == 1) bandResult(rect).setTo(kPainted);
  return decision;
}

std::vector<cv::Rect> distinctCandidates(const std::vector<cv::Rect>& candidates) {
  std::vector<cv::Rect> distinct;
  distinct.reserve(candidates.size());
  for (const cv::Rect& rect : candidates) {
    if (std::find(distinct.begin(), distinct.end(), rect) == distinct.end()) {
      distinct.push_back(rect);
    }
  }
  return distinct;
}

cv::Mat classifyBand(const cv::Mat& bandImage, const BoxList& boxes,
                     const classifier::StumpCascade& model) {
  cv::Mat bandResult = cv::Mat::zeros(bandImage.rows, bandImage.cols, CV_8UC1);
  // The seeds of one line often form the same rectangle; its decision does not depend on the
  // seed and painting it again changes nothing, so each rectangle is judged once.
  for (const cv::Rect& candidate : distinctCandidates(formCandidates(boxes))) {
    classifyCandidate(candidate, bandResult, bandImage, model);
  }
  return bandResult;
}

}  // namespace scenetext::regions
