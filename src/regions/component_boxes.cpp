#include "regions/component_boxes.hpp"

#include <algorithm>
#include <cstddef>
#include <vector>

#include <opencv2/imgproc.hpp>

namespace scenetext::regions {
namespace {

// Boxes whose height difference is at most this are too low to be a character.
constexpr int kMaxRemovedHeight = 5;
// A character is at most five times as high as it is wide (an "l" or a "1")...
constexpr double kHeightToWidthLimit = 5.0;
// ...and at most 2.4 times as wide as it is high (a "w", or two touching letters).
constexpr double kWidthToHeightLimit = 2.4;

Box contourBox(const std::vector<cv::Point>& contour, int width, int height) {
  // The first point starts the box even when it lies outside the bounds.
  Box box{contour[0].x, contour[0].y, contour[0].x, contour[0].y};
  for (const cv::Point& p : contour) {
    if (p.x >= 0 && p.y >= 0 && p.x <= width && p.y <= height) {
      box.left = std::min(box.left, p.x);
      box.right = std::max(box.right, p.x);
      box.top = std::min(box.top, p.y);
      box.bottom = std::max(box.bottom, p.y);
    }
  }
  return box;
}

bool strictlyInside(const Box& inner, const Box& outer) {
  return inner.left > outer.left && inner.top > outer.top && inner.right < outer.right &&
         inner.bottom < outer.bottom;
}

// Removal is immediate: a marked box has left = -1, which is never greater than a real left, so
// the boxes examined after it no longer count it.
void removeNestingBoxes(BoxList& boxes, int nestingLimit) {
  for (std::size_t i = 0; i < boxes.size(); ++i) {
    int enclosed = 0;
    for (std::size_t k = 0; k < boxes.size(); ++k) {
      if (k != i && strictlyInside(boxes[k], boxes[i])) ++enclosed;
    }
    if (enclosed >= nestingLimit) markRemoved(boxes[i]);
  }
  compactBoxList(boxes);
}

bool hasCharacterShape(const Box& box) {
  const int w = box.right - box.left;
  const int h = box.bottom - box.top;
  if (h <= kMaxRemovedHeight) return false;
  return !(kHeightToWidthLimit * w < h || kWidthToHeightLimit * h < w);
}

void removeOddShapes(BoxList& boxes) {
  for (Box& box : boxes) {
    if (!hasCharacterShape(box)) markRemoved(box);
  }
  compactBoxList(boxes);
}

}  // namespace

BoxList contourBoxes(const cv::Mat& edges, int width, int height) {
  // List mode with the simple chain approximation: every border of every stroke, outer and hole,
  // in one flat list whose order the nesting filter depends on. The finder works on its own copy.
  std::vector<std::vector<cv::Point>> contours;
  cv::findContours(edges, contours, cv::RETR_LIST, cv::CHAIN_APPROX_SIMPLE);
  BoxList boxes;
  boxes.reserve(contours.size());
  for (const auto& contour : contours) {
    if (!contour.empty()) boxes.push_back(contourBox(contour, width, height));
  }
  return boxes;
}

void filterComponentBoxes(BoxList& boxes, int nestingLimit) {
  removeNestingBoxes(boxes, nestingLimit);
  removeOddShapes(boxes);
}

}  // namespace scenetext::regions
