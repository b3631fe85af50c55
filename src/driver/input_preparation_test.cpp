#include "driver/input_preparation.hpp"

#include <gtest/gtest.h>

namespace scenetext::driver {
namespace {

cv::Mat gradientImage(int width, int height) {
  cv::Mat image(height, width, CV_8UC3);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      image.at<cv::Vec3b>(y, x) = cv::Vec3b(x % 256, y % 256, (x * 7 + y * 3) % 256);
  return image;
}

TEST(PrepareInputImageTest, WidthAlreadyAMultipleOfFourIsAnExactCopy) {
  cv::Mat image = gradientImage(640, 3);
  cv::Mat prepared = prepareInputImage(image);
  ASSERT_EQ(prepared.size(), image.size());
  EXPECT_EQ(cv::norm(prepared, image, cv::NORM_INF), 0.0);
}

TEST(PrepareInputImageTest, AddedColumnsTakeTheMiddleOfTheRightEdge) {
  cv::Mat image = gradientImage(641, 7);
  cv::Mat prepared = prepareInputImage(image);
  ASSERT_EQ(prepared.cols, 644);
  ASSERT_EQ(prepared.rows, 7);
  const cv::Vec3b fill = image.at<cv::Vec3b>(7 / 2, 640);
  for (int y = 0; y < 7; ++y) {
    for (int x = 0; x < 641; ++x)
      ASSERT_EQ(prepared.at<cv::Vec3b>(y, x), image.at<cv::Vec3b>(y, x));
    for (int x = 641; x < 644; ++x) EXPECT_EQ(prepared.at<cv::Vec3b>(y, x), fill) << y << "," << x;
  }
}

TEST(PrepareInputImageTest, OneRowAndOtherChannelCounts) {
  cv::Mat row = gradientImage(5, 1);
  cv::Mat prepared = prepareInputImage(row);
  ASSERT_EQ(prepared.size(), cv::Size(8, 1));
  for (int x = 5; x < 8; ++x) EXPECT_EQ(prepared.at<cv::Vec3b>(0, x), row.at<cv::Vec3b>(0, 4));

  cv::Mat grey(3, 2, CV_8UC1, cv::Scalar(9));
  grey.at<uchar>(1, 1) = 77;
  cv::Mat greyPrepared = prepareInputImage(grey);
  ASSERT_EQ(greyPrepared.size(), cv::Size(4, 3));
  EXPECT_EQ(greyPrepared.at<uchar>(0, 3), 77);
  EXPECT_EQ(greyPrepared.at<uchar>(2, 2), 77);
}

TEST(ReductionTest, ThresholdsAreStrictAndLookAtEitherSide) {
  EXPECT_EQ(reductionFactor(1600, 1200), 1);
  EXPECT_EQ(reductionFactor(1604, 1200), 2);  // 1601 wide pads to 1604
  EXPECT_EQ(reductionFactor(1200, 1601), 2);
  EXPECT_EQ(reductionFactor(3200, 3200), 2);
  EXPECT_EQ(reductionFactor(800, 3201), 4);
  EXPECT_EQ(reductionFactor(3204, 10), 4);
}

TEST(ReductionTest, ReducedSizesDropTheRemainder) {
  cv::Mat prepared = prepareInputImage(gradientImage(1601, 1200));
  cv::Mat half = reduceImage(prepared, reductionFactor(prepared.cols, prepared.rows));
  EXPECT_EQ(half.size(), cv::Size(802, 600));
  cv::Mat tall(3201, 800, CV_8UC3, cv::Scalar(1, 2, 3));
  cv::Mat quarter = reduceImage(tall, reductionFactor(tall.cols, tall.rows));
  EXPECT_EQ(quarter.size(), cv::Size(200, 800));
  cv::Mat same = reduceImage(prepared, 1);
  EXPECT_EQ(same.data, prepared.data);
}

TEST(ReductionTest, AStripThinnerThanTheFactorKeepsOnePixel) {
  cv::Mat strip = prepareInputImage(gradientImage(1601, 1));
  EXPECT_EQ(reduceImage(strip, reductionFactor(strip.cols, strip.rows)).size(), cv::Size(802, 1));
  cv::Mat column(3201, 3, CV_8UC3, cv::Scalar(9, 8, 7));
  EXPECT_EQ(reduceImage(column, reductionFactor(column.cols, column.rows)).size(),
            cv::Size(1, 800));
}

}  // namespace
}  // namespace scenetext::driver
