#pragma once

// The detection driver: from the edge map of the WorkingImage to the final text boxes.

#include <opencv2/core.hpp>

#include "classifier/stump_cascade.hpp"
#include "common/box_list.hpp"

namespace scenetext::regions {

// Builds and filters the component boxes of `edges`, splits them at the interior bounds of
// `bands`, classifies every band's candidates with `model`, and from the resulting TextMask
// derives the final boxes and the BoxMask.
//   boxes     out: empty on entry; one box per 4-connected area of the TextMask (list order: by
//             each area's top row, then left to right), WorkingImage coordinates.
//   textMask  out: CV_8UC1 of the image's size, 255 where an accepted candidate lay.
//   boxMask   out: CV_8UC1 of the image's size, 255 inside every box of `boxes`.
//   image     the WorkingImage, 8-bit, 3 channels; `edges` its EdgeMap (CV_8UC1).
//   bands     ascending row bounds within 0..image.rows; the run passes {0, rows}.
void detectTextRegions(BoxList& boxes, cv::Mat& textMask, cv::Mat& boxMask, const cv::Mat& image,
                       const cv::Mat& edges, const BandBoundaryList& bands,
                       const classifier::StumpCascade& model);

// The component boxes of one band, shifted to band-relative rows: every box lying wholly within
// rows top..bottom.
BoxList bandBoxes(const BoxList& boxes, int top, int bottom);

}  // namespace scenetext::regions
