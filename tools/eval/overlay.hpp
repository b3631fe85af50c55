#pragma once

// A picture of one image's evaluation, for a person looking for where the detector fails.

#include <opencv2/core.hpp>

#include "eval/folder_evaluation.hpp"

namespace scenetext::evaluation {

// Colours (blue, green, red). Matched boxes are bright, missed words and wrong detections dim,
// don't-care words and the detections dropped on them grey.
inline const cv::Scalar kMatchedWordColour{0, 255, 0};
inline const cv::Scalar kUnmatchedWordColour{0, 120, 0};
inline const cv::Scalar kMatchedDetectionColour{255, 255, 0};
inline const cv::Scalar kUnmatchedDetectionColour{120, 120, 0};
inline const cv::Scalar kIgnoredColour{128, 128, 128};

// A 3-channel copy of `image` (8-bit, 1, 3 or 4 channels; grey is expanded, alpha dropped) with
// every ground-truth word and then every detection outlined on its inclusive bounds, lines about 1
// pixel per 400 of the larger side and at least 1. Boxes reaching outside the image are clipped by
// the drawing.
cv::Mat drawOverlay(const cv::Mat& image, const ImageEvaluation& evaluation);

// The same picture reduced to fit within maxWidth x maxHeight (never enlarged), the boxes drawn
// after the reduction on coordinates scaled alike, so that their lines stay sharp.
cv::Mat drawThumbnail(const cv::Mat& image, const ImageEvaluation& evaluation, int maxWidth,
                      int maxHeight);

}  // namespace scenetext::evaluation
