#include "edges/gradient_maps.hpp"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <cmath>

namespace scenetext::edges {
namespace {

cv::Mat randomColour(int width, int height) {
  cv::Mat image(height, width, CV_8UC3);
  cv::RNG rng(7);
  rng.fill(image, cv::RNG::UNIFORM, 0, 256);
  return image;
}

void expectMapsOfSize(const GradientMaps& maps, cv::Size size) {
  for (const cv::Mat* m : {&maps.gx, &maps.gy, &maps.magnitude}) {
    EXPECT_EQ(m->type(), CV_32FC1);
    EXPECT_EQ(m->size(), size);
    EXPECT_TRUE(m->isContinuous());
  }
}

TEST(ComputeGradientMapsTest, PatchOfMultipleOfFourSidesIsNotResampled) {
  const cv::Mat patch = randomColour(96, 48);
  const GradientMaps maps = computeGradientMaps(patch);
  expectMapsOfSize(maps, cv::Size(96, 48));
  cv::Mat grey;
  cv::cvtColor(patch, grey, cv::COLOR_BGR2GRAY);
  const GradientMaps direct = computeGradients(grey);
  EXPECT_EQ(cv::norm(maps.gx, direct.gx, cv::NORM_INF), 0.0);
  EXPECT_EQ(cv::norm(maps.gy, direct.gy, cv::NORM_INF), 0.0);
  EXPECT_EQ(cv::norm(maps.magnitude, direct.magnitude, cv::NORM_INF), 0.0);
}

TEST(ComputeGradientMapsTest, SidesAreRoundedUpToMultiplesOfFour) {
  expectMapsOfSize(computeGradientMaps(randomColour(97, 50)), cv::Size(100, 52));
  expectMapsOfSize(computeGradientMaps(randomColour(1, 1)), cv::Size(4, 4));
  expectMapsOfSize(computeGradientMaps(randomColour(8, 5)), cv::Size(8, 8));
}

TEST(ComputeGradientMapsTest, StretchedImageKeepsItsEdgeInProportion) {
  // A step in the middle of a 97-wide grey image stays in the middle of the 100-wide maps.
  cv::Mat image(50, 97, CV_8UC1, cv::Scalar(0));
  image.colRange(48, 97).setTo(255);
  const GradientMaps maps = computeGradientMaps(image);
  cv::Point peak;
  cv::minMaxLoc(maps.gx.row(26), nullptr, nullptr, nullptr, &peak);
  EXPECT_NEAR(peak.x, 49.5, 1.0);
}

TEST(ComputeGradientMapsTest, MagnitudeIsTheUnnormalisedLengthOfTheGradient) {
  const GradientMaps maps = computeGradientMaps(randomColour(40, 24));
  double maximum = 0.0;
  cv::minMaxLoc(maps.magnitude, nullptr, &maximum);
  EXPECT_GT(maximum, 0.0);
  EXPECT_LT(maximum, 0.5);  // the gradients of intensities in [0, 1] at this scale, not 1.0
  for (int r = 0; r < 24; ++r)
    for (int c = 0; c < 40; ++c) {
      const float gx = maps.gx.at<float>(r, c);
      const float gy = maps.gy.at<float>(r, c);
      EXPECT_EQ(maps.magnitude.at<float>(r, c), std::sqrt(gx * gx + gy * gy)) << r << "," << c;
    }
}

TEST(ComputeGradientMapsTest, UniformImageGivesZeroMaps) {
  const GradientMaps maps = computeGradientMaps(cv::Mat(48, 96, CV_8UC3, cv::Scalar(40, 80, 160)));
  EXPECT_LT(cv::norm(maps.gx, cv::NORM_INF), 1e-6);
  EXPECT_LT(cv::norm(maps.gy, cv::NORM_INF), 1e-6);
  EXPECT_LT(cv::norm(maps.magnitude, cv::NORM_INF), 1e-6);
}

}  // namespace
}  // namespace scenetext::edges
