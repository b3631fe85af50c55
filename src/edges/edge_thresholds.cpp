#include "edges/edge_thresholds.hpp"

#include <opencv2/imgproc.hpp>

#include <xmmintrin.h>

#include <algorithm>

namespace scenetext::edges {
namespace {

// Label values: a candidate above the low threshold, and one reached from a strong point.
constexpr uchar kCandidate = 1;
constexpr uchar kConnected = 2;
constexpr uchar kEdge = 255;

}  // namespace

cv::Mat normaliseMagnitude(const cv::Mat& magnitude) {
  cv::Mat normalised;
  normaliseMagnitude(magnitude, normalised);
  return normalised;
}

void normaliseMagnitude(const cv::Mat& magnitude, cv::Mat& normalised) {
  CV_Assert(magnitude.type() == CV_32FC1 && !magnitude.empty() && normalised.data != magnitude.data);
  // The largest value, as cv::minMaxLoc finds it (magnitudes are square roots: never NaN, never
  // -0), four running maxima at a time.
  __m128 largest = _mm_set1_ps(magnitude.at<float>(0, 0));
  float maximum = magnitude.at<float>(0, 0);
  for (int r = 0; r < magnitude.rows; ++r) {
    const float* row = magnitude.ptr<float>(r);
    int c = 0;
    for (; c + 4 <= magnitude.cols; c += 4) largest = _mm_max_ps(largest, _mm_loadu_ps(row + c));
    for (; c < magnitude.cols; ++c) maximum = std::max(maximum, row[c]);
  }
  alignas(16) float lanes[4];
  _mm_store_ps(lanes, largest);
  for (const float lane : lanes) maximum = std::max(maximum, lane);
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
  const double lower = kHistogramLower, upper = kHistogramUpper;
  const double scale = kMagnitudeBins / (upper - lower);
  const double offset = -scale * lower;
  std::array<int, kMagnitudeBins> counts{};
  for (int r = 0; r < normalised.rows; ++r) {
    const float* row = normalised.ptr<float>(r);
    for (int c = 0; c < normalised.cols; ++c) {
      const double v = row[c];
      if (!(v >= lower && v < upper)) continue;
      // v >= lower puts v * scale + offset at 0 or above, up to a rounding far smaller than 1:
      // truncation there is the floor, or gives 0 where the floor gives -1 and is clamped to 0.
      const int bin = static_cast<int>(v * scale + offset);
      ++counts[std::clamp(bin, 0, kMagnitudeBins - 1)];
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

EdgeThresholds computeEdgeThresholds(const cv::Mat& normalised, float edgeFraction) {
  const MagnitudeHistogram histogram = magnitudeHistogram(normalised);
  // Every pixel counts towards N, including those the histogram leaves out; the product is
  // formed in double (0.9f * 100 is 89.9999976, so a count of 90 already passes it).
  const double limit = static_cast<double>(normalised.total()) * static_cast<double>(edgeFraction);
  float runningTotal = 0.0f;  // the running count is kept in single precision
  for (int i = 0; i < kMagnitudeBins; ++i) {
    runningTotal += histogram[i];
    if (runningTotal > limit) return thresholdsForBin(i + 1);
  }
  return thresholdsForBin(kMagnitudeBins + 1);
}

cv::Mat labelEdgeCandidates(const GradientMaps& gradients, const cv::Mat& normalised,
                            const EdgeThresholds& thresholds, std::vector<EdgePoint>& strong) {
  cv::Mat labels = cv::Mat::zeros(normalised.size(), CV_8UC1);
  // One scan gives the four sectors' lists, taken in sector order 1 to 4 as four separate
  // suppressions would give them; points at or below the low threshold would be dropped here
  // anyway, so the scan leaves them out.
  SectorPoints sectors;
  suppressNonMaximaAllSectors(sectors, gradients.gx, gradients.gy, normalised, thresholds.low);
  for (const std::vector<EdgePoint>& points : sectors) {
    for (const EdgePoint& p : points) {
      const double v = normalised.at<float>(p.y, p.x);
      if (!(v > thresholds.low)) continue;  // the scan has left these out already
      labels.at<uchar>(p.y, p.x) = kCandidate;
      if (v > thresholds.high) strong.push_back(p);
    }
  }
  return labels;
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
        uchar* around[3] = {labels.ptr<uchar>(p.y - 1) + p.x - 1,
                            labels.ptr<uchar>(p.y) + p.x - 1,
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
