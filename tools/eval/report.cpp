#include "eval/report.hpp"

#include <cstdio>

namespace scenetext::evaluation {
namespace {

std::string threeDecimals(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", value);
  return text;
}

std::string csvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

}  // namespace

std::string formatSummary(const Scores& scores, std::optional<double> averagePrecision) {
  std::string line = "precision " + threeDecimals(scores.precision) + " recall " +
                     threeDecimals(scores.recall) + " F " + threeDecimals(scores.f);
  if (averagePrecision) line += " AP " + threeDecimals(*averagePrecision);
  return line + "\n";
}

std::string formatImageTable(const std::vector<ImageEvaluation>& images) {
  std::string table = "stem,words,detections,recall,precision\n";
  for (const ImageEvaluation& image : images) {
    const Tally& tally = image.score.tally;
    const Scores scores = scoresOf(tally);
    table += csvField(image.files.stem) + "," + std::to_string(tally.words) + "," +
             std::to_string(tally.detections) + "," + threeDecimals(scores.recall) + "," +
             threeDecimals(scores.precision) + "\n";
  }
  return table;
}

}  // namespace scenetext::evaluation
