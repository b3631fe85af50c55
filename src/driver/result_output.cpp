#include "driver/result_output.hpp"

#include <opencv2/imgproc.hpp>

#include "io/image_output.hpp"

namespace scenetext::driver {
namespace {

// Moves a channel 60 % of the way to 255; evaluated in double and truncated, so 0 gives 153.
inline uchar towardsWhite(uchar v) { return static_cast<uchar>((v - 255.0) * 0.4 + 255.0); }
// Moves a channel 60 % of the way to 0; 255 gives 102.
inline uchar towardsBlack(uchar v) { return static_cast<uchar>(v * 0.4); }

}  // namespace

cv::Mat renderResultImage(const cv::Mat& working, const cv::Mat& input, const cv::Mat& boxMask) {
  CV_Assert(boxMask.type() == CV_8UC1 && boxMask.size() == working.size());
  cv::Mat tinted = working.clone();
  const int channels = tinted.channels();
  for (int y = 0; y < tinted.rows; ++y) {
    const uchar* mask = boxMask.ptr(y);
    uchar* pixel = tinted.ptr(y);
    for (int x = 0; x < tinted.cols; ++x, pixel += channels) {
      if (mask[x] == 0) continue;
      if (channels == 3) {
        pixel[0] = towardsWhite(pixel[0]);
        pixel[1] = towardsWhite(pixel[1]);
        pixel[2] = towardsBlack(pixel[2]);
      } else if (channels == 1) {
        pixel[0] = 255;
      }
    }
  }
  cv::Mat result(input.size(), input.type(), cv::Scalar::all(0));
  cv::resize(tinted, result, input.size(), 0, 0, cv::INTER_LINEAR);
  return result;
}

Status checkImageWriter(const std::string& path) { return io::checkImageWriter(path); }

Result<std::string> encodeImageFor(const std::string& path, const cv::Mat& image) {
  return io::encodeImageFor(path, image);
}

}  // namespace scenetext::driver
