#pragma once

// A literal, unoptimised reading of the edge detector: every step in the order the detector's
// description gives it, with its own temporaries, so that the optimised library can be held to it
// value for value. Nothing here is shared with src/edges.

#include <opencv2/core.hpp>

#include <vector>

namespace scenetext::reference {

// A pixel position: x is the column, y the row.
struct EdgePoint {
  int x;
  int y;
};

// The grey plane (CV_8UC1, width x height) of an 8-bit image with 1 or 3 channels: bilinear
// resampling onto the target size (a copy when the size is the image's own), then BGR to grey.
cv::Mat makeGreyPlane(const cv::Mat& image, int width, int height);

// g as a 1 x 9 row and a 9 x 1 column, KX and KY (9 x 9), all CV_32FC1.
struct GaussianKernels {
  cv::Mat row;
  cv::Mat column;
  cv::Mat kx;
  cv::Mat ky;
};
GaussianKernels buildGaussianKernels();

// gx, gy and magnitude (CV_32FC1) of a CV_8UC1 grey plane, unnormalised.
struct GradientMaps {
  cv::Mat gx;
  cv::Mat gy;
  cv::Mat magnitude;
};
GradientMaps computeGradients(const cv::Mat& grey);

// Appends the kept points of one sector (1..4) in row-major order.
void suppressNonMaxima(std::vector<EdgePoint>& points, int sector, const cv::Mat& gx,
                       const cv::Mat& gy, const cv::Mat& magnitude);

// Two-sub-iteration parallel thinning of a CV_32FC1 matrix in place (>= 0.5 is foreground on
// input; 1.0 or 0.0 on output).
void thinEdges(cv::Mat& t);

// The EdgeMap (CV_8UC1, 0 or 255) of an 8-bit image with 1 or 3 channels.
cv::Mat detectEdges(const cv::Mat& image, float edgeFraction);

// The unnormalised gradient maps of an image at its size rounded up to multiples of 4.
GradientMaps computeGradientMaps(const cv::Mat& image);

}  // namespace scenetext::reference
