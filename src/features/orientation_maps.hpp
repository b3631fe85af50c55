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

// The Sobel gradient orientation of an 8-bit single-channel image: a new CV_32FC1 map of its size,
// in radians. 0 where both derivatives are 0; otherwise t = atan2(dy, dx) (rows grow downward)
// rounded to single precision and folded without a 2*pi shift: t <= -pi/2 becomes t + 3*pi,
// t > pi/2 becomes t + pi (tests and sums in double, the result rounded to single precision
// again). Values therefore lie in (-pi/2, pi/2], (3*pi/2, 2*pi] or [2*pi, 5*pi/2], or are 0.
// Precondition: a non-empty CV_8UC1 image (cv::Exception otherwise).
cv::Mat orientationMap(const cv::Mat& grey);

// The folded orientation of whole-number Sobel derivatives (|dx|, |dy| <= 1020, as 8-bit images
// give), bit for bit what orientationMap computes from them with the library's atan2, but by a
// faster approximation that leaves to the library only values near a single-precision rounding
// boundary.
float sobelOrientation(int dx, int dy);

// sobelOrientation of `count` pairs into out[0 .. count - 1].
void sobelOrientations(const int* dx, const int* dy, float* out, int count);

// orientationMap(grey) at one pixel, bit for bit, computed from its 3 x 3 neighbourhood alone
// (edge pixels repeated). Precondition: a CV_8UC1 image, 0 <= row < rows, 0 <= col < cols.
float orientationAt(const cv::Mat& grey, int row, int col);

// b[j] = (j + 1) * pi / binCount + 3 * pi / 2, evaluated in double and stored in single
// precision; binCount values in ascending order (4.9087386 ... 7.8539815 for 16 bins).
// Precondition: binCount >= 1 (cv::Exception otherwise).
std::vector<float> orientationBinBounds(const OrientationBandParams& params);

// The grey copy of a patch: a copy of a single-channel patch, the blue-green-red to grey
// conversion of a three-channel one. Precondition: 8-bit, 1 or 3 channels.
cv::Mat greyCopy(const cv::Mat& patch);

// The family's maps for an 8-bit patch (1 or 3 channels; 96 x 48 in the detector): the edge
// orientation map first, then one band map per window in ascending order (15 maps for {16, 3}),
// each a new CV_32FC1 map of the patch size. A band map holds the edge orientation where it lies
// in its window (single-precision tests, both ends included) and 0 elsewhere, so orientations of
// gradients with dx > 0, and the value 0, appear in no band map. The EdgeMap is detectEdges of the
// grey copy with edge fraction 0.9. When it has no edge pixel there is no edge to take an
// orientation from, and every map is 0.
// Precondition: 1 <= bandSpan <= binCount (cv::Exception otherwise).
std::vector<cv::Mat> orientationBandMaps(const cv::Mat& patch, const OrientationBandParams& params);

// The family's first map from the grey copy and its EdgeMap (CV_8UC1, 255 on edge pixels, the
// grey copy's size): orientationMap(grey) taken at each pixel's nearest edge pixel
// (nearestEdgeTransform), or all 0 when the EdgeMap has no edge pixel.
cv::Mat edgeOrientationMap(const cv::Mat& grey, const cv::Mat& edgeMap);

// The band map of one window: the edge orientation map where lower <= value <= upper
// (single-precision tests, both ends included), 0 elsewhere; a new CV_32FC1 map of its size.
cv::Mat orientationBandMap(const cv::Mat& edgeOrientation, float lower, float upper);

// The same maps from the grey copy and an EdgeMap already computed for it (CV_8UC1, 255 on edge
// pixels, the grey copy's size), so that one EdgeMap can serve the projection and this family.
std::vector<cv::Mat> orientationBandMapsOfEdgeMap(const cv::Mat& grey, const cv::Mat& edgeMap,
                                                  const OrientationBandParams& params);

}  // namespace scenetext::features
