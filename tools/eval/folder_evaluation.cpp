#include "eval/folder_evaluation.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <map>
#include <system_error>

#include "common/file_output.hpp"

namespace scenetext::evaluation {
namespace {

namespace fs = std::filesystem;

// The image types the detector reads, by extension.
constexpr std::array<std::string_view, 6> kImageExtensions = {"jpg", "jpeg", "png",
                                                              "bmp", "tif",  "tiff"};

bool startsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

bool endsWith(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

bool isImageExtension(std::string_view extension) {
  std::string lower(extension);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return std::find(kImageExtensions.begin(), kImageExtensions.end(), lower) !=
         kImageExtensions.end();
}

// "name.ext" -> "name" when ext is an image extension and name is not empty.
std::optional<std::string_view> withoutImageExtension(std::string_view name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0 || !isImageExtension(name.substr(dot + 1))) {
    return std::nullopt;
  }
  return name.substr(0, dot);
}

// The names of the regular files in `folder` (symbolic links followed), sorted.
Result<std::vector<std::string>> listFiles(const std::string& folder, const std::string& role) {
  std::error_code error;
  if (!fs::is_directory(folder, error)) {
    return Status::error(role + " folder '" + folder + "' does not exist or is not a folder");
  }
  std::vector<std::string> names;
  fs::directory_iterator it(folder, error);
  for (; !error && it != fs::directory_iterator(); it.increment(error)) {
    std::error_code typeError;
    if (it->is_regular_file(typeError)) names.push_back(it->path().filename().string());
  }
  if (error)
    return Status::error("cannot list " + role + " folder '" + folder + "': " + error.message());
  std::sort(names.begin(), names.end());
  return names;
}

std::string joinPath(const std::string& folder, const std::string& name) {
  return (fs::path(folder) / name).string();
}

// Detection files by stem; two files for one stem are an error, since either could be meant.
Result<std::map<std::string, std::string>> detectionFilesByStem(const std::string& detectionDir) {
  Result<std::vector<std::string>> names = listFiles(detectionDir, "detection");
  if (!names.ok()) return names.status();
  std::map<std::string, std::string> byStem;
  for (const std::string& name : *names) {
    std::optional<std::string> stem = detectionStem(name);
    if (!stem) continue;
    auto [it, inserted] = byStem.emplace(*stem, joinPath(detectionDir, name));
    if (!inserted) {
      return Status::error("two detection files for image '" + *stem + "': '" + it->second +
                           "' and '" + joinPath(detectionDir, name) + "'");
    }
  }
  return byStem;
}

// Length of the run of digits starting at `pos`.
size_t digitRun(std::string_view text, size_t pos) {
  size_t end = pos;
  while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
  return end - pos;
}

// Compares two digit runs as numbers of any length; 0 when equal.
int compareNumbers(std::string_view a, std::string_view b) {
  while (a.size() > 1 && a.front() == '0') a.remove_prefix(1);
  while (b.size() > 1 && b.front() == '0') b.remove_prefix(1);
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return a.compare(b);
}

}  // namespace

std::optional<std::string> groundTruthStem(std::string_view fileName) {
  constexpr std::string_view kPrefix = "gt_";
  constexpr std::string_view kSuffix = ".txt";
  if (fileName.size() <= kPrefix.size() + kSuffix.size()) return std::nullopt;
  if (!startsWith(fileName, kPrefix) || !endsWith(fileName, kSuffix)) return std::nullopt;
  return std::string(
      fileName.substr(kPrefix.size(), fileName.size() - kPrefix.size() - kSuffix.size()));
}

std::optional<std::string> detectionStem(std::string_view fileName) {
  constexpr std::string_view kResultPrefix = "res_";
  constexpr std::string_view kSuffix = ".txt";
  if (!endsWith(fileName, kSuffix)) return std::nullopt;
  std::string_view name = fileName.substr(0, fileName.size() - kSuffix.size());
  const bool result = startsWith(name, kResultPrefix);
  if (result) name.remove_prefix(kResultPrefix.size());
  if (std::optional<std::string_view> stem = withoutImageExtension(name)) return std::string(*stem);
  // The detector always names the image; only ICDAR result files may leave its extension out.
  if (result && !name.empty()) return std::string(name);
  return std::nullopt;
}

std::optional<std::string> imageStem(std::string_view fileName) {
  if (std::optional<std::string_view> stem = withoutImageExtension(fileName))
    return std::string(*stem);
  return std::nullopt;
}

bool naturalLess(std::string_view a, std::string_view b) {
  size_t i = 0;
  size_t j = 0;
  while (i < a.size() && j < b.size()) {
    const size_t runA = digitRun(a, i);
    const size_t runB = digitRun(b, j);
    if (runA > 0 && runB > 0) {
      const int order = compareNumbers(a.substr(i, runA), b.substr(j, runB));
      if (order != 0) return order < 0;
      i += runA;
      j += runB;
      continue;
    }
    if (a[i] != b[j]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
    ++i;
    ++j;
  }
  if (a.size() - i != b.size() - j) return a.size() - i < b.size() - j;
  return a < b;  // "7" and "007" are the same number: keep a strict order all the same
}

Result<std::vector<ImageFiles>> pairFilesByStem(const std::string& groundTruthDir,
                                                const std::string& detectionDir) {
  Result<std::vector<std::string>> truthNames = listFiles(groundTruthDir, "ground-truth");
  if (!truthNames.ok()) return truthNames.status();
  Result<std::map<std::string, std::string>> detections = detectionFilesByStem(detectionDir);
  if (!detections.ok()) return detections.status();

  std::vector<ImageFiles> pairs;
  bool anyDetections = false;
  for (const std::string& name : *truthNames) {
    std::optional<std::string> stem = groundTruthStem(name);
    if (!stem) continue;
    auto it = detections->find(*stem);
    const std::string detectionPath = it == detections->end() ? std::string() : it->second;
    anyDetections = anyDetections || !detectionPath.empty();
    pairs.push_back({*stem, joinPath(groundTruthDir, name), detectionPath});
  }
  if (pairs.empty()) {
    return Status::error("no ground-truth files (gt_<stem>.txt) in '" + groundTruthDir + "'");
  }
  if (!anyDetections) {
    return Status::error(
        "no detection file in '" + detectionDir +
        "' matches a ground-truth file (expected <stem>.jpg.txt or res_<stem>.txt)");
  }
  std::sort(pairs.begin(), pairs.end(),
            [](const ImageFiles& a, const ImageFiles& b) { return naturalLess(a.stem, b.stem); });
  return pairs;
}

Result<std::vector<std::pair<std::string, std::string>>> listImagesByStem(
    const std::string& folder) {
  Result<std::vector<std::string>> names = listFiles(folder, "image");
  if (!names.ok()) return names.status();
  std::map<std::string, std::string> byStem;
  for (const std::string& name : *names) {
    if (std::optional<std::string> stem = imageStem(name))
      byStem.emplace(*stem, joinPath(folder, name));
  }
  std::vector<std::pair<std::string, std::string>> images(byStem.begin(), byStem.end());
  std::sort(images.begin(), images.end(),
            [](const auto& a, const auto& b) { return naturalLess(a.first, b.first); });
  return images;
}

Result<std::vector<ImageEvaluation>> evaluateFolders(const std::string& groundTruthDir,
                                                     const std::string& detectionDir,
                                                     Protocol protocol) {
  Result<std::vector<ImageFiles>> pairs = pairFilesByStem(groundTruthDir, detectionDir);
  if (!pairs.ok()) return pairs.status();
  std::vector<ImageEvaluation> images;
  images.reserve(pairs->size());
  for (ImageFiles& files : *pairs) {
    ImageEvaluation image;
    Result<std::string> truthText = readWholeFile(files.groundTruthPath);
    if (!truthText.ok()) return truthText.status();
    Result<std::vector<WordBox>> truth = parseGroundTruth(*truthText, files.groundTruthPath);
    if (!truth.ok()) return truth.status();
    image.truth = std::move(truth).value();
    if (!files.detectionPath.empty()) {
      Result<std::string> detectionText = readWholeFile(files.detectionPath);
      if (!detectionText.ok()) return detectionText.status();
      Result<std::vector<Detection>> detections =
          parseScoredDetections(*detectionText, files.detectionPath);
      if (!detections.ok()) return detections.status();
      for (const Detection& detection : *detections) {
        image.detections.push_back(detection.box);
        image.scores.push_back(detection.score);
      }
    }
    image.score = scoreImage(image.truth, image.detections, protocol);
    image.files = std::move(files);
    images.push_back(std::move(image));
  }
  return images;
}

Tally totalOf(const std::vector<ImageEvaluation>& images) {
  Tally total;
  for (const ImageEvaluation& image : images) total += image.score.tally;
  return total;
}

}  // namespace scenetext::evaluation
