#pragma once

// The edge projection map (feature map 3) of a RegionPatch, from the patch's EdgeMap. The
// gradient maps (feature maps 0 to 2) are edges::computeGradientMaps of the patch.

#include <opencv2/core.hpp>

namespace scenetext::features {

// The outer product of the edge projections of an EdgeMap (CV_8UC1; every non-zero value counts
// as an edge pixel): P[i][j] = (edge pixels in row i) * (edge pixels in column j), a new CV_32FC1
// map of its size. 0 on every row and column without an edge pixel; one edge pixel gives 1
// there; a full row of 96 gives 96 across that row.
cv::Mat edgeProjectionOfEdgeMap(const cv::Mat& edgeMap);

// integralImage(edgeProjectionOfEdgeMap(edgeMap)), bit for bit, without making the map: while
// the map's total (edge pixels squared) stays within 2^24 every partial sum is a whole number
// that single precision holds exactly, so the integral image is the outer product of the
// running row and column counts. A denser map is integrated entry by entry.
cv::Mat edgeProjectionIntegral(const cv::Mat& edgeMap);

}  // namespace scenetext::features
