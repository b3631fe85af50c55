#pragma once

// The run's annotated image and how it is encoded; the box lists are written by io/box_files.hpp.

#include <opencv2/core.hpp>

#include <string>

#include "common/status.hpp"

namespace scenetext::driver {

// Tints every pixel of a copy of `working` where `boxMask` is non-zero (3 channels: blue and green
// 60 % of the way to 255, red 60 % of the way to 0; 1 channel: 255), then resizes it bilinearly to
// the size and type of `input`. `boxMask` is 8-bit single channel of the working image's size.
cv::Mat renderResultImage(const cv::Mat& working, const cv::Mat& input, const cv::Mat& boxMask);

// Whether `path` names an image the run can write: it has an extension and OpenCV has an encoder
// for it. Checked before the detection, so that a run that cannot save its result stops at once.
// An encoder may still refuse a particular image (a .pgm holds no colour); encodeImageFor says so.
Status checkImageWriter(const std::string& path);

// Encodes `image` by the extension of `path` (".jpg", ".png", ...), the way the run saves it.
Result<std::string> encodeImageFor(const std::string& path, const cv::Mat& image);

}  // namespace scenetext::driver
