#include "edges/gradient_maps.hpp"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <cmath>

namespace scenetext::edges {
namespace {

cv::Mat randomColour(int width, int height) {
  cv::Mat image(height, width, CV_8UC3);
  cv::randu(image, 0, 256);
  return image;
}

TEST(ComputeGradientMapsTest, SidesAreRoundedUpToMultiplesOfFour) {
  const cv::Size cases[][2] = {{{96, 48}, {96, 48}}, {{97, 50}, {100, 52}}, {{1, 1}, {4, 4}}};
  for (const auto& c : cases) {
    const GradientMaps maps = computeGradientMaps(randomColour(c[0].width, c[0].height));
    for (const cv::Mat* m : {&maps.gx, &maps.gy, &maps.magnitude}) {
      EXPECT_EQ(m->type(), CV_32FC1);
      EXPECT_EQ(m->size(), c[1]) << c[0];
      EXPECT_TRUE(m->isContinuous());
    }
  }
}

TEST(ComputeGradientMapsTest, PatchIsUsedWithoutResamplingOrNormalisation) {
  const cv::Mat patch = randomColour(96, 48);
  const GradientMaps maps = computeGradientMaps(patch);
  cv::Mat grey;
  cv::cvtColor(patch, grey, cv::COLOR_BGR2GRAY);
  const GradientMaps direct = computeGradients(grey);
  EXPECT_EQ(cv::norm(maps.gx, direct.gx, cv::NORM_INF), 0.0);
  EXPECT_EQ(cv::norm(maps.gy, direct.gy, cv::NORM_INF), 0.0);
  EXPECT_EQ(cv::norm(maps.magnitude, direct.magnitude, cv::NORM_INF), 0.0);
  // The magnitude is the single-precision length of (gx, gy), not scaled to a maximum of 1.
  EXPECT_LT(cv::norm(maps.magnitude, cv::NORM_INF), 0.5);
  for (int r = 0; r < 48; ++r)
    for (int c = 0; c < 96; ++c) {
      const float gx = maps.gx.at<float>(r, c);
      const float gy = maps.gy.at<float>(r, c);
      ASSERT_EQ(maps.magnitude.at<float>(r, c), std::sqrt(gx * gx + gy * gy)) << r << "," << c;
    }
}

}  // namespace
}  // namespace scenetext::edges
