#pragma once

// Where the candidate rectangles of a WorkingImage come from. The trainer asks a CandidateSource
// rather than the detection driver, so that another rule set for candidates can be trained on by
// swapping the source; everything after the rectangles (features, labels, cascade, simulated
// detection) is the same for every source.

#include <opencv2/core.hpp>

#include <functional>
#include <string>
#include <vector>

#include "common/status.hpp"
#include "regions/candidate_modes.hpp"

namespace scenetext::training {

struct CandidateSource {
  // Names the source in the sample cache's key, in messages and in the model's header ("exact",
  // "extended": the detector's --candidates names).
  std::string name;
  // The candidate rectangles of a WorkingImage (8-bit, 3 channels), in WorkingImage coordinates,
  // in the order the detector classifies them; the same rectangle may appear more than once.
  std::function<std::vector<cv::Rect>(const cv::Mat& working)> candidates;
};

// The detector's own candidate stage in `mode`, exactly as a detection run performs it. The exact
// mode: the EdgeMap, the component boxes and their filter, the split at the one band {0, H}, and
// the rectangles that the seeds form, in seed order. The extended mode: the candidates of the
// WorkingImage and of its half- and quarter-size reductions, in source order.
CandidateSource candidateSource(regions::CandidateMode mode);
CandidateSource exactCandidateSource();

// The source a command-line name selects ("exact", "extended"); an unknown name is an error naming
// the choices.
Result<CandidateSource> candidateSourceNamed(const std::string& name);

// The distinct rectangles of `rects`, each kept at its first appearance. Painting a rectangle
// twice into the TextMask changes nothing, so the distinct ones decide the detection.
std::vector<cv::Rect> distinctRectangles(const std::vector<cv::Rect>& rects);

}  // namespace scenetext::training
