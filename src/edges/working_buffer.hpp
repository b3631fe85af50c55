#pragma once

// Per-thread working buffers for the image-sized temporaries of the edge detector.

#include <opencv2/core.hpp>

#include <vector>

namespace scenetext::edges {

// A matrix of `size` and `type` (contiguous rows) over `storage`, which only grows: a photo's
// planes are megabytes, and the detector runs on photos and on 96 x 48 patches in turn, so a
// thread keeps its largest buffer instead of mapping fresh pages for every image. The contents
// are whatever the last use left; the matrix is valid until the next call with the same storage.
template <typename T>
cv::Mat workingBuffer(std::vector<T>& storage, cv::Size size, int type) {
  const size_t elements = static_cast<size_t>(size.area()) * CV_ELEM_SIZE(type) / sizeof(T);
  if (storage.size() < elements) storage.resize(elements);
  return cv::Mat(size, type, storage.data());
}

}  // namespace scenetext::edges
