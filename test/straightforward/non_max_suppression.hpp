#pragma once

// Non-maximum suppression one sector at a time, written as the rule reads: the form the edge
// detector's one-scan labelling (labelLocalMaxima) is held to.

#include <opencv2/core.hpp>

#include <vector>

#include "edges/non_max_suppression.hpp"

namespace scenetext::edges {

// Appends to `points`, in row-major order, the interior pixels (never row 0, column 0, the last
// row or the last column) whose gradient lies in `sector` (1..4, as labelLocalMaxima defines
// them) and whose magnitude is >= the magnitudes interpolated at both neighbouring positions
// along the gradient. `gx`, `gy` and `magnitude` are CV_32FC1 of one size; a NaN magnitude
// comparison drops the pixel.
void suppressNonMaxima(std::vector<EdgePoint>& points, int sector, const cv::Mat& gx,
                       const cv::Mat& gy, const cv::Mat& magnitude);

}  // namespace scenetext::edges
