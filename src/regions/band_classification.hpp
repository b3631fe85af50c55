#pragma once

// Band classification: every component box of a band is tried as the seed of a text line. A seed
// with companions of similar height on both sides, spaced about evenly, forms a candidate
// rectangle (the union of the seed and all its companions), which the stump cascade judges on the
// rectangle's feature vector. Accepted rectangles are painted 255 into the band's result.

#include <opencv2/core.hpp>

#include <optional>
#include <vector>

#include "classifier/stump_cascade.hpp"
#include "common/box_list.hpp"

namespace scenetext::regions {

// A neighbour's centre may lie up to this many times the wider of the two boxes from the seed's.
inline constexpr int kCentreDistanceFactor = 2;

// The companions of one seed: box indices into the band box list, with the gap from the seed's
// centre column to each (whole numbers held as floats; zero or negative when a neighbour
// overlaps the centre column).
struct NeighbourSet {
  std::vector<int> leftPositions;
  std::vector<int> rightPositions;
  std::vector<float> leftGaps;
  std::vector<float> rightGaps;
};

// Appends to `neighbours` every box of `boxes`, in list order, that passes the neighbour tests
// against `seed` (not identical, spans the seed's centre row, height ratio within
// 0.6667..1.5, centre near enough, no horizontal nesting), on the side of its centre.
void collectNeighbours(const BoxList& boxes, NeighbourSet& neighbours, const Box& seed,
                       int distanceFactor = kCentreDistanceFactor);

// The union of the seed and every neighbour, left ones first.
Box mergeNeighbours(const Box& seed, const BoxList& boxes, const NeighbourSet& neighbours);

// The candidate rectangle (x, y, width, height) that box `seedIndex` forms as a seed, or nothing
// when it lacks companions on a side or its nearest gaps differ by more than half its width.
std::optional<cv::Rect> seedCandidate(const BoxList& boxes, size_t seedIndex,
                                      int distanceFactor = kCentreDistanceFactor);

// The candidate rectangles of every seed, in seed order; a rectangle formed by several seeds
// appears once per seed.
std::vector<cv::Rect> formCandidates(const BoxList& boxes,
                                     int distanceFactor = kCentreDistanceFactor);

// The rectangles in order of first appearance, each once.
std::vector<cv::Rect> distinctCandidates(const std::vector<cv::Rect>& candidates);

// A copy of `rect` of `image`; the source is unchanged.
cv::Mat cropRegion(const cv::Mat& image, const cv::Rect& rect);

// The cascade's decision (+1 text, -1 not) on the FeatureVector of `region` (8-bit, 1 or 3
// channels, at least one pixel): evaluateStumpCascade(computeFeatureVector(region), model), with
// only the feature maps that the stumps reached need computed.
int classifyRegion(const cv::Mat& region, const classifier::StumpCascade& model);

// classifyRegion's decision with the cascade's score of an accepted region
// (classifier::judgeStumpCascade).
classifier::CascadeVerdict judgeRegion(const cv::Mat& region,
                                       const classifier::StumpCascade& model);

// Crops `rect` from the band image, computes its feature vector and asks the cascade. Paints the
// rectangle 255 into `bandResult` (CV_8UC1 of the band's size) when the answer is exactly +1.
int classifyCandidate(const cv::Rect& rect, cv::Mat& bandResult, const cv::Mat& bandImage,
                      const classifier::StumpCascade& model);

// The band's result: CV_8UC1 of the band image's size, 255 inside every accepted candidate.
// A rectangle formed by several seeds is judged once (painting is idempotent).
cv::Mat classifyBand(const cv::Mat& bandImage, const BoxList& boxes,
                     const classifier::StumpCascade& model);

}  // namespace scenetext::regions
