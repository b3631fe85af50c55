#pragma once

// The thinning on single-precision matrices, as the detector's description states it, over the
// detector's 8-bit thinning (thinEdgeBytes).

#include <opencv2/core.hpp>

namespace scenetext::edges {

// Thins a CV_32FC1 matrix in place. On input a pixel is foreground when its value is >= 0.5
// (NaN is background); on output every element is exactly 1.0 (kept) or 0.0.
void thinEdges(cv::Mat& t);

}  // namespace scenetext::edges
