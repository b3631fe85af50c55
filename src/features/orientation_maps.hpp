#pragma once

// Edge orientation maps: every pixel of the patch takes the Sobel gradient orientation found at
// its nearest edge pixel (the edge orientation map), which is then cut into overlapping angle
// windows (the orientation band maps). Feature maps 4 to 18 of the FeatureVector.

#include <vector>

#include <opencv2/core.hpp>

namespace scenetext::features {

// binCount bounds b[0..binCount-1] and binCount - bandSpan + 1 windows, each the closed interval
// [b[g], b[g + bandSpan - 1]]. The features use {16, 3}: 16 bounds, 14 windows.
struct OrientationBandParams {
  int binCount = 16;
  int bandSpan = 3;
};

// The Sobel gradient orientation, in radians, of whole-number derivatives (|dx|, |dy| <= 1020, as
// 3 x 3 Sobel derivatives of 8-bit images give): 0 where both are 0; otherwise t = atan2(dy, dx)
// (rows grow downward) rounded to single precision and folded without a 2*pi shift: t <= -pi/2
// becomes t + 3*pi, t > pi/2 becomes t + pi (tests and sums in double, the result rounded to
// single precision again). Values therefore lie in (-pi/2, pi/2], (3*pi/2, 2*pi] or
// [2*pi, 5*pi/2], or are 0. With the x86-64 kernels a faster approximation serves, leaving to the
// library's atan2 only values near a single-precision rounding boundary: the bits are the same.
float sobelOrientation(int dx, int dy);

// sobelOrientation of `count` pairs into out[0 .. count - 1].
void sobelOrientations(const int* dx, const int* dy, float* out, int count);

// The orientation at one pixel of the Sobel derivatives of its 3 x 3 neighbourhood (edge pixels
// repeated), as cv::Sobel gives them in single precision. Precondition: a CV_8UC1 image,
// 0 <= row < rows, 0 <= col < cols.
float orientationAt(const cv::Mat& grey, int row, int col);

// b[j] = (j + 1) * pi / binCount + 3 * pi / 2, evaluated in double and stored in single
// precision; binCount values in ascending order (4.9087386 ... 7.8539815 for 16 bins).
// Precondition: binCount >= 1 (cv::Exception otherwise).
std::vector<float> orientationBinBounds(const OrientationBandParams& params);

// The grey copy of a patch: a copy of a single-channel patch, the blue-green-red to grey
// conversion of a three-channel one. Precondition: 8-bit, 1 or 3 channels.
cv::Mat greyCopy(const cv::Mat& patch);

// The family's first map from the grey copy and its EdgeMap (CV_8UC1, 255 on edge pixels, the
// grey copy's size): orientationAt(grey, ...) taken at each pixel's nearest edge pixel
// (nearestEdgeIndices), or all 0 when the EdgeMap has no edge pixel (there is then no edge to
// take an orientation from). The band maps (5 to 18) are this map where it lies in their windows
// [b[g], b[g + bandSpan - 1]] (single-precision tests, both ends included) and 0 elsewhere.
cv::Mat edgeOrientationMap(const cv::Mat& grey, const cv::Mat& edgeMap);

}  // namespace scenetext::features
