#pragma once

// The gradient maps and the edge projection map of a patch, each made whole: the maps the
// features' on-demand integration (RegionFeatures) is held to.

#include <vector>

#include <opencv2/core.hpp>

namespace scenetext::features {

// gx, gy and the gradient magnitude of an 8-bit patch (1 or 3 channels), in this order
// (edges::computeGradientMaps): three new CV_32FC1 maps, unnormalised.
std::vector<cv::Mat> gradientFeatureMaps(const cv::Mat& patch);

// The outer product of the edge projections of the patch's EdgeMap (detectEdges with edge fraction
// 0.9): P[i][j] = (edge pixels in row i) * (edge pixels in column j), a new CV_32FC1 map of the
// patch size.
cv::Mat edgeProjectionMap(const cv::Mat& patch);

}  // namespace scenetext::features
