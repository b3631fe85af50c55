#include "regions/text_lines.hpp"

#include "regions/band_classification.hpp"
#include "regions/final_regions.hpp"

namespace scenetext::regions {

std::vector<ScoredCandidate> acceptedCandidates(const cv::Mat& image,
                                                const std::vector<cv::Rect>& candidates,
                                                const classifier::StumpCascade& model) {
  std::vector<ScoredCandidate> accepted;
  // A rectangle's verdict does not depend on the seed that formed it, so each is judged once.
  for (const cv::Rect& rect : distinctCandidates(candidates)) {
    const classifier::CascadeVerdict verdict = judgeRegion(image(rect), model);
    if (verdict.decision == 1) accepted.push_back({rect, verdict.clearance});
  }
  return accepted;
}

cv::Mat paintTextMask(cv::Size size, const std::vector<ScoredCandidate>& accepted) {
  cv::Mat textMask = cv::Mat::zeros(size, CV_8UC1);
  for (const ScoredCandidate& candidate : accepted) textMask(candidate.rect).setTo(255);
  return textMask;
}

TextLines textLines(const cv::Mat& textMask, const std::vector<ScoredCandidate>& accepted) {
  const TextAreas areas = labelTextAreas(textMask);
  TextLines lines;
  lines.boxes = textAreaBoxes(areas);
  // The chance that every rectangle of the line is wrong, if each were wrong with 1 - c: several
  // seeds that agree on a line make it surer than any one of them.
  std::vector<double> doubt(lines.boxes.size(), 1.0);
  for (const ScoredCandidate& candidate : accepted) {
    // An accepted rectangle is painted whole, so all of it lies in one area: its corner says which.
    const auto line = static_cast<size_t>(areaIndex(areas, candidate.rect.tl()));
    doubt[line] *= 1.0 - candidate.clearance;
  }
  for (double d : doubt) lines.scores.push_back(1.0 - 0.5 * d);
  return lines;
}

}  // namespace scenetext::regions
