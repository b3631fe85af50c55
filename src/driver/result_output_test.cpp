#include "driver/result_output.hpp"

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>

namespace scenetext::driver {
namespace {

TEST(RenderResultImageTest, TintMovesBlueAndGreenUpAndRedDown) {
  cv::Mat working(1, 5, CV_8UC3);
  const uchar values[5] = {0, 1, 100, 254, 255};
  for (int x = 0; x < 5; ++x)
    working.at<cv::Vec3b>(0, x) = cv::Vec3b(values[x], values[x], values[x]);
  cv::Mat mask(1, 5, CV_8UC1, cv::Scalar(255));
  cv::Mat input(1, 5, CV_8UC3);
  cv::Mat result = renderResultImage(working, input, mask);
  const uchar blueGreen[5] = {153, 153, 193, 254, 255};
  const uchar red[5] = {0, 0, 40, 101, 102};
  for (int x = 0; x < 5; ++x) {
    cv::Vec3b p = result.at<cv::Vec3b>(0, x);
    EXPECT_EQ(p[0], blueGreen[x]) << values[x];
    EXPECT_EQ(p[1], blueGreen[x]) << values[x];
    EXPECT_EQ(p[2], red[x]) << values[x];
  }
  cv::Mat reds(1, 2, CV_8UC3);
  reds.at<cv::Vec3b>(0, 0) = cv::Vec3b(0, 0, 3);
  reds.at<cv::Vec3b>(0, 1) = cv::Vec3b(0, 0, 5);
  cv::Mat tintedReds = renderResultImage(reds, reds, cv::Mat(1, 2, CV_8UC1, cv::Scalar(1)));
  EXPECT_EQ(tintedReds.at<cv::Vec3b>(0, 0)[2], 1);
  EXPECT_EQ(tintedReds.at<cv::Vec3b>(0, 1)[2], 2);
}

TEST(RenderResultImageTest, EmptyMaskLeavesTheImageAndResizesToTheInput) {
  cv::Mat input(6, 7, CV_8UC3, cv::Scalar(10, 20, 30));
  cv::Mat working(6, 8, CV_8UC3, cv::Scalar(10, 20, 30));  // padded to a multiple of 4
  cv::Mat result = renderResultImage(working, input, cv::Mat::zeros(6, 8, CV_8UC1));
  ASSERT_EQ(result.size(), input.size());
  ASSERT_EQ(result.type(), input.type());
  EXPECT_EQ(cv::norm(result, input, cv::NORM_INF), 0.0);
}

TEST(RenderResultImageTest, OnlyMaskedPixelsChange) {
  cv::Mat working(4, 4, CV_8UC3, cv::Scalar(50, 60, 70));
  cv::Mat mask = cv::Mat::zeros(4, 4, CV_8UC1);
  mask.at<uchar>(1, 2) = 255;
  cv::Mat result = renderResultImage(working, working, mask);
  EXPECT_EQ(result.at<cv::Vec3b>(1, 2), cv::Vec3b(173, 177, 28));
  EXPECT_EQ(result.at<cv::Vec3b>(1, 1), cv::Vec3b(50, 60, 70));
  cv::Mat grey(2, 2, CV_8UC1, cv::Scalar(3));
  cv::Mat greyResult = renderResultImage(grey, grey, cv::Mat(2, 2, CV_8UC1, cv::Scalar(255)));
  EXPECT_EQ(greyResult.at<uchar>(0, 0), 255);
}

TEST(EncodeImageForTest, PicksTheEncoderByExtensionAndRejectsUnknownOnes) {
  cv::Mat image(3, 4, CV_8UC3, cv::Scalar(1, 2, 3));
  Result<std::string> png = encodeImageFor("out/a.png", image);
  ASSERT_TRUE(png.ok()) << png.status().message();
  cv::Mat decoded = cv::imdecode(std::vector<uchar>(png->begin(), png->end()), cv::IMREAD_COLOR);
  EXPECT_EQ(cv::norm(decoded, image, cv::NORM_INF), 0.0);
  EXPECT_FALSE(encodeImageFor("out/a.unknown", image).ok());
  EXPECT_FALSE(encodeImageFor("out.d/noextension", image).ok());
  EXPECT_TRUE(checkImageWriter("out/A.JPG").ok());
  EXPECT_EQ(checkImageWriter("out/a.unknown").message(),
            "cannot write 'out/a.unknown': no image encoder for '.unknown'");
  // A grey-only format has an encoder, which refuses the colour result with its reason.
  ASSERT_TRUE(checkImageWriter("out/a.pgm").ok());
  const Result<std::string> grey = encodeImageFor("out/a.pgm", image);
  ASSERT_FALSE(grey.ok());
  EXPECT_NE(grey.status().message().find("cannot write 'out/a.pgm': the .pgm encoder refused the "
                                         "image (Portable bitmap(.pgm) expects gray image)"),
            std::string::npos)
      << grey.status().message();
}

}  // namespace
}  // namespace scenetext::driver
