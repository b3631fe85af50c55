#include "io/image_output.hpp"

#include <cctype>

#include "io/jpeg_codec.hpp"
#include "io/opencv_codecs.hpp"
#include "io/png_codec.hpp"

namespace scenetext::io {
namespace {

enum class Writer { kJpeg, kPng, kOpenCv };

// OpenCV matches the letters and digits after the last dot of the name, ignoring case, against
// each encoder's extensions: "a.JPG" and "a.png~" are JPEG and PNG to it, and so to us.
Writer writerFor(const std::string& path) {
  const size_t dot = path.find_last_of('.');
  std::string name;
  for (size_t i = dot + 1; dot != std::string::npos && i < path.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(path[i]);
    if (!std::isalnum(c)) break;
    name.push_back(static_cast<char>(std::tolower(c)));
  }
  if (name == "jpeg" || name == "jpg" || name == "jpe") return Writer::kJpeg;
  if (name == "png") return Writer::kPng;
  return Writer::kOpenCv;
}

bool encodedHere(const cv::Mat& image) {
  return image.depth() == CV_8U && (image.channels() == 1 || image.channels() == 3);
}

Result<std::string> encodeWithOpenCv(const std::string& path, const std::string& extension,
                                     const cv::Mat& image) {
  Result<OpenCvCodecs> codecs = openCvCodecs();
  if (!codecs.ok())
    return Status::error("cannot write '" + path + "': " + codecs.status().message());
  std::vector<uchar> bytes;
  try {
    if (!codecs->encode(extension.c_str(), &image, &bytes)) {
      return Status::error("cannot write '" + path + "': encoding as " + extension + " failed");
    }
  } catch (const cv::Exception& e) {
    // The encoder exists but refuses this image: a grey-only format given the colour result, or
    // a size its library rejects. OpenCV's own reason is the useful part.
    return Status::error("cannot write '" + path + "': the " + extension +
                         " encoder refused the image (" + e.err + ")");
  }
  return std::string(bytes.begin(), bytes.end());
}

}  // namespace

std::string imageExtension(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  return path.substr(dot);
}

Status checkImageWriter(const std::string& path) {
  const std::string extension = imageExtension(path);
  if (extension.empty()) {
    return Status::error("cannot write '" + path + "': no image extension in the file name");
  }
  if (writerFor(path) != Writer::kOpenCv) return {};
  Result<OpenCvCodecs> codecs = openCvCodecs();
  if (!codecs.ok())
    return Status::error("cannot write '" + path + "': " + codecs.status().message());
  if (!codecs->haveWriter(path.c_str())) {
    return Status::error("cannot write '" + path + "': no image encoder for '" + extension + "'");
  }
  return {};
}

Result<std::string> encodeImageFor(const std::string& path, const cv::Mat& image) {
  if (Status writable = checkImageWriter(path); !writable.ok()) return writable;
  const std::string extension = imageExtension(path);
  const Writer writer = writerFor(path);
  if (writer == Writer::kOpenCv || !encodedHere(image)) {
    return encodeWithOpenCv(path, extension, image);
  }
  Result<std::string> bytes = writer == Writer::kJpeg ? encodeJpeg(image) : encodePng(image);
  if (!bytes.ok()) {
    // OpenCV reports a libjpeg or libpng failure in these words.
    return Status::error(
        "cannot write '" + path + "': the " + extension +
        " encoder refused the image (Raw image encoder error: " + bytes.status().message() + ")");
  }
  return bytes;
}

}  // namespace scenetext::io
