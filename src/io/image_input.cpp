#include "io/image_input.hpp"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "io/jpeg_codec.hpp"
#include "io/opencv_codecs.hpp"
#include "io/png_codec.hpp"

namespace scenetext::io {
namespace {

// The whole file, or as much of it as can be read: a file that cannot be read to its end (a
// folder, a device) is judged on what it gave, like any other broken image.
std::string readAvailable(std::ifstream& file) {
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

}  // namespace

Result<cv::Mat> readColourImage(const std::string& path, int64_t pixelLimit) {
  const std::string what = "cannot read image '" + path + "'";
  std::ifstream file(path, std::ios::binary);
  if (!file) return Status::error(what + ": " + std::strerror(errno));
  const std::string bytes = readAvailable(file);
  // A decompression bomb is refused from its header, before the decoder allocates anything (and a
  // DICOM file before its decoder can abort).
  Status size = checkImageHeader(bytes, pixelLimit);
  if (!size.ok()) return Status::error(what + ": " + size.message());
  cv::Mat image;
  if (isJpeg(bytes)) {
    image = decodeJpeg(bytes);
  } else if (isPng(bytes)) {
    image = decodePng(bytes);
  } else {
    // OpenCV reads the file itself: some of its decoders (TIFF, GDAL) behave differently on a
    // file than on the same bytes in memory.
    Result<OpenCvCodecs> codecs = openCvCodecs();
    if (!codecs.ok()) return Status::error(what + ": " + codecs.status().message());
    codecs->read(path.c_str(), &image);
  }
  if (image.empty()) return Status::error(what + ": not a readable image");
  size = checkPixelLimit({image.cols, image.rows}, pixelLimit);
  if (!size.ok()) return Status::error(what + ": " + size.message());
  return image;
}

cv::Mat decodeColourImage(std::string_view bytes) {
  if (isJpeg(bytes)) return decodeJpeg(bytes);
  if (isPng(bytes)) return decodePng(bytes);
  Result<OpenCvCodecs> codecs = openCvCodecs();
  if (!codecs.ok()) return {};
  cv::Mat image;
  codecs->decode(bytes.data(), bytes.size(), &image);
  return image;
}

}  // namespace scenetext::io
