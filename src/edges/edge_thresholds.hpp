#pragma once

// The steps between the gradients and the thinning of the edge detector: normalisation of the
// magnitude, the histogram thresholds and 8-connected hysteresis.

#include <opencv2/core.hpp>

#include <array>
#include <vector>

#include "edges/non_max_suppression.hpp"

namespace scenetext::edges {

// Histogram of the normalised magnitude: 64 uniform bins over [-1/126, 125/126) in single
// precision, so each bin is 1/64 wide; values of 125/126 or more (the maximum, 1.0, among them)
// are not counted.
inline constexpr int kMagnitudeBins = 64;
inline constexpr float kHistogramLower = -1.0f / 126;
inline constexpr float kHistogramUpper = 125.0f / 126;
// The low threshold is this fraction of the high one.
inline constexpr double kLowToHighRatio = 0.4;

// The magnitude (CV_32FC1, every value +0 or above and none NaN, as square roots are) divided
// element-wise by its maximum, a new CV_32FC1 matrix in [0, 1]; an all-zero magnitude is
// returned as zeros.
cv::Mat normaliseMagnitude(const cv::Mat& magnitude);
// The same into `normalised`, whose memory is reused when it already has the size (it must not
// be `magnitude` itself).
void normaliseMagnitude(const cv::Mat& magnitude, cv::Mat& normalised);

// The 64 bin counts of the normalised magnitude (CV_32FC1), as cv::calcHist counts them (the
// bin floor(v * a + b) in double, with a = 64 / (upper - lower) and b = -a * lower, of every
// value in [lower, upper)), as single-precision numbers.
using MagnitudeHistogram = std::array<float, kMagnitudeBins>;
MagnitudeHistogram magnitudeHistogram(const cv::Mat& normalised);

// high = bin / 64 and low = 0.4 * high, where bin is 1 + the first histogram bin at which the
// running count exceeds rows * cols * edgeFraction (strictly), or 65 when none does (then high
// is above every normalised magnitude and nothing is strong).
struct EdgeThresholds {
  int bin;
  double high;
  double low;
};
EdgeThresholds thresholdsForBin(int bin);
EdgeThresholds computeEdgeThresholds(const cv::Mat& normalised, float edgeFraction);

// Hysteresis on the candidate labels of labelLocalMaxima (1 a candidate, 0 not): every candidate
// 8-connected to a strong point through candidates becomes 255, everything else 0 (in place).
void traceHysteresis(cv::Mat& labels, const std::vector<EdgePoint>& strong);

}  // namespace scenetext::edges
