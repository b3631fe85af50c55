#include "edges/edge_thresholds.hpp"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <bit>
#include <cstdint>

#include "common/instruction_sets.hpp"
#include "edges/edge_thresholds_avx2.hpp"

namespace scenetext::edges {
namespace {

// Label values: a candidate above the low threshold, and one reached from a strong point.
constexpr uchar kCandidate = 1;
constexpr uchar kConnected = 2;
constexpr uchar kEdge = 255;

// The bin of a value of [lower, upper): floor(v * a + b) in double, as cv::calcHist's uniform
// 1-D float histogram computes it. v >= lower puts v * a + b at 0 or above, up to a rounding far
// smaller than 1: truncation there is the floor, or gives 0 where the floor gives -1 and is
// clamped to 0.
int binOf(float value) {
  const double lower = kHistogramLower, upper = kHistogramUpper;
  const double scale = kMagnitudeBins / (upper - lower);
  const int bin = static_cast<int>(static_cast<double>(value) * scale + -scale * lower);
  return std::clamp(bin, 0, kMagnitudeBins - 1);
}

}  // namespace

cv::Mat normaliseMagnitude(const cv::Mat& magnitude) {
  cv::Mat normalised;
  normaliseMagnitude(magnitude, normalised);
  return normalised;
}

void normaliseMagnitude(const cv::Mat& magnitude, cv::Mat& normalised) {
  CV_Assert(magnitude.type() == CV_32FC1 && !magnitude.empty() &&
            normalised.data != magnitude.data);
  // The largest value, as cv::minMaxLoc finds it. Magnitudes are square roots, never NaN and
  // never -0, so their bit patterns order as their values: the maximum is taken over those, a
  // reduction that runs on whole vectors.
  uint32_t largest = 0;
  for (int r = 0; r < magnitude.rows; ++r) {
    const float* row = magnitude.ptr<float>(r);
    for (int c = 0; c < magnitude.cols; ++c) {
      largest = std::max(largest, std::bit_cast<uint32_t>(row[c]));
    }
  }
  const float maximum = std::bit_cast<float>(largest);
  normalised.create(magnitude.size(), CV_32FC1);
  // A zero maximum means a zero gradient everywhere: nothing to scale, no candidate later.
  if (maximum == 0.0f) {
    magnitude.copyTo(normalised);
    return;
  }
  // The single-precision quotient of two floats equals the double quotient rounded to float.
  const float divisor = maximum;
  for (int r = 0; r < normalised.rows; ++r) {
    const float* in = magnitude.ptr<float>(r);
    float* out = normalised.ptr<float>(r);
    for (int c = 0; c < normalised.cols; ++c) out[c] = in[c] / divisor;
  }
}

MagnitudeHistogram magnitudeHistogram(const cv::Mat& normalised) {
  CV_Assert(normalised.type() == CV_32FC1);
  // cv::calcHist's uniform 1-D float histogram, written out: the library's call costs more than
  // the counting on a 96 x 48 patch. Checked against it over every float from 0 to 1.
  std::array<int, kMagnitudeBins> counts{};
  for (int r = 0; r < normalised.rows; ++r) {
    const float* row = normalised.ptr<float>(r);
    for (int c = 0; c < normalised.cols; ++c) {
      const float v = row[c];
      if (v >= kHistogramLower && v < kHistogramUpper) ++counts[binOf(v)];
    }
  }
  MagnitudeHistogram histogram;
  for (int i = 0; i < kMagnitudeBins; ++i) histogram[i] = static_cast<float>(counts[i]);
  return histogram;
}

EdgeThresholds thresholdsForBin(int bin) {
  const double high = bin / 64.0;
  return {bin, high, kLowToHighRatio * high};
}

namespace {

// binStarts[i]: the smallest single-precision value of [0, upper) in bin i or above (upper when
// there is none). The bin grows with the value (the double product and sum round monotonically),
// so a value of [lower, upper) lies in bins 0 .. i - 1 exactly when it is below binStarts[i];
// values below 0 lie in bin 0. Found by bisection on the bit patterns, which order the
// non-negative floats as their values.
const std::array<float, kMagnitudeBins>& binStarts() {
  static const std::array<float, kMagnitudeBins> starts = [] {
    std::array<float, kMagnitudeBins> s{};
    const auto bitsOf = [](float v) { return std::bit_cast<uint32_t>(v); };
    for (int i = 0; i < kMagnitudeBins; ++i) {
      uint32_t low = 0, high = bitsOf(kHistogramUpper);  // the start lies in [low, high]
      while (low < high) {
        const uint32_t middle = low + (high - low) / 2;
        if (binOf(std::bit_cast<float>(middle)) >= i) {
          high = middle;
        } else {
          low = middle + 1;
        }
      }
      s[i] = std::bit_cast<float>(low);
    }
    return s;
  }();
  return starts;
}

// How many values v of row[from .. to - 1] have lower <= v < bound (NaN never counts).
int countBelowIn(const float* row, int from, int to, float bound) {
  int count = 0;
  for (int c = from; c < to; ++c) count += row[c] >= kHistogramLower && row[c] < bound;
  return count;
}

int countBelow(const cv::Mat& map, float bound) {
  [[maybe_unused]] const bool avx2 = haveAvx2();
  int count = 0;
  for (int r = 0; r < map.rows; ++r) {
    const float* row = map.ptr<float>(r);
    int c = 0;
#ifdef SCENETEXT_X86_SIMD
    if (avx2) c = countBelowAvx2(row, map.cols, kHistogramLower, bound, &count);
#endif
    count += countBelowIn(row, c, map.cols, bound);
  }
  return count;
}

// The running count of bins 0 .. i: the values of [lower, upper) below the start of bin i + 1.
int countUpToBin(const cv::Mat& map, int i) {
  return countBelow(map, i + 1 < kMagnitudeBins ? binStarts()[i + 1] : kHistogramUpper);
}

}  // namespace

EdgeThresholds computeEdgeThresholds(const cv::Mat& normalised, float edgeFraction) {
  CV_Assert(normalised.type() == CV_32FC1);
  // Every pixel counts towards N, including those the histogram leaves out; the product is
  // formed in double (0.9f * 100 is 89.9999976, so a count of 90 already passes it).
  const double limit = static_cast<double>(normalised.total()) * static_cast<double>(edgeFraction);
  if (normalised.total() < (size_t{1} << 24)) {
    // Every running count is a whole number below 2^24, exact in single precision, and grows with
    // the bin: the first bin whose running count exceeds the limit is found by bisection, each
    // running count being one pass of comparisons instead of a histogram.
    if (!(countUpToBin(normalised, kMagnitudeBins - 1) > limit)) {
      return thresholdsForBin(kMagnitudeBins + 1);
    }
    int first = 0, last = kMagnitudeBins - 1;  // the bin lies in [first, last]
    while (first < last) {
      const int middle = (first + last) / 2;
      if (countUpToBin(normalised, middle) > limit) {
        last = middle;
      } else {
        first = middle + 1;
      }
    }
    return thresholdsForBin(first + 1);
  }
  const MagnitudeHistogram histogram = magnitudeHistogram(normalised);
  float runningTotal = 0.0f;  // the running count is kept in single precision
  for (int i = 0; i < kMagnitudeBins; ++i) {
    runningTotal += histogram[i];
    if (runningTotal > limit) return thresholdsForBin(i + 1);
  }
  return thresholdsForBin(kMagnitudeBins + 1);
}

void traceHysteresis(cv::Mat& labels, const std::vector<EdgePoint>& strong) {
  CV_Assert(labels.type() == CV_8UC1);
  // A fill from a strong point relabels the 8-connected region of candidates around it, and
  // regions never overlap, so the relabelled pixels are the union of the strong points' regions
  // whatever the order of the seeds: one depth-first walk per region, as a fill would cover it.
  const int rows = labels.rows, cols = labels.cols;
  thread_local std::vector<EdgePoint> pending;  // emptied by every walk
  for (const EdgePoint& seed : strong) {
    if (labels.at<uchar>(seed.y, seed.x) != kCandidate) continue;
    labels.at<uchar>(seed.y, seed.x) = kConnected;
    pending.push_back(seed);
    while (!pending.empty()) {
      const EdgePoint p = pending.back();
      pending.pop_back();
      if (p.x > 0 && p.x < cols - 1 && p.y > 0 && p.y < rows - 1) {
        // Inside the frame: the candidate neighbours as a mask of the nine positions, built
        // without a branch each (whether a neighbour is a candidate is hard to foretell).
        uchar* around[3] = {labels.ptr<uchar>(p.y - 1) + p.x - 1, labels.ptr<uchar>(p.y) + p.x - 1,
                            labels.ptr<uchar>(p.y + 1) + p.x - 1};
        unsigned mask = 0;
        for (int k = 0; k < 9; ++k) mask |= unsigned{around[k / 3][k % 3] == kCandidate} << k;
        for (; mask != 0; mask &= mask - 1) {
          const int k = __builtin_ctz(mask);
          around[k / 3][k % 3] = kConnected;
          pending.push_back({p.x - 1 + k % 3, p.y - 1 + k / 3});
        }
        continue;
      }
      for (int y = std::max(p.y - 1, 0); y <= std::min(p.y + 1, rows - 1); ++y) {
        uchar* row = labels.ptr<uchar>(y);
        for (int x = std::max(p.x - 1, 0); x <= std::min(p.x + 1, cols - 1); ++x) {
          if (row[x] != kCandidate) continue;
          row[x] = kConnected;
          pending.push_back({x, y});
        }
      }
    }
  }
  for (int r = 0; r < rows; ++r) {
    uchar* row = labels.ptr<uchar>(r);
    for (int c = 0; c < cols; ++c) row[c] = row[c] == kConnected ? kEdge : 0;
  }
}

}  // namespace scenetext::edges
