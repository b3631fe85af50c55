#pragma once

// The machine-readable account of one image: a JSON object with named fields, one per file
// (`scenetext --json`) or one per line of a JSON Lines stream (`scenetext-batch --jsonl`).
//
//   {"image": "<path as given>", "width": W, "height": H, "candidates": "exact"|"extended",
//    "model": "<model path>", "lines": [{"left": l, "top": t, "right": r, "bottom": b,
//    "score": s, "words": [{"left": l, "top": t, "right": r, "bottom": b}, ...]}, ...]}
//   {"image": "<path as given>", "error": "<message>"}          (an image that failed)
//
// Coordinates are inclusive input-image pixels, lines in the order of the line box list, each
// line's words left to right (reading order); every line has at least one word. Text is UTF-8;
// bytes of a path that are not valid UTF-8 are replaced by U+FFFD.

#include <string>
#include <vector>

#include "io/box_files.hpp"
#include "regions/candidate_modes.hpp"

namespace scenetext::driver {

// One image's outcome.
struct ImageReport {
  std::string image;  // the path as given
  int width = 0;      // of the input image
  int height = 0;
  regions::CandidateMode candidates = regions::CandidateMode::kExact;
  std::string modelPath;
  std::vector<io::InputLine> lines;
};

// The report as one line of JSON, without a newline, fields in the order shown above.
std::string formatJsonReport(const ImageReport& report);

// The failure of one image as one line of JSON, without a newline.
std::string formatJsonError(const std::string& image, const std::string& message);

}  // namespace scenetext::driver
