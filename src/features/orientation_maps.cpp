#include "features/orientation_maps.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numbers>

#include <opencv2/imgproc.hpp>

#include "edges/edge_detection.hpp"
#include "features/nearest_edge.hpp"

namespace scenetext::features {

namespace {

constexpr double kPi = std::numbers::pi;

// The fold of an orientation rounded to single precision: tests and sums in double against the
// double constants. Single-precision pi/2 exceeds the double pi/2, so a gradient pointing
// straight down is shifted to 4.7123890 rather than kept at pi/2.
float fold(float t) {
  if (static_cast<double>(t) <= -kPi / 2) return static_cast<float>(t + 3 * kPi);
  if (static_cast<double>(t) > kPi / 2) return static_cast<float>(t + kPi);
  return t;
}

// atan2 in double, rounded to single precision before the fold.
float foldedOrientation(float dx, float dy) {
  if (dx == 0.0f && dy == 0.0f) return 0.0f;
  return fold(static_cast<float>(std::atan2(static_cast<double>(dy), static_cast<double>(dx))));
}

// atan(k / 16), k = 0 .. 16, from the library.
const std::array<double, 17>& arctangentsOfSixteenths() {
  static const std::array<double, 17> table = [] {
    std::array<double, 17> values{};
    for (int k = 0; k <= 16; ++k) values[k] = std::atan(k / 16.0);
    return values;
  }();
  return table;
}

// atan2(y, x) for whole numbers of magnitude up to a few thousand, not both 0, within about
// 1e-15: the ratio t of the smaller magnitude to the larger lies within 1/32 of some k / 16, so
// atan t = atan(k / 16) + atan r with r = (t - k / 16) / (1 + t k / 16), |r| <= 1/32, whose odd
// series to r^11 leaves out less than 1e-20; each rounding adds a few 1e-16 at most. Then the
// octant: pi / 2 - a above the diagonal, pi - a for x < 0, the sign of y.
double approximateAtan2(double y, double x) {
  const double ax = std::fabs(x), ay = std::fabs(y);
  const bool steep = ay > ax;
  const double t = steep ? ax / ay : ay / ax;
  const int k = static_cast<int>(t * 16.0 + 0.5);
  const double c = k / 16.0;
  const double r = (t - c) / (1.0 + t * c);
  const double r2 = r * r;
  const double series =
      r * (1.0 + r2 * (-1.0 / 3 + r2 * (1.0 / 5 + r2 * (-1.0 / 7 + r2 * (1.0 / 9 - r2 / 11)))));
  double a = arctangentsOfSixteenths()[k] + series;
  if (steep) a = kPi / 2 - a;
  if (x < 0) a = kPi - a;
  return y < 0 ? -a : a;
}

// Far more than the approximation's error, far less than the spacing of single-precision
// numbers near any orientation of whole-number derivatives (atan2 of at least 1/1020 in size).
constexpr double kMidpointMargin = 1e-12;

}  // namespace

float sobelOrientation(int dx, int dy) {
  if (dx == 0 && dy == 0) return 0.0f;
  const double a = approximateAtan2(dy, dx);
  const float nearest = static_cast<float>(a);
  // The library's atan2 (within half a unit of the last double place) rounds to the same single
  // unless a lies near the midpoint between `nearest` and its neighbour on a's side; there the
  // library decides.
  const float neighbour = std::nextafter(
      nearest, a > nearest ? std::numeric_limits<float>::infinity()
                           : -std::numeric_limits<float>::infinity());
  const double midpoint = 0.5 * (static_cast<double>(nearest) + static_cast<double>(neighbour));
  if (std::fabs(a - midpoint) < kMidpointMargin) return foldedOrientation(dx, dy);
  return fold(nearest);
}

namespace {

bool hasEdgePixel(const cv::Mat& edgeMap) {
  for (int y = 0; y < edgeMap.rows; ++y) {
    const uchar* row = edgeMap.ptr<uchar>(y);
    for (int x = 0; x < edgeMap.cols; ++x) {
      if (row[x] == 255) return true;
    }
  }
  return false;
}

// The 3 x 3 Sobel derivatives of the grey image, single precision, edge pixels repeated.
void sobelDerivatives(const cv::Mat& grey, cv::Mat& dx, cv::Mat& dy) {
  cv::Mat intensity;
  grey.convertTo(intensity, CV_32F);
  cv::Sobel(intensity, dx, CV_32F, 1, 0, 3, 1, 0, cv::BORDER_REPLICATE);
  cv::Sobel(intensity, dy, CV_32F, 0, 1, 3, 1, 0, cv::BORDER_REPLICATE);
}

// O[y][x] = G at the pixel's nearest edge pixel. G is folded only where some pixel's nearest
// edge lies (hardly more than the edge pixels, a small part of the patch), once per position:
// atan2 is most of the cost of a whole orientation map.
cv::Mat edgeOrientationAt(const cv::Mat& grey, const std::vector<int>& nearest) {
  cv::Mat o(grey.size(), CV_32FC1);
  thread_local std::vector<float> folded;
  thread_local std::vector<uchar> known;
  folded.resize(grey.total());
  known.assign(grey.total(), 0);
  const int* at = nearest.data();
  for (int y = 0; y < o.rows; ++y) {
    float* out = o.ptr<float>(y);
    for (int x = 0; x < o.cols; ++x, ++at) {
      if (!known[*at]) {
        folded[*at] = orientationAt(grey, *at / grey.cols, *at % grey.cols);
        known[*at] = 1;
      }
      out[x] = folded[*at];
    }
  }
  return o;
}

}  // namespace

float orientationAt(const cv::Mat& grey, int row, int col) {
  // The derivatives of 8-bit values are whole numbers below 1021 in magnitude: every sum of
  // cv::Sobel's float passes is exact, so integer sums give its values bit for bit (no -0: an
  // integer converts to +0).
  const int up = std::max(row - 1, 0), down = std::min(row + 1, grey.rows - 1);
  const int left = std::max(col - 1, 0), right = std::min(col + 1, grey.cols - 1);
  const uchar* above = grey.ptr<uchar>(up);
  const uchar* here = grey.ptr<uchar>(row);
  const uchar* below = grey.ptr<uchar>(down);
  const int dx = (above[right] + 2 * here[right] + below[right]) -
                 (above[left] + 2 * here[left] + below[left]);
  const int dy = (below[left] + 2 * below[col] + below[right]) -
                 (above[left] + 2 * above[col] + above[right]);
  return sobelOrientation(dx, dy);
}

cv::Mat orientationMap(const cv::Mat& grey) {
  CV_Assert(grey.type() == CV_8UC1 && !grey.empty());
  cv::Mat dx, dy;
  sobelDerivatives(grey, dx, dy);
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

cv::Mat edgeOrientationMap(const cv::Mat& grey, const cv::Mat& edgeMap) {
  CV_Assert(grey.type() == CV_8UC1 && !grey.empty());
  CV_Assert(edgeMap.type() == CV_8UC1 && edgeMap.size() == grey.size());
  // Without an edge pixel the nearest-edge positions are arbitrary; taking orientations at them
  // would make the features depend on rounding noise, so the map is 0 (and so are the bands).
  if (!hasEdgePixel(edgeMap)) return cv::Mat::zeros(grey.size(), CV_32FC1);
  thread_local std::vector<int> nearest;
  nearestEdgeIndices(edgeMap, nearest);
  return edgeOrientationAt(grey, nearest);
}

cv::Mat orientationBandMap(const cv::Mat& edgeOrientation, float lower, float upper) {
  CV_Assert(edgeOrientation.type() == CV_32FC1);
  cv::Mat band(edgeOrientation.size(), CV_32FC1, cv::Scalar::all(0));
  for (int y = 0; y < band.rows; ++y) {
    const float* in = edgeOrientation.ptr<float>(y);
    float* out = band.ptr<float>(y);
    for (int x = 0; x < band.cols; ++x) {
      if (lower <= in[x] && in[x] <= upper) out[x] = in[x];
    }
  }
  return band;
}

std::vector<cv::Mat> orientationBandMapsOfEdgeMap(const cv::Mat& grey, const cv::Mat& edgeMap,
                                                  const OrientationBandParams& params) {
  CV_Assert(params.bandSpan >= 1 && params.bandSpan <= params.binCount);
  const int windows = params.binCount - params.bandSpan + 1;
  std::vector<cv::Mat> maps;
  maps.reserve(1 + windows);
  maps.push_back(edgeOrientationMap(grey, edgeMap));
  const std::vector<float> bounds = orientationBinBounds(params);
  for (int g = 0; g < windows; ++g) {
    maps.push_back(orientationBandMap(maps.front(), bounds[g], bounds[g + params.bandSpan - 1]));
  }
  return maps;
}

std::vector<cv::Mat> orientationBandMaps(const cv::Mat& patch, const OrientationBandParams& params) {
  const cv::Mat grey = greyCopy(patch);
  return orientationBandMapsOfEdgeMap(grey, edges::detectEdges(grey, edges::kEdgeFraction), params);
}

}  // namespace scenetext::features
