#pragma once

// A page to look at instead of read: the set's figures, the precision-recall curve when the
// detections carry scores, and every image with its own figures and overlay, worst first.

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "eval/average_precision.hpp"
#include "eval/folder_evaluation.hpp"
#include "eval/scoring.hpp"

namespace scenetext::evaluation {

// An image's overlay files, as paths relative to the page (forward slashes, not yet escaped).
struct OverlayLinks {
  std::string full;
  std::string thumbnail;
};

struct ReportContent {
  Protocol protocol = Protocol::DetEval;
  const std::vector<ImageEvaluation>* images = nullptr;  // the set, required
  std::map<std::string, OverlayLinks> overlays;  // by stem; an image without one shows no picture
  std::optional<PrecisionRecallCurve> curve;     // drawn, and its AP shown, when present
};

// The images in the order the page lists them: lowest F first, ties in natural order of stem.
std::vector<const ImageEvaluation*> worstFirst(const std::vector<ImageEvaluation>& images);

// A whole HTML page, UTF-8, with its style and its curve (an SVG) inline and nothing fetched from
// elsewhere: the only links are the relative ones to the overlays.
std::string formatHtmlReport(const ReportContent& content);

// Text for HTML content and attribute values: & < > " ' escaped.
std::string escapeHtml(const std::string& text);
// A relative path for an href or src: every byte outside A-Z a-z 0-9 - . _ ~ / percent-encoded.
std::string escapeUrlPath(const std::string& path);

}  // namespace scenetext::evaluation
