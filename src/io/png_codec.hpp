#pragma once

// PNG through libpng, with the choices OpenCV's own PNG codec makes, so that an image reads and
// writes byte for byte as cv::imread and cv::imwrite would, without loading imgcodecs.

#include <opencv2/core.hpp>

#include <string>
#include <string_view>

#include "common/status.hpp"

namespace scenetext::io {

// Whether `bytes` start with the 8-byte PNG signature.
bool isPng(std::string_view bytes);

// The image as 8-bit BGR, as cv::imread(IMREAD_COLOR | IMREAD_IGNORE_ORIENTATION) gives it: 16-bit
// samples keep their high byte, alpha and transparency are dropped (not composed), grey and palette
// entries are expanded. Any libpng error, a missing end chunk included, gives an empty Mat (libpng
// prints its message on stderr, as under OpenCV).
cv::Mat decodePng(std::string_view bytes);

// `image` (8-bit, 1 or 3 channels, BGR) as cv::imencode(".png", image) writes it: compression level
// 1, the Sub filter on every row, the run-length strategy.
Result<std::string> encodePng(const cv::Mat& image);

}  // namespace scenetext::io
