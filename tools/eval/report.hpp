#pragma once

// The texts an evaluation writes: the one-line summary and the per-image table.

#include <optional>
#include <string>
#include <vector>

#include "eval/folder_evaluation.hpp"
#include "eval/scoring.hpp"

namespace scenetext::evaluation {

// "precision 0.812 recall 0.654 F 0.724\n": three decimals, in this order, for scripts to read;
// with an average precision, " AP 0.701" before the line end.
std::string formatSummary(const Scores& scores,
                          std::optional<double> averagePrecision = std::nullopt);

// CSV with a header line "stem,words,detections,recall,precision" and one row per image in the
// given order: counted words and detections, and the image's recall and precision with three
// decimals. Stems holding a comma, a quote or a line break are quoted, quotes doubled.
std::string formatImageTable(const std::vector<ImageEvaluation>& images);

}  // namespace scenetext::evaluation
