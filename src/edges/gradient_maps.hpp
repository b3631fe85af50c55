#pragma once

// The unnormalised gradient maps handed to the region features.

#include "edges/gradients.hpp"

namespace scenetext::edges {

// gx, gy and magnitude (each CV_32FC1, contiguous) of an 8-bit image with 1 or 3 channels, with
// the signs and scale of computeGradients and no normalisation. The maps are W' wide and H' high,
// the image's sides rounded up to multiples of 4 (97 x 50 gives 100 x 52); an image whose sides
// are not multiples of 4 is first stretched bilinearly onto that size. A 96 x 48 patch is used
// as it is.
GradientMaps computeGradientMaps(const cv::Mat& image);

}  // namespace scenetext::edges
