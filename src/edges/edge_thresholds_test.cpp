#include "edges/edge_thresholds.hpp"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "edges/edge_detection.hpp"
#include "edges/gradients.hpp"
#include "edges/non_max_suppression.hpp"

namespace scenetext::edges {
namespace {

// A 10 x 10 normalised magnitude (N = 100): `count` elements of `value`, the rest `rest`.
cv::Mat hundredPixels(int count, float value, float rest) {
  cv::Mat m(10, 10, CV_32FC1, cv::Scalar(rest));
  for (int i = 0; i < count; ++i) m.at<float>(i / 10, i % 10) = value;
  return m;
}

TEST(ComputeEdgeThresholdsTest, WalkStopsAtTheFirstBinAboveTheFraction) {
  const float top = 125.0f / 126;  // the histogram's excluded upper bound
  const float bin1 = 1.0f / 64 - 1.0f / 126;
  const struct {
    const char* name;
    cv::Mat normalised;
    int bin;
    float fraction = kEdgeFraction;
  } cases[] = {
      // 90 > 100 * 0.899999976 (a double product): a running total of 90 already stops.
      {"90 of 100 in bin 0", hundredPixels(90, 0.0f, 0.5f), 1},
      {"89 in bin 0, the rest in bin 32", hundredPixels(89, 0.0f, 0.5f), 33},
      // Values of 125/126 and more, the maximum 1.0 among them, are never counted.
      {"11 at the maximum", hundredPixels(11, 1.0f, 0.0f), 65},
      {"10 at the maximum", hundredPixels(10, 1.0f, 0.0f), 1},
      {"11 at the upper bound", hundredPixels(11, top, 0.0f), 65},
      {"11 just below the upper bound", hundredPixels(11, std::nextafter(top, 0.0f), 0.0f), 64},
      {"bin 1 starts at 1/64 - 1/126", hundredPixels(100, bin1 + 1e-6f, 0.0f), 2},
      {"just below bin 1", hundredPixels(100, bin1 - 1e-6f, 0.0f), 1},
      // The running total must exceed N * fraction, not merely reach it.
      {"50 of 100 in bin 0 at one half", hundredPixels(50, 0.0f, 0.5f), 33, 0.5f},
      {"51 of 100 in bin 0 at one half", hundredPixels(51, 0.0f, 0.5f), 1, 0.5f},
  };
  for (const auto& c : cases) {
    const EdgeThresholds t = computeEdgeThresholds(c.normalised, c.fraction);
    EXPECT_EQ(t.bin, c.bin) << c.name;
    EXPECT_EQ(t.high, c.bin / 64.0) << c.name;
    EXPECT_EQ(t.low, 0.4 * (c.bin / 64.0)) << c.name;
  }
}

// The first bin whose running count of the histogram exceeds the limit, walked bin by bin.
int binOfHistogramWalk(const cv::Mat& normalised, float fraction) {
  const MagnitudeHistogram histogram = magnitudeHistogram(normalised);
  const double limit = static_cast<double>(normalised.total()) * static_cast<double>(fraction);
  float runningTotal = 0.0f;
  for (int i = 0; i < kMagnitudeBins; ++i) {
    runningTotal += histogram[i];
    if (runningTotal > limit) return i + 1;
  }
  return kMagnitudeBins + 1;
}

// The thresholds come from counts of values below each bin's start, found by bisection; they
// must give the bin of the histogram walk on any map: values crowding the bins' bounds and the
// range's ends, negative ones, NaN, odd sizes, fractions from 0 to 1.
TEST(ComputeEdgeThresholdsTest, BisectionOfCountsEqualsTheHistogramWalk) {
  std::vector<float> bounds;
  for (int k = 0; k <= kMagnitudeBins; ++k) {
    float v = static_cast<float>(kHistogramLower + k / 64.0 * (kHistogramUpper - kHistogramLower));
    for (int step = 0; step < 3; ++step) v = std::nextafter(v, -1.0f);
    for (int step = 0; step < 6; ++step, v = std::nextafter(v, 2.0f)) bounds.push_back(v);
  }
  cv::RNG rng(31);
  const float fractions[] = {0.0f, 0.1f, 0.5f, kEdgeFraction, 0.97f, 1.0f};
  for (int trial = 0; trial < 300; ++trial) {
    const int rows = rng.uniform(1, 40), cols = rng.uniform(1, 70);
    cv::Mat m(rows, cols, CV_32FC1);
    const double spread = std::pow(10.0, rng.uniform(-3.0, 0.0));  // crowded low values
    for (int i = 0; i < rows * cols; ++i) {
      float& v = m.at<float>(i / cols, i % cols);
      switch (rng.uniform(0, 8)) {
        case 0:
          v = bounds[rng.uniform(0, static_cast<int>(bounds.size()))];
          break;
        case 1:
          v = rng.uniform(0, 3) == 0 ? std::nanf("") : -static_cast<float>(rng.uniform(0.0, 0.02));
          break;
        case 2:
          v = rng.uniform(0, 2) == 0 ? 1.0f : -0.0f;
          break;
        default:
          v = static_cast<float>(rng.uniform(0.0, spread));
      }
    }
    for (const float fraction : fractions) {
      ASSERT_EQ(computeEdgeThresholds(m, fraction).bin, binOfHistogramWalk(m, fraction))
          << "trial " << trial << " fraction " << fraction;
    }
  }
}

// The counting is the library's own: every value near each of the 65 bin bounds (and past the
// range's ends), and random magnitudes, land in the bin cv::calcHist puts them in.
TEST(MagnitudeHistogramTest, CountsAsTheLibraryHistogramDoes) {
  const int channels[] = {0};
  const int histSize[] = {kMagnitudeBins};
  const float range[] = {kHistogramLower, kHistogramUpper};
  const float* ranges[] = {range};
  std::vector<float> values;
  for (int k = 0; k <= kMagnitudeBins; ++k) {
    float v = std::max(
        0.0f, static_cast<float>(kHistogramLower + k / 64.0 * (kHistogramUpper - kHistogramLower)));
    for (int step = 0; step < 40; ++step) v = std::nextafter(v, -1.0f);
    for (int step = 0; step < 80; ++step, v = std::nextafter(v, 2.0f)) values.push_back(v);
  }
  cv::RNG rng(9);
  for (int i = 0; i < 5000; ++i) values.push_back(static_cast<float>(rng.uniform(0.0, 1.0)));
  for (const float v : values) {
    const cv::Mat one(1, 1, CV_32FC1, cv::Scalar(v));
    cv::Mat expected;
    cv::calcHist(&one, 1, channels, cv::noArray(), expected, 1, histSize, ranges, true, false);
    const MagnitudeHistogram actual = magnitudeHistogram(one);
    for (int b = 0; b < kMagnitudeBins; ++b) {
      ASSERT_EQ(actual[b], expected.at<float>(b)) << "value " << v << " bin " << b;
    }
  }
}

TEST(NormaliseMagnitudeTest, DividesByTheMaximum) {
  const cv::Mat magnitude = (cv::Mat_<float>(1, 4) << 0.0f, 0.03f, 0.0859f, 0.05f);
  const cv::Mat m = normaliseMagnitude(magnitude);
  EXPECT_EQ(m.at<float>(0, 0), 0.0f);
  EXPECT_EQ(m.at<float>(0, 1), static_cast<float>(static_cast<double>(0.03f) / 0.0859f));
  EXPECT_EQ(m.at<float>(0, 2), 1.0f);
  EXPECT_EQ(magnitude.at<float>(0, 2), 0.0859f);
  EXPECT_EQ(cv::countNonZero(normaliseMagnitude(cv::Mat::zeros(3, 3, CV_32FC1))), 0);
}

TEST(LabelLocalMaximaTest, LowAndHighThresholdsAreStrict) {
  // Bin 5: high = 0.078125 and low = 0.03125, both exact in single precision. Gradients point
  // right (sector 1, d = 0) and the ridge in column 2 stands above its east and west neighbours.
  const EdgeThresholds t = thresholdsForBin(5);
  const float low = static_cast<float>(t.low);
  const float high = static_cast<float>(t.high);
  ASSERT_EQ(low, t.low);
  cv::Mat m = cv::Mat::zeros(6, 5, CV_32FC1);
  m.at<float>(1, 2) = low;                         // not a candidate
  m.at<float>(2, 2) = std::nextafter(low, 1.0f);   // candidate
  m.at<float>(3, 2) = high;                        // candidate, not strong
  m.at<float>(4, 2) = std::nextafter(high, 1.0f);  // strong
  const GradientMaps rightward{cv::Mat(6, 5, CV_32FC1, cv::Scalar(1.0)),
                               cv::Mat::zeros(6, 5, CV_32FC1), cv::Mat()};
  std::vector<EdgePoint> strong;
  cv::Mat labels;
  labelLocalMaxima(rightward.gx, rightward.gy, m, t.low, t.high, labels, strong);
  EXPECT_EQ(labels.at<uchar>(1, 2), 0);
  EXPECT_EQ(labels.at<uchar>(2, 2), 1);
  EXPECT_EQ(labels.at<uchar>(3, 2), 1);
  EXPECT_EQ(labels.at<uchar>(4, 2), 1);
  EXPECT_EQ(cv::countNonZero(labels), 3);
  ASSERT_EQ(strong.size(), 1u);
  EXPECT_TRUE(strong[0].x == 2 && strong[0].y == 4);
}

// '1' candidate, 'S' strong (also a candidate), '.' nothing.
cv::Mat labelsFromPicture(const std::vector<std::string>& rows) {
  cv::Mat labels(static_cast<int>(rows.size()), static_cast<int>(rows[0].size()), CV_8UC1);
  for (int r = 0; r < labels.rows; ++r)
    for (int c = 0; c < labels.cols; ++c) labels.at<uchar>(r, c) = rows[r][c] == '.' ? 0 : 1;
  return labels;
}

TEST(TraceHysteresisTest, KeepsChainsReachingAStrongPointThroughDiagonals) {
  // The left chain touches S only diagonally and survives whole; the right one has no strong
  // point and vanishes. The repeated seed finds its region already relabelled.
  cv::Mat labels = labelsFromPicture(
      {".........", ".1....1..", ".1....1..", "..1...1..", "...S.....", "........."});
  traceHysteresis(labels, {{3, 4}, {1, 1}, {3, 4}});
  const cv::Mat expected = labelsFromPicture({".........", ".1.......", ".1.......", "..1......",
                                              "...S.....", "........."}) *
                           255;
  EXPECT_EQ(cv::norm(labels, expected, cv::NORM_INF), 0.0);
}

TEST(TraceHysteresisTest, EqualsAFillFromEveryStrongPoint) {
  // The literal reading: cv::floodFill from every strong point in turn, no mask, no skipping.
  cv::RNG rng(31);
  for (int trial = 0; trial < 50; ++trial) {
    cv::Mat labels(rng.uniform(2, 40), rng.uniform(2, 40), CV_8UC1);
    rng.fill(labels, cv::RNG::UNIFORM, 0, 2);
    std::vector<EdgePoint> strong;
    for (int k = rng.uniform(0, 30); k > 0; --k) {
      const EdgePoint p{rng.uniform(0, labels.cols), rng.uniform(0, labels.rows)};
      if (labels.at<uchar>(p.y, p.x) == 1) strong.push_back(p);
    }
    cv::Mat expected = labels.clone();
    for (const EdgePoint& p : strong)
      cv::floodFill(expected, cv::Point(p.x, p.y), cv::Scalar(2), nullptr, cv::Scalar(0),
                    cv::Scalar(0), 8);
    expected = (expected == 2);
    traceHysteresis(labels, strong);
    ASSERT_EQ(cv::norm(labels, expected, cv::NORM_INF), 0.0) << "trial " << trial;
  }
}

}  // namespace
}  // namespace scenetext::edges
