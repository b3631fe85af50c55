// scenetext-resize-photo IN OUT WIDTH HEIGHT: IN resized to WIDTH x HEIGHT (area averaging when
// shrinking, bilinear when growing), written by OpenCV to OUT. Makes photos of the sizes the
// start-up benchmark (startup.sh) needs from whatever photos are at hand.

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdlib>
#include <iostream>

int main(int argc, char** argv) {
  if (argc != 5) {
    std::cerr << "usage: scenetext-resize-photo IN OUT WIDTH HEIGHT\n";
    return 2;
  }
  const cv::Mat photo = cv::imread(argv[1], cv::IMREAD_COLOR | cv::IMREAD_IGNORE_ORIENTATION);
  const cv::Size size(std::atoi(argv[3]), std::atoi(argv[4]));
  if (photo.empty() || size.width <= 0 || size.height <= 0) {
    std::cerr << "scenetext-resize-photo: cannot read '" << argv[1] << "' or bad size\n";
    return 1;
  }
  cv::Mat resized;
  const bool shrinking = size.area() < photo.size().area();
  cv::resize(photo, resized, size, 0, 0, shrinking ? cv::INTER_AREA : cv::INTER_LINEAR);
  if (!cv::imwrite(argv[2], resized)) {
    std::cerr << "scenetext-resize-photo: cannot write '" << argv[2] << "'\n";
    return 1;
  }
  return 0;
}
