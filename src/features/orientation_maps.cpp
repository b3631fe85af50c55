#include "features/orientation_maps.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>

#include <opencv2/imgproc.hpp>

#include "common/instruction_sets.hpp"
#include "features/nearest_edge.hpp"
#include "features/orientation_maps_avx2.hpp"

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

#ifdef SCENETEXT_X86_SIMD
// atan(k / 16), k = 0 .. 16, from the library.
const std::array<double, 17>& arctangentsOfSixteenths() {
  static const std::array<double, 17> table = [] {
    std::array<double, 17> values{};
    for (int k = 0; k <= 16; ++k) values[k] = std::atan(k / 16.0);
    return values;
  }();
  return table;
}

// Four orientations by the AVX2 approximation; the lanes it cannot settle go to the library.
void fourOrientations(const int* dx, const int* dy, float* out) {
  const int unsure = fourOrientationsAvx2(dx, dy, arctangentsOfSixteenths().data(), out);
  for (int lane = 0; lane < 4; ++lane) {
    if (unsure >> lane & 1) {
      out[lane] = foldedOrientation(static_cast<float>(dx[lane]), static_cast<float>(dy[lane]));
    }
  }
}
#endif

}  // namespace

void sobelOrientations(const int* dx, const int* dy, float* out, int count) {
  int i = 0;
#ifdef SCENETEXT_X86_SIMD
  if (haveAvx2()) {
    for (; i + 4 <= count; i += 4) fourOrientations(dx + i, dy + i, out + i);
    if (i < count) {
      // The last few padded with zeros, whose lanes give 0.
      int x[4] = {}, y[4] = {};
      float values[4];
      std::copy(dx + i, dx + count, x);
      std::copy(dy + i, dy + count, y);
      fourOrientations(x, y, values);
      std::copy(values, values + (count - i), out + i);
    }
    return;
  }
#endif
  for (; i < count; ++i) {
    out[i] = dx[i] == 0 && dy[i] == 0
                 ? 0.0f
                 : foldedOrientation(static_cast<float>(dx[i]), static_cast<float>(dy[i]));
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
  dx = (above[right] + 2 * here[right] + below[right]) -
       (above[left] + 2 * here[left] + below[left]);
  dy =
      (below[left] + 2 * below[col] + below[right]) - (above[left] + 2 * above[col] + above[right]);
}

// Eight 0/1 flags as one word, flag k in bit 8k (whatever the processor's byte order).
uint64_t flagWord(const uchar* flags) {
  uint64_t word;
  std::memcpy(&word, flags, sizeof word);
  if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
  return word;
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
  constexpr int kChunk = 8;  // need flags tested eight at a time
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
      // Most positions are not needed: a chunk's flags (each 0 or 1, so the lowest bit of its
      // byte) are read as one word and walked bit by bit.
      uint64_t flags = flagWord(row + x0);
      if (cols - x0 < kChunk) flags &= (uint64_t{1} << 8 * (cols - x0)) - 1;  // past the row's end
      for (; flags != 0; flags &= flags - 1) {
        const int x = x0 + std::countr_zero(flags) / 8;
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

}  // namespace scenetext::features
