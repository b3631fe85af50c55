#include "edges/gradients.hpp"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <numbers>

namespace scenetext::edges {
namespace {

// A grey image, dark (0) left of column `stepColumn`, bright (255) from it on.
cv::Mat verticalStep(int width, int height, int stepColumn) {
  cv::Mat image(height, width, CV_8UC1, cv::Scalar(0));
  image.colRange(stepColumn, width).setTo(255);
  return image;
}

double maxAbs(const cv::Mat& m) { return cv::norm(m, cv::NORM_INF); }

TEST(GaussianKernelsTest, SmoothingTapsAreTheUnnormalisedGaussian) {
  const GaussianKernels k = buildGaussianKernels();
  ASSERT_EQ(k.row.type(), CV_32FC1);
  ASSERT_EQ(k.row.size(), cv::Size(9, 1));
  ASSERT_EQ(k.column.size(), cv::Size(1, 9));
  const double expected[9] = {5.3e-5,   0.001768, 0.021539, 0.096532, 0.159155,
                              0.096532, 0.021539, 0.001768, 5.3e-5};
  for (int j = 0; j < 9; ++j) {
    EXPECT_NEAR(k.row.at<float>(0, j), expected[j], 5e-7) << "tap " << j;
    EXPECT_EQ(k.column.at<float>(j, 0), k.row.at<float>(0, j)) << "tap " << j;
  }
  // The centre is 1/(2 pi) and the sum is sqrt(1/(2 pi)): no normalisation to 1.
  EXPECT_EQ(k.row.at<float>(0, 4), static_cast<float>(1.0 / (2.0 * std::numbers::pi)));
  EXPECT_NEAR(cv::sum(k.row)[0], 0.39894, 1e-5);
}

TEST(GaussianKernelsTest, DerivativeKernelsPointRightAndDown) {
  const GaussianKernels k = buildGaussianKernels();
  ASSERT_EQ(k.kx.type(), CV_32FC1);
  ASSERT_EQ(k.kx.size(), cv::Size(9, 9));
  // kx.at(row, col) holds KX at column offset col - 4, row offset row - 4.
  EXPECT_NEAR(k.kx.at<float>(4, 5), 0.193065, 5e-7);  // KX(1, 0)
  EXPECT_NEAR(k.kx.at<float>(5, 5), 0.117100, 5e-7);  // KX(1, 1)
  EXPECT_NEAR(k.kx.at<float>(4, 8), 0.000427, 5e-7);  // KX(4, 0)
  EXPECT_NEAR(k.kx.at<float>(4, 3), -0.193065, 5e-7);
  for (int r = 0; r < 9; ++r) {
    EXPECT_EQ(k.kx.at<float>(r, 4), 0.0f) << "row " << r;
    for (int c = 0; c < 9; ++c) {
      EXPECT_EQ(k.kx.at<float>(r, c), -k.kx.at<float>(r, 8 - c)) << r << "," << c;
      EXPECT_EQ(k.ky.at<float>(r, c), k.kx.at<float>(c, r)) << r << "," << c;
    }
  }
}

TEST(ComputeGradientsTest, UniformImageHasNoGradient) {
  const GradientMaps maps = computeGradients(cv::Mat(12, 10, CV_8UC1, cv::Scalar(200)));
  for (const cv::Mat* m : {&maps.gx, &maps.gy, &maps.magnitude}) {
    EXPECT_EQ(m->type(), CV_32FC1);
    EXPECT_EQ(m->size(), cv::Size(10, 12));
    EXPECT_TRUE(m->isContinuous());
    EXPECT_LT(maxAbs(*m), 1e-6);
  }
}

TEST(ComputeGradientsTest, StepFromDarkToBrightPeaksBesideTheStep) {
  const GradientMaps maps = computeGradients(verticalStep(20, 10, 10));
  // Both columns beside the step peak at about 0.0859 in every row (the border repeats rows).
  for (int r = 0; r < 10; ++r) {
    EXPECT_NEAR(maps.gx.at<float>(r, 9), 0.0859, 1e-4) << "row " << r;
    EXPECT_NEAR(maps.gx.at<float>(r, 10), 0.0859, 1e-4) << "row " << r;
    for (int c = 0; c < 20; ++c) {
      EXPECT_GT(maps.gx.at<float>(r, c), -1e-6) << r << "," << c;
      EXPECT_LE(maps.gx.at<float>(r, c), maps.gx.at<float>(r, 9)) << r << "," << c;
    }
  }
  EXPECT_LT(maxAbs(maps.gy), 1e-6);
  EXPECT_NEAR(maxAbs(maps.magnitude), 0.0859, 1e-4);

  // The mirror image (bright left, dark right) turns gx around.
  cv::Mat mirrored;
  cv::flip(verticalStep(20, 10, 10), mirrored, 1);
  const GradientMaps mirror = computeGradients(mirrored);
  EXPECT_NEAR(mirror.gx.at<float>(5, 9), -0.0859, 1e-4);
  EXPECT_NEAR(mirror.gx.at<float>(5, 10), -0.0859, 1e-4);
}

TEST(ComputeGradientsTest, StepDownwardsGivesPositiveGy) {
  cv::Mat image(20, 10, CV_8UC1, cv::Scalar(0));
  image.rowRange(10, 20).setTo(255);
  const GradientMaps maps = computeGradients(image);
  EXPECT_NEAR(maps.gy.at<float>(9, 5), 0.0859, 1e-4);
  EXPECT_NEAR(maps.gy.at<float>(10, 5), 0.0859, 1e-4);
  EXPECT_LT(maxAbs(maps.gx), 1e-6);
}

TEST(ComputeGradientsTest, IntensityIsGreyOver255) {
  // A half-grey step (0 to 51) scales the gradient by 51/255 exactly as the intensities are.
  cv::Mat image = verticalStep(20, 10, 10);
  image.colRange(10, 20).setTo(51);
  const GradientMaps maps = computeGradients(image);
  EXPECT_NEAR(maps.gx.at<float>(5, 9), 0.0859 * 0.2, 2e-5);
}

TEST(MakeGreyPlaneTest, SameSizeIsTheGreyConversion) {
  cv::Mat colour(7, 9, CV_8UC3);
  cv::randu(colour, 0, 256);
  cv::Mat expected;
  cv::cvtColor(colour, expected, cv::COLOR_BGR2GRAY);
  const cv::Mat grey = makeGreyPlane(colour, 9, 7);
  ASSERT_EQ(grey.type(), CV_8UC1);
  EXPECT_EQ(cv::norm(grey, expected, cv::NORM_INF), 0.0);

  // A single-channel image comes back unchanged, as a copy of its own.
  cv::Mat single = expected.clone();
  cv::Mat plane = makeGreyPlane(single, 9, 7);
  EXPECT_EQ(cv::norm(plane, expected, cv::NORM_INF), 0.0);
  plane.setTo(0);
  EXPECT_EQ(cv::norm(single, expected, cv::NORM_INF), 0.0);
}

TEST(MakeGreyPlaneTest, StretchesTheWholeImageWithoutBorder) {
  // Left half 0, right half 200: stretched from 6 to 8 columns and 3 to 4 rows, the outer
  // columns keep their values (no border fill) and the step stays in the middle.
  cv::Mat image(3, 6, CV_8UC3, cv::Scalar(0, 0, 0));
  image.colRange(3, 6).setTo(cv::Scalar(200, 200, 200));
  const cv::Mat grey = makeGreyPlane(image, 8, 4);
  ASSERT_EQ(grey.size(), cv::Size(8, 4));
  for (int r = 0; r < 4; ++r) {
    EXPECT_EQ(grey.at<uchar>(r, 0), 0);
    EXPECT_EQ(grey.at<uchar>(r, 7), 200);
    EXPECT_EQ(grey.at<uchar>(r, 3) + grey.at<uchar>(r, 4), 200);
  }
}

TEST(MakeGreyPlaneTest, RejectsTwoChannels) {
  EXPECT_THROW(makeGreyPlane(cv::Mat(4, 4, CV_8UC2, cv::Scalar(1, 2)), 4, 4), cv::Exception);
}

}  // namespace
}  // namespace scenetext::edges
