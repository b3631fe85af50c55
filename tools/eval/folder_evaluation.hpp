#pragma once

// Pairs a folder of ground-truth files with a folder of detection files by image stem, and scores
// every pair.
//
//   ground truth   gt_<stem>.txt
//   detections     <stem>.<image extension>.txt   (the detector's box list for <stem>.jpg, ...)
//                  res_<stem>.txt                  (ICDAR result files; res_<stem>.jpg.txt too)
//
// Image extensions are jpg, jpeg, png, bmp, tif and tiff in any letter case. Stems themselves are
// compared exactly. Images are listed in natural order of their stems (2 before 10).

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/status.hpp"
#include "eval/box_files.hpp"
#include "eval/scoring.hpp"

namespace scenetext::evaluation {

// "gt_100.txt" -> "100"; nullopt for any other kind of name.
std::optional<std::string> groundTruthStem(std::string_view fileName);
// "100.jpg.txt", "res_100.txt", "res_100.JPG.txt" -> "100"; nullopt for names not ending ".txt".
std::optional<std::string> detectionStem(std::string_view fileName);
// "100.jpg", "100.PNG" -> "100"; nullopt unless the extension is an image extension.
std::optional<std::string> imageStem(std::string_view fileName);

// Natural order: runs of digits compare as numbers, everything else byte by byte.
bool naturalLess(std::string_view a, std::string_view b);

struct ImageFiles {
  std::string stem;
  std::string groundTruthPath;
  std::string detectionPath;  // empty when the folder holds no detection file for this stem
};

// Every gt_<stem>.txt of `groundTruthDir` with its detection file from `detectionDir`. Fails when
// a folder is missing or unreadable, when there is no ground truth at all, when two detection
// files claim the same stem, and when not a single ground-truth file has a detection file (the
// folders do not belong together). Ground truth without a detection file is otherwise kept, with
// an empty detectionPath: it counts as an image without detections.
Result<std::vector<ImageFiles>> pairFilesByStem(const std::string& groundTruthDir,
                                                const std::string& detectionDir);

// Every image file of `folder` by stem, in natural order; a stem with two images keeps the one
// whose name sorts first.
Result<std::vector<std::pair<std::string, std::string>>> listImagesByStem(
    const std::string& folder);

struct ImageEvaluation {
  ImageFiles files;
  std::vector<WordBox> truth;
  std::vector<Box> detections;
  std::vector<std::optional<double>> scores;  // one per detection: its line's score, if it has one
  ImageScore score;
};

// Reads both files of every pair and scores them. Fails on the first file that cannot be read or
// parsed, naming it (and the line).
Result<std::vector<ImageEvaluation>> evaluateFolders(const std::string& groundTruthDir,
                                                     const std::string& detectionDir,
                                                     Protocol protocol);

Tally totalOf(const std::vector<ImageEvaluation>& images);

}  // namespace scenetext::evaluation
