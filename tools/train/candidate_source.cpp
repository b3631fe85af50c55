#include "train/candidate_source.hpp"

#include <set>
#include <tuple>

#include "edges/edge_detection.hpp"

namespace scenetext::training {

CandidateSource candidateSource(regions::CandidateMode mode) {
  // The detector's own candidate stage for the one band that covers the WorkingImage.
  auto candidates = [mode](const cv::Mat& working) {
    return regions::candidateRectangles(working, edges::detectEdges(working, edges::kEdgeFraction),
                                        mode);
  };
  return {std::string(regions::candidateModeName(mode)), candidates};
}

CandidateSource exactCandidateSource() { return candidateSource(regions::CandidateMode::kExact); }

Result<CandidateSource> candidateSourceNamed(const std::string& name) {
  const std::optional<regions::CandidateMode> mode = regions::parseCandidateMode(name);
  if (!mode) return Status::error("unknown candidate mode '" + name + "' (known: exact, extended)");
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
