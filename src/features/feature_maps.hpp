#pragma once

// The gradient maps (feature maps 0 to 2) and the edge projection map (feature map 3) of a
// RegionPatch: thin wrappers over the edge-detection subsystem.

#include <vector>

#include <opencv2/core.hpp>

namespace scenetext::features {

// gx, gy and the gradient magnitude of an 8-bit patch (1 or 3 channels; the colour patch is
// passed as it is), in this order: three new CV_32FC1 maps, unnormalised. For a 96 x 48 patch
// they have 48 rows and 96 columns (sides that are not multiples of 4 are rounded up).
std::vector<cv::Mat> gradientFeatureMaps(const cv::Mat& patch);

// The outer product of the edge projections of the patch's EdgeMap (detectEdges with edge fraction
// 0.9): P[i][j] = (edge pixels in row i) * (edge pixels in column j), a new CV_32FC1 map of the
// patch size. 0 on every row and column without an edge pixel; one edge pixel gives 1 there; a
// full row of 96 gives 96 across that row.
cv::Mat edgeProjectionMap(const cv::Mat& patch);

// The same map from an EdgeMap already computed (CV_8UC1; every non-zero value counts as an
// edge), so that one EdgeMap can serve the projection and the orientation family.
cv::Mat edgeProjectionOfEdgeMap(const cv::Mat& edgeMap);

// integralImage(edgeProjectionOfEdgeMap(edgeMap)), bit for bit, without making the map: while
// the map's total (edge pixels squared) stays within 2^24 every partial sum is a whole number
// that single precision holds exactly, so the integral image is the outer product of the
// running row and column counts. A denser map is integrated entry by entry.
cv::Mat edgeProjectionIntegral(const cv::Mat& edgeMap);

}  // namespace scenetext::features
