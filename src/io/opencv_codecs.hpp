#pragma once

// Every image format besides JPEG and PNG goes through OpenCV's imgcodecs, which Debian builds with
// GDAL, GDCM, OpenEXR, poppler and a hundred more libraries: mapping them costs a run about 100 ms
// before main. So imgcodecs lives in a plugin, libscenetext_opencv_codecs.so, that is opened the
// first time such a file is met, and a JPEG or PNG run never loads it.
//
// The plugin is looked for beside the executable, then beside the shared library this code is in
// (when it is in one), then in the build folder it was made in.

#include <opencv2/core.hpp>

#include <string>
#include <string_view>
#include <vector>

#include "common/status.hpp"

namespace scenetext::io {

// The entry points the plugin exports (C names, C++ types: both sides share libopencv_core). Each
// may throw cv::Exception as the imgcodecs call inside it does.
extern "C" {
// cv::imread(path, IMREAD_COLOR | IMREAD_IGNORE_ORIENTATION) into *image.
using OpenCvReadFunction = void (*)(const char* path, cv::Mat* image);
// cv::imdecode of the bytes with the same flags into *image.
using OpenCvDecodeFunction = void (*)(const char* data, size_t size, cv::Mat* image);
// cv::haveImageWriter(path).
using OpenCvHaveWriterFunction = bool (*)(const char* path);
// cv::imencode(extension, *image, *bytes): its result.
using OpenCvEncodeFunction = bool (*)(const char* extension, const cv::Mat* image,
                                      std::vector<uchar>* bytes);
}

struct OpenCvCodecs {
  OpenCvReadFunction read = nullptr;
  OpenCvDecodeFunction decode = nullptr;
  OpenCvHaveWriterFunction haveWriter = nullptr;
  OpenCvEncodeFunction encode = nullptr;
};

// The plugin's functions, loaded on the first call and kept for the life of the process (safe from
// many threads). Fails with "cannot load OpenCV's image codecs: REASON" when the plugin is missing
// or broken; the failure is remembered.
Result<OpenCvCodecs> openCvCodecs();

}  // namespace scenetext::io
