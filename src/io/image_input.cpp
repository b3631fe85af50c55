#include "io/image_input.hpp"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "io/jpeg_codec.hpp"
#include "io/opencv_codecs.hpp"
#include "io/png_codec.hpp"

namespace scenetext::io {
namespace {

// The whole file, or as much of it as can be read: a file that cannot be read to its end (a
// folder, a device) is judged on what it gave, like any other broken image.
std::string readAvailable(std::FILE* file) {
  // One read of the size the file has (and a byte more, to see its end), so a photo's buffer is
  // neither copied as it grows nor zero-filled far beyond its size.
  struct stat status {};
  const bool regular = fstat(fileno(file), &status) == 0 && S_ISREG(status.st_mode);
  size_t chunk = regular ? static_cast<size_t>(status.st_size) + 1 : size_t{1} << 16;
  std::string bytes;
  for (;;) {
    const size_t size = bytes.size();
    bytes.resize(size + chunk);
    const size_t got = std::fread(bytes.data() + size, 1, chunk, file);
    bytes.resize(size + got);
    if (got < chunk) return bytes;
    chunk = size_t{1} << 20;
  }
}

}  // namespace

Result<cv::Mat> readColourImage(const std::string& path, int64_t pixelLimit) {
  const std::string what = "cannot read image '" + path + "'";
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
  if (!file) return Status::error(what + ": " + std::strerror(errno));
  const std::string bytes = readAvailable(file.get());
  file.reset();
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
