#pragma once

// The orientation family's maps made whole, as they are defined: the forms the features' own
// orientation path (edgeOrientationMap and the interleaved window tests) is held to.

#include <vector>

#include <opencv2/core.hpp>

#include "features/orientation_maps.hpp"

namespace scenetext::features {

// The Sobel gradient orientation of a non-empty CV_8UC1 image: a new CV_32FC1 map of its size,
// cv::Sobel's single-precision derivatives (3 x 3, edge pixels repeated) folded as
// sobelOrientation defines, with the library's atan2.
cv::Mat orientationMap(const cv::Mat& grey);

// The band map of one window: the edge orientation map where lower <= value <= upper
// (single-precision tests, both ends included), 0 elsewhere; a new CV_32FC1 map of its size.
cv::Mat orientationBandMap(const cv::Mat& edgeOrientation, float lower, float upper);

// The edge orientation map of the grey copy and its EdgeMap first, then one band map per window
// in ascending order (15 maps for {16, 3}). Precondition: 1 <= bandSpan <= binCount.
std::vector<cv::Mat> orientationBandMapsOfEdgeMap(const cv::Mat& grey, const cv::Mat& edgeMap,
                                                  const OrientationBandParams& params);

// The same maps of an 8-bit patch (1 or 3 channels), its EdgeMap being detectEdges of its grey
// copy with edge fraction 0.9.
std::vector<cv::Mat> orientationBandMaps(const cv::Mat& patch, const OrientationBandParams& params);

}  // namespace scenetext::features
