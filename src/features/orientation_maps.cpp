#include "features/orientation_maps.hpp"

#include <immintrin.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

#include <opencv2/imgproc.hpp>

#include "common/instruction_sets.hpp"
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

// Far more than the approximation's error, far less than the spacing of single-precision
// numbers near any orientation of whole-number derivatives (atan2 of at least 1/1020 in size).
constexpr double kMidpointMargin = 1e-12;

// The orientation of four pairs of whole-number derivatives at once, without branches.
// atan2(y, x) is approximated within about 1e-15: the ratio t of the smaller magnitude to the
// larger lies within 1/32 of some k / 16, so atan t = atan(k / 16) + atan r with
// r = (t - k / 16) / (1 + t k / 16), |r| <= 1/32, whose odd series to r^11 leaves out less than
// 1e-20; each rounding adds a few 1e-16 at most. Then the octant: pi / 2 - a above the diagonal,
// pi - a for x < 0, the sign of y. The library's atan2 (within half a unit of the last double
// place) rounds to the same single-precision value unless the approximation lies within the
// margin of a rounding boundary, which shows as a - margin and a + margin rounding apart; such
// a lane, rare, is left to the library. Lanes whose derivatives are both 0 give 0.
SCENETEXT_BEGIN_AVX2

void fourOrientations(const int* dx, const int* dy, float* out) {
  const __m128i ix = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dx));
  const __m128i iy = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dy));
  const __m256d x = _mm256_cvtepi32_pd(ix), y = _mm256_cvtepi32_pd(iy);
  const __m256d zero = _mm256_setzero_pd(), one = _mm256_set1_pd(1.0);
  const __m256d sign = _mm256_set1_pd(-0.0);
  const __m256d ax = _mm256_andnot_pd(sign, x), ay = _mm256_andnot_pd(sign, y);
  const __m256d steep = _mm256_cmp_pd(ay, ax, _CMP_GT_OQ);
  const __m256d both0 = _mm256_and_pd(_mm256_cmp_pd(x, zero, _CMP_EQ_OQ),
                                      _mm256_cmp_pd(y, zero, _CMP_EQ_OQ));
  const __m256d larger = _mm256_blendv_pd(_mm256_blendv_pd(ax, ay, steep), one, both0);
  const __m256d t = _mm256_div_pd(_mm256_blendv_pd(ay, ax, steep), larger);
  const __m256d k = _mm256_floor_pd(_mm256_add_pd(_mm256_mul_pd(t, _mm256_set1_pd(16.0)),
                                                  _mm256_set1_pd(0.5)));
  const __m256d c = _mm256_mul_pd(k, _mm256_set1_pd(1.0 / 16));
  const __m256d r = _mm256_div_pd(_mm256_sub_pd(t, c), _mm256_add_pd(one, _mm256_mul_pd(t, c)));
  const __m256d r2 = _mm256_mul_pd(r, r);
  const auto term = [&](double coefficient, __m256d rest) {
    return _mm256_add_pd(_mm256_set1_pd(coefficient), _mm256_mul_pd(r2, rest));
  };
  const __m256d last = _mm256_sub_pd(_mm256_set1_pd(1.0 / 9),
                                     _mm256_div_pd(r2, _mm256_set1_pd(11.0)));
  const __m256d series =
      _mm256_mul_pd(r, term(1.0, term(-1.0 / 3, term(1.0 / 5, term(-1.0 / 7, last)))));
  const __m256d base =
      _mm256_mask_i32gather_pd(zero, arctangentsOfSixteenths().data(), _mm256_cvttpd_epi32(k),
                               _mm256_castsi256_pd(_mm256_set1_epi64x(-1)), sizeof(double));
  __m256d a = _mm256_add_pd(base, series);
  a = _mm256_blendv_pd(a, _mm256_sub_pd(_mm256_set1_pd(kPi / 2), a), steep);
  a = _mm256_blendv_pd(a, _mm256_sub_pd(_mm256_set1_pd(kPi), a),
                       _mm256_cmp_pd(x, zero, _CMP_LT_OQ));
  a = _mm256_blendv_pd(a, _mm256_xor_pd(a, sign), _mm256_cmp_pd(y, zero, _CMP_LT_OQ));
  const __m128 nearest = _mm256_cvtpd_ps(a);
  const __m256d margin = _mm256_set1_pd(kMidpointMargin);
  const __m128 sure = _mm_or_ps(
      _mm_cmpeq_ps(_mm256_cvtpd_ps(_mm256_sub_pd(a, margin)),
                   _mm256_cvtpd_ps(_mm256_add_pd(a, margin))),
      _mm256_cvtpd_ps(_mm256_cmp_pd(a, zero, _CMP_EQ_OQ)));  // atan2(0, x > 0) is exactly 0
  // The fold, in double as everywhere.
  const __m256d t2 = _mm256_cvtps_pd(nearest);
  __m256d folded = _mm256_blendv_pd(
      t2, _mm256_add_pd(t2, _mm256_set1_pd(kPi)),
      _mm256_cmp_pd(t2, _mm256_set1_pd(kPi / 2), _CMP_GT_OQ));
  folded = _mm256_blendv_pd(folded, _mm256_add_pd(t2, _mm256_set1_pd(3 * kPi)),
                            _mm256_cmp_pd(t2, _mm256_set1_pd(-kPi / 2), _CMP_LE_OQ));
  const __m128 zeroLanes = _mm256_cvtpd_ps(both0);
  _mm_storeu_ps(out, _mm_andnot_ps(zeroLanes, _mm256_cvtpd_ps(folded)));
  const int unsure = ~_mm_movemask_ps(_mm_or_ps(sure, zeroLanes)) & 0xf;
  for (int lane = 0; lane < 4; ++lane) {
    if (unsure >> lane & 1) out[lane] = foldedOrientation(dx[lane], dy[lane]);
  }
}

