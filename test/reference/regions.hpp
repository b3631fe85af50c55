#pragma once

// A literal, unoptimised reading of the candidate-region stages: component boxes, row bands,
// band classification, final text regions and the detection driver. Box lists are flat lists of
// integers, four per box (xmin, ymin, xmax, ymax, inclusive), filtered by writing -1 over a box
// and then dropping every -1 in one pass. Nothing here is shared with src/regions.

#include <opencv2/core.hpp>

#include <optional>
#include <vector>

#include "classifier/stump_cascade.hpp"

namespace scenetext::reference {

// Four integers per box, box k at 4k .. 4k + 3, no header.
using FlatBoxList = std::vector<int>;

// Drops every integer equal to -1, keeping the order of the others.
void compactFlatBoxList(FlatBoxList& boxes);

// One box per contour of `edges` (list mode, simple chain approximation); `width` and `height`
// bound the points that widen a box (inclusive).
FlatBoxList contourBoxes(const cv::Mat& edges, int width, int height);

// Nesting pass (4 or more strictly enclosed boxes), then the shape pass.
void filterComponentBoxes(FlatBoxList& boxes);

// Cuts the boxes that cross an interior bound of `bands`.
void splitBoxesAtBands(FlatBoxList& boxes, const std::vector<int>& bands);

// Positions are indices of a box's first integer (4k for box k).
struct NeighbourSet {
  std::vector<int> leftPositions;
  std::vector<int> rightPositions;
  std::vector<float> leftGaps;
  std::vector<float> rightGaps;
};

// `seed` points at the seed's four integers.
void collectNeighbours(const FlatBoxList& boxes, NeighbourSet& neighbours, const int* seed);

// The union (gx1, gy1, gx2, gy2) of the seed and all its neighbours, left ones first.
std::vector<int> mergeNeighbours(const int* seed, const FlatBoxList& boxes,
                                 const NeighbourSet& neighbours);

// The candidate rectangle of the seed at `position`, or nothing (no companion on a side, or
// nearest gaps too unequal).
std::optional<cv::Rect> seedCandidate(const FlatBoxList& boxes, int position);

// Every seed's candidate rectangle, in seed order (duplicates kept).
std::vector<cv::Rect> formCandidates(const FlatBoxList& boxes);

cv::Mat cropRegion(const cv::Mat& image, const cv::Rect& rect);

int classifyCandidate(const cv::Rect& rect, cv::Mat& bandResult, const cv::Mat& bandImage,
                      const classifier::StumpCascade& model);

cv::Mat classifyBand(const cv::Mat& bandImage, const FlatBoxList& boxes,
                     const classifier::StumpCascade& model);

// Appends one box per 4-connected area of the TextMask, by two float flood fills per area.
void textMaskRegions(const cv::Mat& textMask, FlatBoxList& boxes);

cv::Mat fillBoxMask(const FlatBoxList& boxes, int height, int width);

void detectTextRegions(FlatBoxList& boxes, cv::Mat& textMask, cv::Mat& boxMask,
                       const cv::Mat& image, const cv::Mat& edges, const std::vector<int>& bands,
                       const classifier::StumpCascade& model);

}  // namespace scenetext::reference
