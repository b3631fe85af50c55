#include "features/feature_maps.hpp"

#include <gtest/gtest.h>

#include <cstring>

#include <opencv2/imgproc.hpp>

#include "edges/edge_detection.hpp"
#include "features/stripe_contrasts.hpp"
#include "straightforward/feature_maps.hpp"

namespace scenetext::features {
namespace {

TEST(EdgeProjection, OuterProductOfRowAndColumnCounts) {
  cv::Mat e(48, 96, CV_8UC1, cv::Scalar(0));
  EXPECT_EQ(cv::countNonZero(edgeProjectionOfEdgeMap(e)), 0);

  e.at<uchar>(10, 30) = 255;
  cv::Mat p = edgeProjectionOfEdgeMap(e);
  ASSERT_EQ(p.type(), CV_32FC1);
  ASSERT_EQ(p.size(), e.size());
  EXPECT_EQ(p.at<float>(10, 30), 1.0f);
  EXPECT_EQ(cv::countNonZero(p), 1);

  e.setTo(0);
  e.row(20).setTo(255);
  p = edgeProjectionOfEdgeMap(e);
  for (int j = 0; j < 96; ++j) ASSERT_EQ(p.at<float>(20, j), 96.0f) << "column " << j;
  EXPECT_EQ(cv::countNonZero(p), 96);

  // Two pixels in row 5, one of them shared with a column holding three: 2 * 3 there.
  e.setTo(0);
  e.at<uchar>(5, 7) = 255;
  e.at<uchar>(5, 9) = 255;
  e.at<uchar>(6, 9) = 1;  // any non-zero value counts
  e.at<uchar>(7, 9) = 255;
  p = edgeProjectionOfEdgeMap(e);
  EXPECT_EQ(p.at<float>(5, 9), 6.0f);
  EXPECT_EQ(p.at<float>(5, 7), 2.0f);
  EXPECT_EQ(p.at<float>(6, 7), 1.0f);
  EXPECT_EQ(p.at<float>(0, 0), 0.0f);
}

TEST(EdgeProjection, UniformPatchHasNoEdgesAndTextHasSome) {
  const cv::Mat uniform(48, 96, CV_8UC3, cv::Scalar(90, 120, 30));
  EXPECT_EQ(cv::countNonZero(edgeProjectionMap(uniform)), 0);

  cv::Mat block(48, 96, CV_8UC3, cv::Scalar(20, 20, 20));
  cv::rectangle(block, cv::Rect(30, 12, 30, 20), cv::Scalar(230, 230, 230), cv::FILLED);
  const cv::Mat p = edgeProjectionMap(block);
  // The map's total is (sum of row counts) * (sum of column counts) = (edge pixels)^2.
  const double n = cv::countNonZero(edges::detectEdges(block, edges::kEdgeFraction));
  ASSERT_GT(n, 0);
  EXPECT_EQ(cv::sum(p)[0], n * n);
}

// The closed form holds while the total stays within single precision's exact integers (4096
// edge pixels); denser maps, up to all 4608 pixels of a patch, take the entry-by-entry path.
TEST(EdgeProjection, IntegralEqualsTheIntegralImageOfTheMapBitForBit) {
  cv::RNG rng(8);
  for (const double density : {0.0, 0.01, 0.2, 0.5, 0.885, 0.8895, 0.95, 1.0}) {
    cv::Mat e(48, 96, CV_8UC1);
    for (int i = 0; i < 48; ++i) {
      for (int j = 0; j < 96; ++j) e.at<uchar>(i, j) = rng.uniform(0.0, 1.0) < density ? 255 : 0;
    }
    const cv::Mat expected = integralImage(edgeProjectionOfEdgeMap(e));
    const cv::Mat actual = edgeProjectionIntegral(e);
    ASSERT_EQ(actual.type(), CV_32FC1);
    ASSERT_EQ(actual.size(), e.size());
    EXPECT_EQ(std::memcmp(actual.data, expected.data, expected.total() * sizeof(float)), 0)
        << "density " << density << ", " << cv::countNonZero(e) << " edge pixels";
  }
}

// gx, gy, magnitude in this order: a dark-to-bright step from left to right has gx > 0 and
// gy = 0; the step from top to bottom the reverse.
TEST(GradientFeatureMaps, ComeInTheOrderXThenYThenMagnitude) {
  cv::Mat leftRight(48, 96, CV_8UC3, cv::Scalar(0, 0, 0));
  leftRight.colRange(48, 96).setTo(cv::Scalar(255, 255, 255));
  std::vector<cv::Mat> maps = gradientFeatureMaps(leftRight);
  ASSERT_EQ(maps.size(), 3u);
  for (const cv::Mat& m : maps) {
    EXPECT_EQ(m.type(), CV_32FC1);
    EXPECT_EQ(m.size(), cv::Size(96, 48));
  }
  EXPECT_GT(maps[0].at<float>(24, 48), 0.05f);
  EXPECT_NEAR(maps[1].at<float>(24, 48), 0.0f, 1e-6);
  EXPECT_FLOAT_EQ(maps[2].at<float>(24, 48), maps[0].at<float>(24, 48));

  cv::Mat topBottom(48, 96, CV_8UC3, cv::Scalar(0, 0, 0));
  topBottom.rowRange(24, 48).setTo(cv::Scalar(255, 255, 255));
  maps = gradientFeatureMaps(topBottom);
  EXPECT_NEAR(maps[0].at<float>(24, 48), 0.0f, 1e-6);
  EXPECT_GT(maps[1].at<float>(24, 48), 0.05f);
}

}  // namespace
}  // namespace scenetext::features
