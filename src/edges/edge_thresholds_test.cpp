#include "edges/edge_thresholds.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "edges/edge_detection.hpp"

namespace scenetext::edges {
namespace {

// A 10 x 10 normalised magnitude (N = 100) whose first `count` elements, row-major, are `value`
// and the rest `rest`.
cv::Mat hundredPixels(int count, float value, float rest) {
  cv::Mat m(10, 10, CV_32FC1, cv::Scalar(rest));
  for (int i = 0; i < count; ++i) m.at<float>(i / 10, i % 10) = value;
  return m;
}

struct WalkCase {
  const char* name;
  cv::Mat normalised;
  int bin;
};

TEST(ComputeEdgeThresholdsTest, WalkStopsAtTheFirstBinAboveTheFraction) {
  const float kTop = 125.0f / 126;  // the histogram's excluded upper bound
  const WalkCase cases[] = {
      // 90 > 100 * 0.899999976: a running total of 90 already stops the walk in bin 0.
      {"90 of 100 in bin 0", hundredPixels(90, 0.0f, 0.5f), 1},
      {"89 of 100 in bin 0, the rest in bin 32", hundredPixels(89, 0.0f, 0.5f), 33},
      // Values of 125/126 and more, the maximum 1.0 among them, are never counted.
      {"11 of 100 at the maximum", hundredPixels(11, 1.0f, 0.0f), 65},
      {"10 of 100 at the maximum", hundredPixels(10, 1.0f, 0.0f), 1},
      {"11 of 100 at the upper bound", hundredPixels(11, kTop, 0.0f), 65},
      {"11 of 100 just below the upper bound", hundredPixels(11, std::nextafter(kTop, 0.0f), 0.0f),
       64},
      // Bin k starts at -1/126 + k/64: 0.5 lies in bin 32, 1/64 - 1/126 starts bin 1.
      {"bin 1 starts at 1/64 - 1/126", hundredPixels(100, 1.0f / 64 - 1.0f / 126 + 1e-6f, 0.0f), 2},
      {"just below bin 1", hundredPixels(100, 1.0f / 64 - 1.0f / 126 - 1e-6f, 0.0f), 1},
  };
  for (const WalkCase& c : cases) {
    const EdgeThresholds t = computeEdgeThresholds(c.normalised, kEdgeFraction);
    EXPECT_EQ(t.bin, c.bin) << c.name;
    EXPECT_EQ(t.high, c.bin / 64.0) << c.name;
    EXPECT_EQ(t.low, 0.4 * (c.bin / 64.0)) << c.name;
  }
}

TEST(ComputeEdgeThresholdsTest, FractionOfOneNeverStops) {
  EXPECT_EQ(computeEdgeThresholds(hundredPixels(0, 0.0f, 0.0f), 1.0f).bin, 65);
  EXPECT_EQ(computeEdgeThresholds(hundredPixels(0, 0.0f, 0.0f), 0.5f).bin, 1);
}

TEST(NormaliseMagnitudeTest, DividesByTheMaximum) {
  cv::Mat magnitude = (cv::Mat_<float>(1, 4) << 0.0f, 0.03f, 0.0859f, 0.05f);
  const cv::Mat m = normaliseMagnitude(magnitude);
  EXPECT_EQ(m.at<float>(0, 0), 0.0f);
  EXPECT_EQ(m.at<float>(0, 2), 1.0f);
  EXPECT_EQ(m.at<float>(0, 1), static_cast<float>(static_cast<double>(0.03f) / 0.0859f));
  EXPECT_EQ(magnitude.at<float>(0, 2), 0.0859f);  // the input is left alone
  EXPECT_EQ(cv::countNonZero(normaliseMagnitude(cv::Mat::zeros(3, 3, CV_32FC1))), 0);
}

// Gradients pointing right everywhere (sector 1, d = 0): a pixel survives suppression when its
// magnitude is not below its east and west neighbours.
GradientMaps rightwardGradients(int rows, int cols) {
  return {cv::Mat(rows, cols, CV_32FC1, cv::Scalar(1.0)), cv::Mat::zeros(rows, cols, CV_32FC1),
          cv::Mat()};
}

TEST(LabelEdgeCandidatesTest, LowAndHighThresholdsAreStrict) {
  // bin 5: high = 5/64 = 0.078125 and low = 0.03125, both exact in single precision.
  const EdgeThresholds t = thresholdsForBin(5);
  ASSERT_EQ(static_cast<float>(t.low), t.low);
  cv::Mat m = cv::Mat::zeros(6, 5, CV_32FC1);  // a ridge in column 2
  m.at<float>(1, 2) = static_cast<float>(t.low);             // equal to low: not a candidate
  m.at<float>(2, 2) = std::nextafter(static_cast<float>(t.low), 1.0f);  // candidate
  m.at<float>(3, 2) = static_cast<float>(t.high);            // candidate, not strong
  m.at<float>(4, 2) = std::nextafter(static_cast<float>(t.high), 1.0f);  // strong
  std::vector<EdgePoint> strong;
  const cv::Mat labels = labelEdgeCandidates(rightwardGradients(6, 5), m, t, strong);
  ASSERT_EQ(labels.type(), CV_8UC1);
  EXPECT_EQ(labels.at<uchar>(1, 2), 0);
  EXPECT_EQ(labels.at<uchar>(2, 2), 1);
  EXPECT_EQ(labels.at<uchar>(3, 2), 1);
  EXPECT_EQ(labels.at<uchar>(4, 2), 1);
  EXPECT_EQ(cv::countNonZero(labels), 3);
  ASSERT_EQ(strong.size(), 1u);
  EXPECT_EQ(strong[0].x, 2);
  EXPECT_EQ(strong[0].y, 4);
}

TEST(LabelEdgeCandidatesTest, StrongPointsFollowTheSectorOrder) {
  // Two strong maxima: the sector 3 one (gradient down) comes after the sector 1 one (gradient
  // right) even though it lies earlier in the scan.
  GradientMaps g = rightwardGradients(5, 5);
  g.gx.at<float>(1, 2) = 0.0f;
  g.gy.at<float>(1, 2) = 1.0f;
  cv::Mat m = cv::Mat::zeros(5, 5, CV_32FC1);
  m.at<float>(1, 2) = 1.0f;
  m.at<float>(3, 2) = 1.0f;
  std::vector<EdgePoint> strong;
  labelEdgeCandidates(g, m, thresholdsForBin(1), strong);
  ASSERT_EQ(strong.size(), 2u);
  EXPECT_EQ(strong[0].y, 3);
  EXPECT_EQ(strong[1].y, 1);
}

cv::Mat labelsFromPicture(const std::vector<std::string>& rows) {
  cv::Mat labels(static_cast<int>(rows.size()), static_cast<int>(rows[0].size()), CV_8UC1);
  for (int r = 0; r < labels.rows; ++r)
    for (int c = 0; c < labels.cols; ++c) labels.at<uchar>(r, c) = rows[r][c] == '.' ? 0 : 1;
  return labels;
}

TEST(TraceHysteresisTest, KeepsChainsReachingAStrongPointThroughDiagonals) {
  // 'S' strong, '1' candidate: the left chain touches S only diagonally and survives whole, the
  // right chain has no strong point and vanishes.
  cv::Mat labels = labelsFromPicture({
      ".........",
      ".1....1..",
      ".1....1..",
      "..1...1..",
      "...S.....",
      ".........",
  });
  traceHysteresis(labels, {{3, 4}});
  const cv::Mat expected = labelsFromPicture({
      ".........",
      ".1.......",
      ".1.......",
      "..1......",
      "...S.....",
      ".........",
  }) * 255;
  EXPECT_EQ(cv::norm(labels, expected, cv::NORM_INF), 0.0);
}

TEST(TraceHysteresisTest, RepeatedAndEarlierFilledSeedsChangeNothing) {
  cv::Mat labels = labelsFromPicture({"....", ".11.", "...."});
  traceHysteresis(labels, {{1, 1}, {2, 1}, {1, 1}});
  EXPECT_EQ(labels.at<uchar>(1, 1), 255);
  EXPECT_EQ(labels.at<uchar>(1, 2), 255);
  EXPECT_EQ(cv::countNonZero(labels), 2);
}

}  // namespace
}  // namespace scenetext::edges
