#pragma once

// The options that choose how a detection runs and what its box list holds, declared alike by
// scenetext and scenetext-batch. Header-only: it is the mains' code (CLI11), not the library's.

#include <CLI/CLI.hpp>

#include <string>

#include "driver/run.hpp"

namespace scenetext::driver {

struct DetectionOptions {
  std::string candidates = "exact";  // "exact" or "extended": see regions::parseCandidateMode
  std::string granularity = "line";  // "line" or "word"
  ExtraOutputs extras;               // --min-score, --scores and the granularity's `words`
};

// Declares --candidates, --granularity, --min-score and --scores on `app`, storing into `options`.
// Call finishDetectionOptions after parsing.
inline void addDetectionOptions(CLI::App& app, DetectionOptions& options) {
  app.add_option("--candidates", options.candidates,
                 "Candidate stage: exact (the reference algorithm, bit for bit) or extended (also "
                 "half- and quarter-size edges, letters with holes, wider letter spacing)")
      ->check(CLI::IsMember({"exact", "extended"}))
      ->capture_default_str();
  app.add_option("--granularity", options.granularity,
                 "Boxes of the box list: line (one per text line) or word (each line cut into its "
                 "words); the tinted image is the same")
      ->check(CLI::IsMember({"line", "word"}))
      ->capture_default_str();
  app.add_option("--min-score", options.extras.minScore,
                 "Leave out the lines scoring below S (scores lie in (0, 1]; 0 keeps every line)")
      ->type_name("S")
      ->check(CLI::Range(0.0, 1.0))
      ->capture_default_str();
  app.add_flag("--scores", options.extras.scores,
               "Append each line's score to its box-list line: left,top,right,bottom,score");
}

// The parsed names as the library's values; `modelPath` is what the JSON output names.
inline void finishDetectionOptions(DetectionOptions& options, const std::string& modelPath) {
  options.extras.words = options.granularity == "word";
  options.extras.modelPath = modelPath;
}

}  // namespace scenetext::driver
