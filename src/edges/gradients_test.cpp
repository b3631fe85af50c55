#include "edges/gradients.hpp"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <numbers>

namespace scenetext::edges {
namespace {

TEST(GaussianKernelsTest, TapsOfTheUnnormalisedGaussianAndItsDerivatives) {
  const GaussianKernels k = buildGaussianKernels();
  ASSERT_EQ(k.row.size(), cv::Size(9, 1));
  ASSERT_EQ(k.kx.size(), cv::Size(9, 9));
  const double taps[9] = {5.3e-5,   0.001768, 0.021539, 0.096532, 0.159155,
                          0.096532, 0.021539, 0.001768, 5.3e-5};
  for (int j = 0; j < 9; ++j) {
    EXPECT_NEAR(k.row.at<float>(0, j), taps[j], 5e-7) << "tap " << j;
    EXPECT_EQ(k.column.at<float>(j, 0), k.row.at<float>(0, j)) << "tap " << j;
  }
  EXPECT_EQ(k.row.at<float>(0, 4), static_cast<float>(1.0 / (2.0 * std::numbers::pi)));
  // kx.at(row, col) is KX at column offset col - 4 and row offset row - 4.
  EXPECT_NEAR(k.kx.at<float>(4, 5), 0.193065, 5e-7);  // KX(1, 0)
  EXPECT_NEAR(k.kx.at<float>(5, 5), 0.117100, 5e-7);  // KX(1, 1)
  EXPECT_NEAR(k.kx.at<float>(4, 8), 0.000427, 5e-7);  // KX(4, 0)
  for (int r = 0; r < 9; ++r)
    for (int c = 0; c < 9; ++c) {
      EXPECT_EQ(k.kx.at<float>(r, c), -k.kx.at<float>(r, 8 - c)) << r << "," << c;
      EXPECT_EQ(k.ky.at<float>(r, c), k.kx.at<float>(c, r)) << r << "," << c;
    }
}

TEST(ComputeGradientsTest, UniformImageHasNoGradient) {
  const GradientMaps maps = computeGradients(cv::Mat(12, 10, CV_8UC1, cv::Scalar(200)));
  for (const cv::Mat* m : {&maps.gx, &maps.gy, &maps.magnitude}) {
    EXPECT_EQ(m->type(), CV_32FC1);
    EXPECT_EQ(m->size(), cv::Size(10, 12));
    EXPECT_LT(cv::norm(*m, cv::NORM_INF), 1e-6);
  }
}

TEST(ComputeGradientsTest, StepsGivePositiveGradientsTowardsTheBrightSide) {
  // Dark left, bright from column 10: gx peaks at 0.0859 on columns 9 and 10 of every row.
  cv::Mat step(10, 20, CV_8UC1, cv::Scalar(0));
  step.colRange(10, 20).setTo(255);
  const GradientMaps maps = computeGradients(step);
  for (int r = 0; r < 10; ++r) {
    EXPECT_NEAR(maps.gx.at<float>(r, 9), 0.0859, 1e-4) << "row " << r;
    EXPECT_NEAR(maps.gx.at<float>(r, 10), 0.0859, 1e-4) << "row " << r;
  }
  EXPECT_GT(cv::norm(maps.gx, cv::NORM_L1), 0.0);
  EXPECT_LT(cv::norm(maps.gy, cv::NORM_INF), 1e-6);
  EXPECT_NEAR(cv::norm(maps.magnitude, cv::NORM_INF), 0.0859, 1e-4);

  cv::Mat mirrored;
  cv::flip(step, mirrored, 1);
  EXPECT_NEAR(computeGradients(mirrored).gx.at<float>(5, 10), -0.0859, 1e-4);
  const GradientMaps down = computeGradients(step.t());  // bright below row 10
  EXPECT_NEAR(down.gy.at<float>(9, 5), 0.0859, 1e-4);
  EXPECT_LT(cv::norm(down.gx, cv::NORM_INF), 1e-6);
}

TEST(MakeGreyPlaneTest, ConvertsAtTheSameSizeAndStretchesWithoutBorder) {
  cv::Mat colour(7, 9, CV_8UC3);
  cv::randu(colour, 0, 256);
  cv::Mat expected;
  cv::cvtColor(colour, expected, cv::COLOR_BGR2GRAY);
  EXPECT_EQ(cv::norm(makeGreyPlane(colour, 9, 7), expected, cv::NORM_INF), 0.0);
  cv::Mat plane = makeGreyPlane(expected, 9, 7);  // single channel: an unchanged copy
  EXPECT_EQ(cv::norm(plane, expected, cv::NORM_INF), 0.0);
  EXPECT_NE(plane.data, expected.data);

  // 0 | 200 halves stretched from 6 x 3 to 8 x 4: the outer columns keep their values and the
  // step stays in the middle.
  cv::Mat halves(3, 6, CV_8UC3, cv::Scalar::all(0));
  halves.colRange(3, 6).setTo(cv::Scalar::all(200));
  const cv::Mat grey = makeGreyPlane(halves, 8, 4);
  ASSERT_EQ(grey.size(), cv::Size(8, 4));
  for (int r = 0; r < 4; ++r) {
    EXPECT_EQ(grey.at<uchar>(r, 0), 0);
    EXPECT_EQ(grey.at<uchar>(r, 7), 200);
    EXPECT_EQ(grey.at<uchar>(r, 3) + grey.at<uchar>(r, 4), 200);
  }
}

}  // namespace
}  // namespace scenetext::edges
