#pragma once

// Derivative-of-Gaussian gradients (standard deviation 1) of an 8-bit image: the stage shared by
// the edge detector and the feature gradient maps. The absolute scale of the maps (the factors
// 1/(2 pi) and 1/pi of the kernels) is part of the contract, since the features use them unscaled.

#include <opencv2/core.hpp>

namespace scenetext::edges {

// The grey plane of an 8-bit image with 1 or 3 channels (blue, green, red), CV_8UC1 of
// width x height. The image is stretched bilinearly onto the target size when that differs from
// its own (no border is added), then converted to grey; a single-channel image is only resampled.
// A size equal to the image's own gives its exact grey conversion. Other channel counts are
// rejected by OpenCV (cv::Exception).
cv::Mat makeGreyPlane(const cv::Mat& image, int width, int height);

// The sampled Gaussian of standard deviation 1 and its two first derivatives, all CV_32FC1 with
// half-width 4 (9 taps). `row` (1 x 9) and `column` (9 x 1) hold g(j) = exp(-j^2/2) / (2 pi),
// centre 0.159155, not normalised to a unit sum. kx(y, x) = x exp(-(x^2 + y^2)/2) / pi with x the
// column offset and y the row offset from the centre (kx(4,5) = 0.193065, centre column 0);
// ky is the transpose of kx.
struct GaussianKernels {
  cv::Mat row;
  cv::Mat column;
  cv::Mat kx;
  cv::Mat ky;
};
GaussianKernels buildGaussianKernels();

// Gradient maps, each CV_32FC1, contiguous, of the grey plane's size. gx > 0 where intensity
// (0..1) rises to the right, gy > 0 where it rises downwards; magnitude = sqrt(gx^2 + gy^2).
// A 0-to-1 vertical step peaks at gx = 0.0859 on the two columns beside it.
struct GradientMaps {
  cv::Mat gx;
  cv::Mat gy;
  cv::Mat magnitude;
};

// Gradients of a CV_8UC1 grey plane: intensity grey/255, smoothed by g along rows then along
// columns, then correlated with kx and ky (so smoothed twice); borders repeat the edge pixel.
GradientMaps computeGradients(const cv::Mat& grey);

}  // namespace scenetext::edges
