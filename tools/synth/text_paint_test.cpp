#include "synth/text_paint.hpp"

#include <gtest/gtest.h>

#include "synth/random.hpp"

namespace scenetext::synth {
namespace {

// Whatever the background, the chosen colour clears its dark or light tenth by kMinContrast, or
// its mean when neither side has room.
TEST(ContrastingColourTest, KeepsTheMinimumContrast) {
  struct Row {
    Tone tone;
    bool room;
  };
  const Row rows[] = {
      {{0, 0, 0}, true},
      {{255, 255, 255}, true},
      {{128, 128, 128}, true},
      {{120, 90, 150}, true},
      {{128, 60, 200}, false},
      {{200, 170, 230}, true},
      {{175.5, 175.5, 175.5}, true},
  };
  Random random(1);
  for (const Row& row : rows) {
    ASSERT_EQ(hasContrastRoom(row.tone, kMinContrast), row.room) << row.tone.mean;
    const Tone against = row.room ? row.tone : flatTone(row.tone.mean);
    for (int draw = 0; draw < 200; ++draw) {
      const double y = luminance(contrastingColour(row.tone, kMinContrast, random));
      // Rounding a grey to whole levels may cost half a level.
      EXPECT_TRUE(y <= against.dark - kMinContrast + 0.5 || y >= against.light + kMinContrast - 0.5)
          << "tone " << row.tone.mean << "/" << row.tone.dark << "/" << row.tone.light << " gave "
          << y;
    }
  }
}

TEST(RegionToneTest, TenthsOfTheLuminanceRange) {
  // 100 pixels: 10 black, 80 mid-grey, 10 white.
  cv::Mat image(10, 10, CV_8UC3, cv::Scalar::all(100));
  image.row(0).setTo(cv::Scalar::all(0));
  image.row(9).setTo(cv::Scalar::all(255));
  const Tone tone = regionTone(image, cv::Rect(0, 0, 10, 10));
  EXPECT_DOUBLE_EQ(tone.mean, (80 * 100 + 10 * 255) / 100.0);
  EXPECT_EQ(tone.dark, 0.0);
  EXPECT_EQ(tone.light, 100.0);
}

// Full coverage paints the colour, none leaves the pixel, and white over black reproduces the
// coverage itself: the blend is exact, so ink measured on the mask is ink in the image.
TEST(BlendCoverageTest, MixesByCoverageAndClipsAtTheBorder) {
  cv::Mat image(3, 4, CV_8UC3, cv::Scalar::all(0));
  cv::Mat coverage = (cv::Mat_<uchar>(2, 3) << 0, 1, 64, 128, 254, 255);
  blendCoverage(image, coverage, cv::Point(2, 1), cv::Vec3b(255, 255, 255), 255);
  EXPECT_EQ(image.at<cv::Vec3b>(1, 2), cv::Vec3b(0, 0, 0));
  EXPECT_EQ(image.at<cv::Vec3b>(1, 3), cv::Vec3b(1, 1, 1));
  EXPECT_EQ(image.at<cv::Vec3b>(2, 2), cv::Vec3b(128, 128, 128));
  EXPECT_EQ(image.at<cv::Vec3b>(2, 3), cv::Vec3b(254, 254, 254));
  EXPECT_EQ(cv::countNonZero(image.reshape(1).colRange(0, 6)), 0);  // left of the mask
}

TEST(GrownCoverageTest, GrowsByTheRadiusOnEverySide) {
  cv::Mat dot = cv::Mat::zeros(1, 1, CV_8UC1);
  dot.at<uchar>(0, 0) = 200;
  const cv::Mat grown = grownCoverage(dot, 2);
  ASSERT_EQ(grown.size(), cv::Size(5, 5));
  EXPECT_EQ(grown.at<uchar>(2, 0), 200);  // the disc reaches two pixels left
  EXPECT_EQ(grown.at<uchar>(0, 2), 200);
  EXPECT_EQ(grown.at<uchar>(0, 0), 0);  // but not the corner
}

TEST(RandomTest, UniformIntCoversItsBoundsOnly) {
  Random random(imageSeed(9, 1));
  int low = 0, high = 0;
  for (int i = 0; i < 2000; ++i) {
    const int v = random.uniformInt(-2, 3);
    ASSERT_GE(v, -2);
    ASSERT_LE(v, 3);
    low += v == -2;
    high += v == 3;
  }
  EXPECT_GT(low, 200);
  EXPECT_GT(high, 200);
  EXPECT_NE(imageSeed(1, 2), imageSeed(2, 1));
}

}  // namespace
}  // namespace scenetext::synth
