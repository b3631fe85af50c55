#include "train/sample_labels.hpp"

#include <algorithm>

#include "eval/scoring.hpp"

namespace scenetext::training {

std::vector<evaluation::WordBox> scaleWords(const std::vector<evaluation::WordBox>& words,
                                            int factor) {
  std::vector<evaluation::WordBox> scaled = words;
  for (evaluation::WordBox& word : scaled) {
    word.left /= factor;
    word.top /= factor;
    word.right /= factor;
    word.bottom /= factor;
  }
  return scaled;
}

SampleLabel labelCandidate(const cv::Rect& rect, const std::vector<evaluation::WordBox>& words,
                           const LabelRule& rule) {
  const Box box{rect.x, rect.y, rect.x + rect.width - 1, rect.y + rect.height - 1};
  const double area = evaluation::boxArea(box);
  if (area <= 0.0) return SampleLabel::Unsure;

  std::vector<Box> readable;
  std::vector<Box> all;
  double bestWordShare = 0.0;
  for (const evaluation::WordBox& word : words) {
    all.push_back(word.rect());
    if (word.dontCare) continue;
    readable.push_back(word.rect());
    const double wordArea = evaluation::boxArea(word.rect());
    if (wordArea > 0.0) {
      bestWordShare =
          std::max(bestWordShare, evaluation::intersectionArea(box, word.rect()) / wordArea);
    }
  }
  const double text = evaluation::coveredArea(box, readable) / area;
  if ((text >= rule.positiveText && bestWordShare >= rule.positiveWordShare) ||
      text >= rule.positiveTextAlone) {
    return SampleLabel::Text;
  }
  if (evaluation::coveredArea(box, all) / area < rule.negativeText) return SampleLabel::NotText;
  return SampleLabel::Unsure;
}

}  // namespace scenetext::training
