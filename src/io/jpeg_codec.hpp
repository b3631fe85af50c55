#pragma once

// JPEG through libjpeg-turbo, with the choices OpenCV's own JPEG codec makes, so that a photo reads
// and writes byte for byte as cv::imread and cv::imwrite would, without loading imgcodecs.

#include <opencv2/core.hpp>

#include <string>
#include <string_view>

#include "common/status.hpp"

namespace scenetext::io {

// Whether `bytes` start with the JPEG signature OpenCV's decoder looks for (FF D8 FF).
bool isJpeg(std::string_view bytes);

// The image as 8-bit BGR, as cv::imread(IMREAD_COLOR | IMREAD_IGNORE_ORIENTATION) gives it:
// grey, YCbCr and RGB through libjpeg's colour conversion, CMYK and YCCK through OpenCV's CMYK
// formula. A file that ends early decodes as far as it goes (libjpeg warns on stderr and fills the
// rest); an error of libjpeg before the last row gives an empty Mat (libjpeg prints its message).
cv::Mat decodeJpeg(std::string_view bytes);

// `image` (8-bit, 1 or 3 channels, BGR) as cv::imencode(".jpg", image) writes it: quality 95,
// baseline, standard Huffman tables. Fails with libjpeg's message.
Result<std::string> encodeJpeg(const cv::Mat& image);

}  // namespace scenetext::io