SCENETEXT_END_TARGET


}  // namespace

void sobelOrientations(const int* dx, const int* dy, float* out, int count) {
  int i = 0;
  if (haveAvx2()) {
    for (; i + 4 <= count; i += 4) fourOrientations(dx + i, dy + i, out + i);
    if (i < count) {
      int x[4] = {}, y[4] = {};
      float values[4];
      std::copy(dx + i, dx + count, x);
      std::copy(dy + i, dy + count, y);
      fourOrientations(x, y, values);
      std::copy(values, values + (count - i), out + i);
      return;
    }
  }
  for (; i < count; ++i) {
    out[i] = dx[i] == 0 && dy[i] == 0 ? 0.0f : foldedOrientation(dx[i], dy[i]);
  }
}

float sobelOrientation(int dx, int dy) {
  float value;
  sobelOrientations(&dx, &dy, &value, 1);
  return value;
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

// The 3 x 3 Sobel derivatives of the grey image at one pixel, edge pixels repeated. The
// derivatives of 8-bit values are whole numbers below 1021 in magnitude: every sum of cv::Sobel's
// float passes is exact, so integer sums give its values bit for bit (no -0: an integer converts
// to +0).
void sobelSums(const cv::Mat& grey, int row, int col, int& dx, int& dy) {
  const int up = std::max(row - 1, 0), down = std::min(row + 1, grey.rows - 1);
  const int left = std::max(col - 1, 0), right = std::min(col + 1, grey.cols - 1);
  const uchar* above = grey.ptr<uchar>(up);
  const uchar* here = grey.ptr<uchar>(row);
  const uchar* below = grey.ptr<uchar>(down);
  dx = (above[right] + 2 * here[right] + below[right]) - (above[left] + 2 * here[left] + below[left]);
  dy = (below[left] + 2 * below[col] + below[right]) - (above[left] + 2 * above[col] + above[right]);
}

// O[y][x] = G at the pixel's nearest edge pixel. G is needed only where some pixel's nearest
// edge lies (hardly more than the edge pixels, a small part of the patch), so those positions
// are gathered first, without a branch per pixel, and their orientations computed together.
cv::Mat edgeOrientationAt(const cv::Mat& grey, const std::vector<int>& nearest) {
  const int total = static_cast<int>(grey.total());
  thread_local std::vector<float> folded;
  thread_local std::vector<uchar> needed;
  thread_local std::vector<int> positions, dx, dy;
  thread_local std::vector<float> values;
  constexpr int kChunk = 16;  // need flags tested sixteen at a time
  folded.resize(total);
  needed.assign(total + kChunk, 0);
  positions.resize(total);
  dx.resize(total);
  dy.resize(total);
  // Plain pointers: stores through them cannot change the buffers' own addresses.
  uchar* need = needed.data();
  for (const int at : nearest) need[at] = 1;
  int* position = positions.data();
  int* derivativeX = dx.data();
  int* derivativeY = dy.data();
  int count = 0;
  const int cols = grey.cols;
  for (int y = 0; y < grey.rows; ++y) {
    const uchar* row = need + static_cast<ptrdiff_t>(y) * cols;
    for (int x0 = 0; x0 < cols; x0 += kChunk) {
      // Most positions are not needed: a chunk's flags become a bit mask, walked bit by bit.
      const __m128i flags = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x0));
      unsigned bits = ~_mm_movemask_epi8(_mm_cmpeq_epi8(flags, _mm_setzero_si128())) & 0xffffu;
      if (cols - x0 < kChunk) bits &= (1u << (cols - x0)) - 1;  // the flags past the row's end
      for (; bits != 0; bits &= bits - 1) {
        const int x = x0 + __builtin_ctz(bits);
        position[count] = y * cols + x;
        sobelSums(grey, y, x, derivativeX[count], derivativeY[count]);
        ++count;
      }
    }
  }
  values.resize(count);
  sobelOrientations(dx.data(), dy.data(), values.data(), count);
  float* orientation = folded.data();
  for (int i = 0; i < count; ++i) orientation[position[i]] = values[i];
  cv::Mat o(grey.size(), CV_32FC1);
  float* out = o.ptr<float>(0);
  const int* source = nearest.data();
  for (int p = 0; p < total; ++p) out[p] = orientation[source[p]];
  return o;
}

}  // namespace

float orientationAt(const cv::Mat& grey, int row, int col) {
  int dx, dy;
  sobelSums(grey, row, col, dx, dy);
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
