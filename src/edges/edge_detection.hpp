#pragma once

// The edge detector of the Canny kind that yields the EdgeMap.

#include <opencv2/core.hpp>

#include "edges/gradients.hpp"

namespace scenetext::edges {

// The fraction of all pixels that the high threshold leaves below it, as every caller passes it
// (held as 0.899999976 in single precision).
inline constexpr float kEdgeFraction = 0.9f;

// The EdgeMap of an 8-bit image with 1 or 3 channels (blue, green, red) of any size: a new
// contiguous CV_8UC1 matrix of the image's size, 255 on edge pixels and 0 elsewhere, thinned to
// one-pixel 8-connected lines; the outermost rows and columns are always 0. Derivative-of-
// Gaussian gradients, non-maximum suppression in four sectors, a high threshold at the upper end
// of the first of 64 histogram bins of the normalised magnitude whose running count exceeds
// `edgeFraction` of all pixels, a low threshold of 0.4 times it, 8-connected hysteresis,
// thinning. A single-channel image and the three-channel image of equal grey give the same map.
cv::Mat detectEdges(const cv::Mat& image, float edgeFraction);

// The same EdgeMap from the gradients of the image's grey plane, for callers that need the
// gradients as well: detectEdges(image, f) equals
// edgeMapOfGradients(computeGradients(makeGreyPlane(image, image.cols, image.rows)), f).
cv::Mat edgeMapOfGradients(const GradientMaps& gradients, float edgeFraction);

}  // namespace scenetext::edges
