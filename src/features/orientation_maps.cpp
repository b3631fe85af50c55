#include "features/orientation_maps.hpp"

#include <cmath>
#include <numbers>

#include <opencv2/imgproc.hpp>

#include "edges/edge_detection.hpp"
#include "features/nearest_edge.hpp"

namespace scenetext::features {

namespace {

constexpr double kPi = std::numbers::pi;

// atan2 in double, rounded to single precision before the fold; the fold's tests and sums are in
// double against the double constants. Single-precision pi/2 exceeds the double pi/2, so a
// gradient pointing straight down is shifted to 4.7123890 rather than kept at pi/2.
float foldedOrientation(float dx, float dy) {
  if (dx == 0.0f && dy == 0.0f) return 0.0f;
  const float t = static_cast<float>(std::atan2(static_cast<double>(dy), static_cast<double>(dx)));
  if (static_cast<double>(t) <= -kPi / 2) return static_cast<float>(t + 3 * kPi);
  if (static_cast<double>(t) > kPi / 2) return static_cast<float>(t + kPi);
  return t;
}

bool hasEdgePixel(const cv::Mat& edgeMap) {
  cv::Mat isEdge;
  cv::compare(edgeMap, 255, isEdge, cv::CMP_EQ);
  return cv::countNonZero(isEdge) > 0;
}

// O[y][x] = G at the nearest edge pixel, whose position is truncated to integers.
cv::Mat edgeOrientationMap(const cv::Mat& orientation, const cv::Mat& nearest) {
  cv::Mat o(orientation.size(), CV_32FC1);
  for (int y = 0; y < o.rows; ++y) {
    for (int x = 0; x < o.cols; ++x) {
      const cv::Vec2f n = nearest.at<cv::Vec2f>(y, x);
      o.at<float>(y, x) = orientation.at<float>(static_cast<int>(n[0]), static_cast<int>(n[1]));
    }
  }
  return o;
}

cv::Mat bandMap(const cv::Mat& o, float lower, float upper) {
  cv::Mat band(o.size(), CV_32FC1, cv::Scalar::all(0));
  for (int y = 0; y < o.rows; ++y) {
    const float* in = o.ptr<float>(y);
    float* out = band.ptr<float>(y);
    for (int x = 0; x < o.cols; ++x) {
      if (lower <= in[x] && in[x] <= upper) out[x] = in[x];
    }
  }
  return band;
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
    const float* rowX = dx.ptr<float>(y);
    const float* rowY = dy.ptr<float>(y);
    float* out = g.ptr<float>(y);
    for (int x = 0; x < g.cols; ++x) out[x] = foldedOrientation(rowX[x], rowY[x]);
  }
  return g;
}

std::vector<float> orientationBinBounds(const OrientationBandParams& params) {
  CV_Assert(params.binCount >= 1);
  std::vector<float> bounds(params.binCount);
  for (int j = 0; j < params.binCount; ++j) {
    bounds[j] = static_cast<float>((j + 1) * kPi / params.binCount + 3 * kPi / 2);
  }
  return bounds;
}

cv::Mat greyCopy(const cv::Mat& patch) {
  CV_Assert(patch.depth() == CV_8U && (patch.channels() == 1 || patch.channels() == 3));
  cv::Mat grey;
  if (patch.channels() == 1) {
    grey = patch.clone();
  } else {
    cv::cvtColor(patch, grey, cv::COLOR_BGR2GRAY);
  }
  return grey;
}

std::vector<cv::Mat> orientationBandMapsOfEdgeMap(const cv::Mat& grey, const cv::Mat& edgeMap,
                                                  const OrientationBandParams& params) {
  CV_Assert(params.bandSpan >= 1 && params.bandSpan <= params.binCount);
  CV_Assert(edgeMap.type() == CV_8UC1 && edgeMap.size() == grey.size());
  const int windows = params.binCount - params.bandSpan + 1;
  std::vector<cv::Mat> maps;
  maps.reserve(1 + windows);

  // Without an edge pixel the nearest-edge positions are arbitrary; taking orientations at them
  // would make the features depend on rounding noise, so the whole family is 0.
  if (!hasEdgePixel(edgeMap)) {
    for (int m = 0; m < 1 + windows; ++m) maps.push_back(cv::Mat::zeros(grey.size(), CV_32FC1));
    return maps;
  }

  maps.push_back(edgeOrientationMap(orientationMap(grey), nearestEdgeTransform(edgeMap)));
  const std::vector<float> bounds = orientationBinBounds(params);
  for (int g = 0; g < windows; ++g) {
    maps.push_back(bandMap(maps.front(), bounds[g], bounds[g + params.bandSpan - 1]));
  }
  return maps;
}

std::vector<cv::Mat> orientationBandMaps(const cv::Mat& patch, const OrientationBandParams& params) {
  const cv::Mat grey = greyCopy(patch);
  return orientationBandMapsOfEdgeMap(grey, edges::detectEdges(grey, edges::kEdgeFraction), params);
}

}  // namespace scenetext::features
