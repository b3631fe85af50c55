// The plugin that carries OpenCV's imgcodecs (see opencv_codecs.hpp): one thin function per call.

#include <opencv2/imgcodecs.hpp>

#include "io/opencv_codecs.hpp"

namespace {
constexpr int kColourAsStored = cv::IMREAD_COLOR | cv::IMREAD_IGNORE_ORIENTATION;
}  // namespace

extern "C" {

__attribute__((visibility("default"))) void scenetext_opencv_read(const char* path,
                                                                  cv::Mat* image) {
  *image = cv::imread(path, kColourAsStored);
}

__attribute__((visibility("default"))) void scenetext_opencv_decode(const char* data, size_t size,
                                                                    cv::Mat* image) {
  const cv::Mat buffer(1, static_cast<int>(size), CV_8UC1, const_cast<char*>(data));
  *image = cv::imdecode(buffer, kColourAsStored);
}

__attribute__((visibility("default"))) bool scenetext_opencv_have_writer(const char* path) {
  return cv::haveImageWriter(path);
}

__attribute__((visibility("default"))) bool scenetext_opencv_encode(const char* extension,
                                                                    const cv::Mat* image,
                                                                    std::vector<uchar>* bytes) {
  return cv::imencode(extension, *image, *bytes);
}

}  // extern "C"
