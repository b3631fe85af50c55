#pragma once

// Image files out, chosen by the extension of the file name as cv::imwrite chooses: JPEG (.jpg,
// .jpeg, .jpe) and PNG (.png) of 8-bit images are encoded here with libjpeg and libpng, every other
// format and depth through OpenCV's imgcodecs (see opencv_codecs.hpp). The bytes are in every case
// exactly those of cv::imencode with default parameters.

#include <opencv2/core.hpp>

#include <string>

#include "common/status.hpp"

namespace scenetext::io {

// The extension of the file name in `path` (".png"), empty when the name has none.
std::string imageExtension(const std::string& path);

// Whether `path` names an image that can be written: it has an extension and there is an encoder
// for it. Fails with "cannot write 'PATH': no image extension in the file name" or "cannot write
// 'PATH': no image encoder for '.EXT'". An encoder may still refuse a particular image (a .pgm
// holds no colour); encodeImageFor says so.
Status checkImageWriter(const std::string& path);

// `image` encoded by the extension of `path`. Fails with "cannot write 'PATH': ..." naming the
// extension and, when the encoder refused the image, its reason.
Result<std::string> encodeImageFor(const std::string& path, const cv::Mat& image);

}  // namespace scenetext::io
