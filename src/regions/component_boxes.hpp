#pragma once

// Component boxes: one bounding box per contour of the EdgeMap, then the boxes that cannot be a
// single character are dropped.

#include <opencv2/core.hpp>

#include "common/box_list.hpp"

namespace scenetext::regions {

// A box that strictly encloses this many other boxes or more holds several characters (or a whole
// word, or a frame) rather than one character, and is removed.
inline constexpr int kNestingLimit = 4;

// One box per contour of `edges` (CV_8UC1, non-zero on edge pixels; all contours, outer and hole
// borders alike, in the order the contour finder lists them). The first point of a contour starts
// its box unchecked; every point with 0 <= x <= width and 0 <= y <= height (inclusive) widens it.
// `width` and `height` are the WorkingImage's. `edges` is not changed. No edges: an empty list.
BoxList contourBoxes(const cv::Mat& edges, int width, int height);

// Filters `boxes` in place, keeping the order of the survivors:
//  1. nesting: in list order, a box that strictly encloses (on all four sides) `nestingLimit` or
//     more other boxes is removed at once, so later boxes no longer count it;
//  2. shape: with w = right - left and h = bottom - top, a box is removed when h <= 5, when
//     5.0 * w < h (too narrow) or when 2.4 * h < w (too wide).
// Boxes must have non-negative coordinates.
void filterComponentBoxes(BoxList& boxes, int nestingLimit = kNestingLimit);

}  // namespace scenetext::regions
