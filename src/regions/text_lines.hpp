#pragma once

// Text lines with a score. Each accepted candidate rectangle carries the cascade's clearance c in
// [0, 1] (classifier::judgeStumpCascade: 0 when its weakest stage passed exactly at its threshold,
// 1 when every stump of that stage agreed); a final box scores 1 - 1/2 * prod(1 - c) over the
// accepted rectangles in its area: (1 + c) / 2 for a single rectangle, higher as more of them
// agree. Scores therefore lie in [0.5, 1].

#include <opencv2/core.hpp>

#include <vector>

#include "classifier/stump_cascade.hpp"
#include "common/box_list.hpp"

namespace scenetext::regions {

// A candidate rectangle (WorkingImage coordinates) that the cascade accepted.
struct ScoredCandidate {
  cv::Rect rect;
  double clearance = 0.0;  // in [0, 1], classifier::CascadeVerdict
};

// Judges each distinct rectangle of `candidates` once, in order of first appearance, on `image`
// (the WorkingImage, 8-bit, 1 or 3 channels); returns the accepted ones in that order. The
// decisions are classifyCandidate's.
std::vector<ScoredCandidate> acceptedCandidates(const cv::Mat& image,
                                                const std::vector<cv::Rect>& candidates,
                                                const classifier::StumpCascade& model);

// The TextMask: CV_8UC1 of `size`, 255 inside every accepted rectangle, 0 elsewhere.
cv::Mat paintTextMask(cv::Size size, const std::vector<ScoredCandidate>& accepted);

struct TextLines {
  BoxList boxes;               // textMaskRegions of the TextMask, in its order
  std::vector<double> scores;  // one per box, in [0.5, 1]
};

// The final boxes of `textMask` (paintTextMask of `accepted`) and the score of each, from the
// accepted rectangles that lie in its area, taken in the order of `accepted`.
TextLines textLines(const cv::Mat& textMask, const std::vector<ScoredCandidate>& accepted);

}  // namespace scenetext::regions
