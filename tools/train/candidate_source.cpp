#include "train/candidate_source.hpp"

#include <set>
#include <tuple>

#include "common/box_list.hpp"
#include "edges/edge_detection.hpp"
#include "regions/band_classification.hpp"
#include "regions/component_boxes.hpp"
#include "regions/detection.hpp"
#include "regions/row_bands.hpp"

namespace scenetext::training {
namespace {

std::vector<cv::Rect> specCandidates(const cv::Mat& working) {
  const int height = working.rows;
  const int width = working.cols;
  const cv::Mat edges = edges::detectEdges(working, edges::kEdgeFraction);
  BoxList components = regions::contourBoxes(edges, width, height);
  regions::filterComponentBoxes(components);
  // A detection run uses one band over the whole image; its rows are the image's rows.
  const BandBoundaryList bands{0, height};
  regions::splitBoxesAtBands(components, bands);
  return regions::formCandidates(regions::bandBoxes(components, 0, height - 1));
}

std::vector<cv::Rect> extendedCandidates(const cv::Mat& working) {
  return regions::extendedCandidates(working, edges::detectEdges(working, edges::kEdgeFraction));
}

}  // namespace

CandidateSource candidateSource(regions::CandidateMode mode) {
  const bool exact = mode == regions::CandidateMode::kExact;
  return {std::string(regions::candidateModeName(mode)), exact ? specCandidates : extendedCandidates};
}

CandidateSource specCandidateSource() { return candidateSource(regions::CandidateMode::kExact); }

Result<CandidateSource> candidateSourceNamed(const std::string& name) {
  const std::optional<regions::CandidateMode> mode = regions::parseCandidateMode(name);
  if (!mode) return Status::error("unknown candidate mode '" + name + "' (known: spec, extended)");
  return candidateSource(*mode);
}

std::vector<cv::Rect> distinctRectangles(const std::vector<cv::Rect>& rects) {
  std::set<std::tuple<int, int, int, int>> seen;
  std::vector<cv::Rect> distinct;
  for (const cv::Rect& rect : rects) {
    if (seen.insert({rect.x, rect.y, rect.width, rect.height}).second) distinct.push_back(rect);
  }
  return distinct;
}

}  // namespace scenetext::training
