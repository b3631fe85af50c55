#pragma once

// Final text regions: the 4-connected areas of the TextMask become the final boxes.

#include <opencv2/core.hpp>

#include "common/box_list.hpp"

namespace scenetext::regions {

// The 4-connected areas of the non-zero pixels of `textMask` (CV_8UC1), numbered from 1 in the
// order textMaskRegions lists their boxes.
struct TextAreas {
  cv::Mat labels;  // CV_32FC1 of the mask's size: 0 off text, the area's number on text
  int count = 0;   // areas numbered
};
TextAreas labelTextAreas(const cv::Mat& textMask);

// The bounding box of each area, in the order of their numbers: what textMaskRegions appends.
BoxList textAreaBoxes(const TextAreas& areas);

// The index of the area of text pixel `at` in textMaskRegions' list: its label minus 1.
int areaIndex(const TextAreas& areas, cv::Point at);

// Appends to `boxes` the bounding box (inclusive, pixel coordinates of `textMask`) of every
// 4-connected area of non-zero pixels of `textMask` (CV_8UC1, 0 or 255), ordered by the top row of
// each area and, among areas with the same top row, by the left-most pixel of that row. An
// all-zero mask appends nothing. A mask of any other type is a cv::Exception.
void textMaskRegions(const cv::Mat& textMask, BoxList& boxes);

// A new CV_8UC1 mask of `height` rows and `width` columns, 255 inside every box of `boxes` (edges
// included), 0 elsewhere. Parts of boxes outside the mask are ignored.
cv::Mat fillBoxMask(const BoxList& boxes, int height, int width);

}  // namespace scenetext::regions
