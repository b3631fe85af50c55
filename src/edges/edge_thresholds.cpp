#include "edges/edge_thresholds.hpp"

#include <opencv2/imgproc.hpp>

namespace scenetext::edges {
namespace {

// Label values: a candidate above the low threshold, and one reached from a strong point.
constexpr uchar kCandidate = 1;
constexpr uchar kConnected = 2;
constexpr uchar kEdge = 255;

}  // namespace

cv::Mat normaliseMagnitude(const cv::Mat& magnitude) {
  CV_Assert(magnitude.type() == CV_32FC1);
  double maximum = 0.0;
  cv::minMaxLoc(magnitude, nullptr, &maximum);
  cv::Mat normalised = magnitude.clone();
  // A zero maximum means a zero gradient everywhere: nothing to scale, no candidate later.
  if (maximum == 0.0) return normalised;
  // The single-precision quotient of two floats equals the double quotient rounded to float.
  const float divisor = static_cast<float>(maximum);
  for (int r = 0; r < normalised.rows; ++r) {
    float* row = normalised.ptr<float>(r);
    for (int c = 0; c < normalised.cols; ++c) row[c] = row[c] / divisor;
  }
  return normalised;
}

EdgeThresholds thresholdsForBin(int bin) {
  const double high = bin / 64.0;
  return {bin, high, kLowToHighRatio * high};
}

EdgeThresholds computeEdgeThresholds(const cv::Mat& normalised, float edgeFraction) {
  CV_Assert(normalised.type() == CV_32FC1);
  const int channels[] = {0};
  const int histSize[] = {kMagnitudeBins};
  const float range[] = {kHistogramLower, kHistogramUpper};
  const float* ranges[] = {range};
  cv::Mat histogram;
  cv::calcHist(&normalised, 1, channels, cv::noArray(), histogram, 1, histSize, ranges, true,
               false);
  // Every pixel counts towards N, including those the histogram leaves out; the product is
  // formed in double (0.9f * 100 is 89.9999976, so a count of 90 already passes it).
  const double limit = static_cast<double>(normalised.total()) * static_cast<double>(edgeFraction);
  float runningTotal = 0.0f;  // the running count is kept in single precision
  for (int i = 0; i < kMagnitudeBins; ++i) {
    runningTotal += histogram.at<float>(i);
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
  // Without a mask of its own, cv::floodFill clears a temporary one of the whole image on every
  // call. One mask serves all fills instead: it marks the pixels filled so far, which hold 2 and
  // so lie outside any later region of 1s.
  cv::Mat filled = cv::Mat::zeros(labels.rows + 2, labels.cols + 2, CV_8UC1);
  for (const EdgePoint& p : strong) {
    // A seed that an earlier fill already relabelled would refill its own region with the same
    // value: skipping it changes nothing.
    if (labels.at<uchar>(p.y, p.x) != kCandidate) continue;
    cv::floodFill(labels, filled, cv::Point(p.x, p.y), cv::Scalar(kConnected), nullptr,
                  cv::Scalar(0), cv::Scalar(0), 8);
  }
  for (int r = 0; r < labels.rows; ++r) {
    uchar* row = labels.ptr<uchar>(r);
    for (int c = 0; c < labels.cols; ++c) row[c] = row[c] == kConnected ? kEdge : 0;
  }
}

}  // namespace scenetext::edges
