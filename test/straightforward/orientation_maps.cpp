#include "straightforward/orientation_maps.hpp"

#include <cmath>
#include <numbers>

#include <opencv2/imgproc.hpp>

#include "edges/edge_detection.hpp"

namespace scenetext::features {
namespace {

// atan2 in double rounded to single precision, then folded by tests and sums in double.
float foldedOrientation(float dx, float dy) {
  constexpr double pi = std::numbers::pi;
  if (dx == 0.0f && dy == 0.0f) return 0.0f;
  const float t = static_cast<float>(std::atan2(static_cast<double>(dy), static_cast<double>(dx)));
  if (static_cast<double>(t) <= -pi / 2) return static_cast<float>(t + 3 * pi);
  if (static_cast<double>(t) > pi / 2) return static_cast<float>(t + pi);
  return t;
}

}  // namespace

cv::Mat orientationMap(const cv::Mat& grey) {
  CV_Assert(grey.type() == CV_8UC1 && !grey.empty());
  cv::Mat intensity, dx, dy;
  grey.convertTo(intensity, CV_32F);
  cv::Sobel(intensity, dx, CV_32F, 1, 0, 3, 1, 0, cv::BORDER_REPLICATE);
  cv::Sobel(intensity, dy, CV_32F, 0, 1, 3, 1, 0, cv::BORDER_REPLICATE);
  cv::Mat g(grey.size(), CV_32FC1);
  for (int y = 0; y < g.rows; ++y) {
    for (int x = 0; x < g.cols; ++x) {
      g.at<float>(y, x) = foldedOrientation(dx.at<float>(y, x), dy.at<float>(y, x));
    }
  }
  return g;
}

cv::Mat orientationBandMap(const cv::Mat& edgeOrientation, float lower, float upper) {
  CV_Assert(edgeOrientation.type() == CV_32FC1);
  cv::Mat band(edgeOrientation.size(), CV_32FC1, cv::Scalar::all(0));
  for (int y = 0; y < band.rows; ++y) {
    for (int x = 0; x < band.cols; ++x) {
      const float v = edgeOrientation.at<float>(y, x);
      if (lower <= v && v <= upper) band.at<float>(y, x) = v;
    }
  }
  return band;
}

std::vector<cv::Mat> orientationBandMapsOfEdgeMap(const cv::Mat& grey, const cv::Mat& edgeMap,
                                                  const OrientationBandParams& params) {
  CV_Assert(params.bandSpan >= 1 && params.bandSpan <= params.binCount);
  const int windows = params.binCount - params.bandSpan + 1;
  std::vector<cv::Mat> maps{edgeOrientationMap(grey, edgeMap)};
  const std::vector<float> bounds = orientationBinBounds(params);
  for (int g = 0; g < windows; ++g) {
    maps.push_back(orientationBandMap(maps.front(), bounds[g], bounds[g + params.bandSpan - 1]));
  }
  return maps;
}

std::vector<cv::Mat> orientationBandMaps(const cv::Mat& patch,
                                         const OrientationBandParams& params) {
  const cv::Mat grey = greyCopy(patch);
  return orientationBandMapsOfEdgeMap(grey, edges::detectEdges(grey, edges::kEdgeFraction), params);
}

}  // namespace scenetext::features
