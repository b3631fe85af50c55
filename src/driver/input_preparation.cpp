#include "driver/input_preparation.hpp"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstring>

namespace scenetext::driver {
namespace {

// Sides above these are reduced; the padded width is what counts.
constexpr int kQuarterAbove = 3200;
constexpr int kHalveAbove = 1600;

}  // namespace

cv::Mat prepareInputImage(const cv::Mat& image) {
  CV_Assert(image.depth() == CV_8U && !image.empty());
  const int w = image.cols;
  const int h = image.rows;
  const int paddedWidth = w % 4 == 0 ? w : w - w % 4 + 4;
  const size_t pixelBytes = image.elemSize();
  cv::Mat prepared(h, paddedWidth, image.type());
  const uchar* fill = image.ptr(h / 2) + static_cast<size_t>(w - 1) * pixelBytes;
  for (int y = 0; y < h; ++y) {
    uchar* out = prepared.ptr(y);
    std::memcpy(out, image.ptr(y), static_cast<size_t>(w) * pixelBytes);
    for (int x = w; x < paddedWidth; ++x) {
      std::memcpy(out + static_cast<size_t>(x) * pixelBytes, fill, pixelBytes);
    }
  }
  return prepared;
}

int reductionFactor(int width, int height) {
  if (width > kQuarterAbove || height > kQuarterAbove) return 4;
  if (width > kHalveAbove || height > kHalveAbove) return 2;
  return 1;
}

cv::Mat reduceImage(const cv::Mat& prepared, int factor) {
  if (factor == 1) return prepared;
  // A side shorter than the factor would reduce to nothing (a 1604 x 1 strip halves to 802 x 0),
  // which the resize refuses: such a side keeps one pixel.
  const cv::Size size(std::max(1, prepared.cols / factor), std::max(1, prepared.rows / factor));
  cv::Mat reduced;
  cv::resize(prepared, reduced, size, 0, 0, cv::INTER_LINEAR);
  return reduced;
}

}  // namespace scenetext::driver
