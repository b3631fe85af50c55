#include "regions/candidate_modes.hpp"

#include <opencv2/imgproc.hpp>

#include <algorithm>

#include "edges/edge_detection.hpp"
#include "regions/band_classification.hpp"
#include "regions/component_boxes.hpp"
#include "regions/final_regions.hpp"
#include "regions/row_bands.hpp"

namespace scenetext::regions {

std::string_view candidateModeName(CandidateMode mode) {
  return mode == CandidateMode::kExact ? "exact" : "extended";
}

std::optional<CandidateMode> parseCandidateMode(std::string_view name) {
  if (name == "exact") return CandidateMode::kExact;
  if (name == "extended") return CandidateMode::kExtended;
  return std::nullopt;
}

Box scaleBoxToWorking(const Box& box, int factor, int width, int height) {
  return {std::min(box.left * factor, width - 1), std::min(box.top * factor, height - 1),
          std::min(box.right * factor + factor - 1, width - 1),
          std::min(box.bottom * factor + factor - 1, height - 1)};
}

std::vector<cv::Rect> extendedCandidates(const cv::Mat& working, const cv::Mat& edges) {
  std::vector<cv::Rect> candidates;
  for (int factor : kExtendedSourceFactors) {
    const cv::Size size(working.cols / factor, working.rows / factor);
    if (size.width < 1 || size.height < 1) break;
    cv::Mat source = working;
    cv::Mat sourceEdges = edges;
    if (factor > 1) {
      cv::resize(working, source, size, 0, 0, cv::INTER_LINEAR);
      sourceEdges = edges::detectEdges(source, edges::kEdgeFraction);
    }
    BoxList boxes = contourBoxes(sourceEdges, source.cols, source.rows);
    filterComponentBoxes(boxes, kExtendedNestingLimit);
    if (factor > 1) {
      for (Box& box : boxes) {
        box = scaleBoxToWorking(box, factor, working.cols, working.rows);
      }
    }
    const std::vector<cv::Rect> found = formCandidates(boxes, kExtendedCentreDistanceFactor);
    candidates.insert(candidates.end(), found.begin(), found.end());
  }
  return candidates;
}

std::vector<cv::Rect> candidateRectangles(const cv::Mat& working, const cv::Mat& edges,
                                          CandidateMode mode) {
  if (mode == CandidateMode::kExtended) return extendedCandidates(working, edges);
  BoxList boxes = contourBoxes(edges, working.cols, working.rows);
  filterComponentBoxes(boxes);
  splitBoxesAtBands(boxes, BandBoundaryList{0, working.rows});
  return formCandidates(boxes);
}

void detectTextRegionsExtended(BoxList& boxes, cv::Mat& textMask, cv::Mat& boxMask,
                               const cv::Mat& image, const cv::Mat& edges,
                               const classifier::StumpCascade& model) {
  textMask = cv::Mat::zeros(image.rows, image.cols, CV_8UC1);
  for (const cv::Rect& rect : distinctCandidates(extendedCandidates(image, edges))) {
    classifyCandidate(rect, textMask, image, model);
  }
  textMaskRegions(textMask, boxes);
  boxMask = fillBoxMask(boxes, image.rows, image.cols);
}

}  // namespace scenetext::regions
