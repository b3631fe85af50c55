#pragma once

// A photograph-like test image with text the bundled models find, built in the test.

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

namespace scenetext::testing {

// A street scene of sorts: a colour gradient and three signs of typed words (dark on light, light
// on dark, coloured), drawn in proportion to the width.
inline cv::Mat signs(cv::Size size) {
  cv::Mat image(size, CV_8UC3);
  for (int y = 0; y < size.height; ++y) {
    for (int x = 0; x < size.width; ++x) {
      image.at<cv::Vec3b>(y, x) = cv::Vec3b(static_cast<uchar>(60 + 120 * x / size.width),
                                            static_cast<uchar>(90 + 100 * y / size.height), 140);
    }
  }
  const double scale = size.width / 600.0;
  auto sign = [&](const char* text, double x, double y, cv::Scalar ground, cv::Scalar ink) {
    const cv::Point origin(static_cast<int>(x * scale), static_cast<int>(y * scale));
    cv::rectangle(image, origin + cv::Point(-10, static_cast<int>(-45 * scale)),
                  origin + cv::Point(static_cast<int>(330 * scale), static_cast<int>(15 * scale)),
                  ground, cv::FILLED);
    cv::putText(image, text, origin, cv::FONT_HERSHEY_SIMPLEX, 1.4 * scale, ink,
                static_cast<int>(3 * scale), cv::LINE_AA);
  };
  sign("HOTEL PARK", 30, 70, cv::Scalar(235, 235, 235), cv::Scalar(20, 20, 20));
  sign("OPEN 24 HOURS", 200, 190, cv::Scalar(30, 30, 120), cv::Scalar(240, 240, 240));
  sign("Station Road", 40, 300, cv::Scalar(200, 230, 240), cv::Scalar(60, 20, 10));
  return image;
}

}  // namespace scenetext::testing
