#pragma once

// A literal, unoptimised reading of the region features: stripe contrasts over an integral image
// rebuilt for every layout, the gradient and edge-projection maps, the nearest-edge transform and
// the edge orientation maps, each map family computed on its own (so the patch's EdgeMap is
// computed twice per region). Nothing here is shared with src/features.

#include <opencv2/core.hpp>

#include <array>
#include <vector>

namespace scenetext::reference {

// Kinds: 1 ThreeColumns, 2 ThreeRows, 3 TwoColumns, 4 TwoRows, 5 FiveRows; anything else yields
// no value.
struct StripeLayout {
  int kind;
  float fractions[4];
};

// The six layouts in the order the feature indices address.
std::array<StripeLayout, 6> stripeLayoutTable();

// Inclusive integral image, every entry evaluated in double and stored in single precision.
cv::Mat integralImage(const cv::Mat& map);

// 0, 1 or 2 values (sum contrast first) of one layout on a CV_32FC1 map.
std::vector<float> stripeContrasts(const cv::Mat& map, const StripeLayout& layout);

// gx, gy, magnitude of the patch (maps 0-2).
std::vector<cv::Mat> gradientFeatureMaps(const cv::Mat& patch);

// Outer product of the edge projections of the patch's EdgeMap (map 3).
cv::Mat edgeProjectionMap(const cv::Mat& patch);

// One line of the squared distance transform; writes the line's offsets into `offsets`
// (CV_32FC2, (dRow, dCol)): mode 0 column `line`, mode 1 row `line`.
std::vector<float> distanceTransform1D(const std::vector<float>& g, int mode, cv::Mat& offsets,
                                       int line);

// (row, column) of the chosen edge pixel for every pixel, CV_32FC2.
cv::Mat nearestEdgeTransform(const cv::Mat& edges);

// Sobel orientation of a grey 8-bit image, folded as the features want it.
cv::Mat orientationMap(const cv::Mat& grey);

// Bin bounds b[0..binCount-1].
std::vector<float> orientationBinBounds(int binCount);

// The edge orientation map and the binCount - bandSpan + 1 band maps; all 0 when the patch's
// EdgeMap has no edge pixel.
std::vector<cv::Mat> orientationBandMaps(const cv::Mat& patch, int binCount, int bandSpan);

// The 1 x 190 CV_32FC1 FeatureVector of an 8-bit region with 1 or 3 channels.
cv::Mat computeFeatureVector(const cv::Mat& region);

}  // namespace scenetext::reference
