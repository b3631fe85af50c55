#pragma once

// Labels of candidate rectangles against word-level ground truth. A candidate spans a few letters
// (long words arrive as overlapping windows), so a positive need not hold a whole word: it must be
// mostly text. The fraction of text in a candidate is almost bimodal, so what lies between the two
// thresholds is rare and is left out of training rather than forced to either side.

#include <opencv2/core.hpp>

#include <cstdint>
#include <vector>

#include "eval/box_files.hpp"

namespace scenetext::training {

enum class SampleLabel : int8_t { NotText = -1, Unsure = 0, Text = 1 };

struct LabelRule {
  // Text: at least `positiveText` of the rectangle is covered by words and it holds at least
  // `positiveWordShare` of one word's area, or at least `positiveTextAlone` of it is text.
  double positiveText = 0.5;
  double positiveWordShare = 0.5;
  double positiveTextAlone = 0.6;
  // Not text: less than this fraction of the rectangle is covered by any word, don't-care words
  // included (they are text, only unreadable).
  double negativeText = 0.1;
};

// Ground-truth words in the coordinates of a WorkingImage reduced by `factor` (1, 2 or 4): every
// coordinate divided by the factor, truncated, so a word keeps the pixels it covers.
std::vector<evaluation::WordBox> scaleWords(const std::vector<evaluation::WordBox>& words,
                                            int factor);

// The label of `rect` (WorkingImage coordinates, x, y, width, height) against `words` (the same
// coordinates). Don't-care words never make a rectangle text, but keep it from being not-text.
SampleLabel labelCandidate(const cv::Rect& rect, const std::vector<evaluation::WordBox>& words,
                           const LabelRule& rule = {});

}  // namespace scenetext::training
