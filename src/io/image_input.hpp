#pragma once

// Image files in: the header checks, then a decoder. JPEG and PNG are decoded here with libjpeg and
// libpng; every other format OpenCV reads goes through its imgcodecs (see opencv_codecs.hpp). The
// pixels are in every case exactly those of cv::imread(path, IMREAD_COLOR |
// IMREAD_IGNORE_ORIENTATION): the stored orientation, 8-bit BGR.

#include <opencv2/core.hpp>

#include <string>
#include <string_view>

#include "common/image_limits.hpp"
#include "common/status.hpp"

namespace scenetext::io {

// The image in `path` as 8-bit BGR (CV_8UC3), no EXIF rotation. Refuses from the header, before
// decoding, a file that declares more than `pixelLimit` pixels and a DICOM file; a format whose
// header is not read is held to the same limit once decoded. Fails with "cannot read image 'PATH':
// WHY", WHY being the system's reason, the header check's message or "not a readable image".
Result<cv::Mat> readColourImage(const std::string& path, int64_t pixelLimit = kMaxImagePixels);

// The image in `bytes` decoded as readColourImage decodes a file holding them, without the header
// checks; an empty Mat when no decoder takes them. May throw cv::Exception from imgcodecs.
cv::Mat decodeColourImage(std::string_view bytes);

}  // namespace scenetext::io
