#pragma once

// Exact comparisons for the equivalence tests: a failure names the stage, the first differing
// element with both values, and how many elements differ.

#include <gtest/gtest.h>

#include <opencv2/core.hpp>

#include <algorithm>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "common/box_list.hpp"
#include "reference/regions.hpp"

namespace scenetext::reference::testing {

inline std::string valueAt(const cv::Mat& m, int row, int col, int channel) {
  std::ostringstream out;
  out.precision(9);
  switch (m.depth()) {
    case CV_8U:
      out << static_cast<int>(m.ptr<uchar>(row)[col * m.channels() + channel]);
      break;
    case CV_32F:
      out << m.ptr<float>(row)[col * m.channels() + channel];
      break;
    default:
      out << "?";
      break;
  }
  return out.str();
}

// Same type, same size and the same bytes row by row (float data compared by memcmp, so -0 and 0
// or two different NaNs count as different).
inline void expectSameMat(const std::string& stage, const cv::Mat& library,
                          const cv::Mat& reference) {
  ASSERT_EQ(library.type(), reference.type()) << stage << ": type";
  ASSERT_EQ(library.size(), reference.size()) << stage << ": size";
  const size_t rowBytes = reference.cols * reference.elemSize();
  for (int r = 0; r < reference.rows; ++r) {
    if (std::memcmp(library.ptr(r), reference.ptr(r), rowBytes) == 0) continue;
    for (int c = 0; c < reference.cols; ++c) {
      if (std::memcmp(library.ptr(r) + c * reference.elemSize(),
                      reference.ptr(r) + c * reference.elemSize(), reference.elemSize()) == 0) {
        continue;
      }
      int differing = 0;
      for (int rr = 0; rr < reference.rows; ++rr) {
        for (int cc = 0; cc < reference.cols; ++cc) {
          differing +=
              std::memcmp(library.ptr(rr) + cc * reference.elemSize(),
                          reference.ptr(rr) + cc * reference.elemSize(), reference.elemSize()) != 0;
        }
      }
      std::ostringstream channels;
      for (int ch = 0; ch < reference.channels(); ++ch) {
        channels << " [" << ch << "] library " << valueAt(library, r, c, ch) << " reference "
                 << valueAt(reference, r, c, ch);
      }
      ADD_FAILURE() << stage << ": first difference at row " << r << ", column " << c << ":"
                    << channels.str() << " (" << differing << " elements differ)";
      return;
    }
  }
}

inline FlatBoxList flatten(const BoxList& boxes) {
  FlatBoxList flat;
  for (const Box& b : boxes) flat.insert(flat.end(), {b.left, b.top, b.right, b.bottom});
  return flat;
}

inline BoxList unflatten(const FlatBoxList& flat) {
  BoxList boxes;
  for (size_t k = 0; k + 3 < flat.size(); k += 4) {
    boxes.push_back({flat[k], flat[k + 1], flat[k + 2], flat[k + 3]});
  }
  return boxes;
}

inline std::string boxAt(const FlatBoxList& boxes, size_t index) {
  if (4 * index + 3 >= boxes.size()) return "none";
  std::ostringstream out;
  out << '(' << boxes[4 * index] << ", " << boxes[4 * index + 1] << ", " << boxes[4 * index + 2]
      << ", " << boxes[4 * index + 3] << ')';
  return out.str();
}

inline void expectSameBoxes(const std::string& stage, const BoxList& library,
                            const FlatBoxList& reference) {
  const FlatBoxList flat = flatten(library);
  if (flat == reference) return;
  size_t k = 0;
  while (4 * k + 3 < flat.size() && 4 * k + 3 < reference.size() &&
         std::equal(flat.begin() + 4 * k, flat.begin() + 4 * k + 4, reference.begin() + 4 * k)) {
    ++k;
  }
  ADD_FAILURE() << stage << ": " << library.size() << " boxes in the library, "
                << reference.size() / 4 << " in the reference; first difference at box " << k
                << ": library " << boxAt(flat, k) << ", reference " << boxAt(reference, k);
}

inline std::string rectText(const cv::Rect& r) {
  std::ostringstream out;
  out << '(' << r.x << ", " << r.y << ", " << r.width << " x " << r.height << ')';
  return out.str();
}

inline void expectSameRects(const std::string& stage, const std::vector<cv::Rect>& library,
                            const std::vector<cv::Rect>& reference) {
  if (library == reference) return;
  size_t k = 0;
  while (k < library.size() && k < reference.size() && library[k] == reference[k]) ++k;
  ADD_FAILURE() << stage << ": " << library.size() << " rectangles in the library, "
                << reference.size() << " in the reference; first difference at " << k
                << ": library " << (k < library.size() ? rectText(library[k]) : "none")
                << ", reference " << (k < reference.size() ? rectText(reference[k]) : "none");
}

}  // namespace scenetext::reference::testing
