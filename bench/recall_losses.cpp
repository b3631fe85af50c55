// scenetext-recall-losses: where the cross-validated detector loses the words it misses.
//
//   scenetext-recall-losses --candidates exact|extended --cache FILE --images DIR [--missed FILE]
//                           FOLDS_DIR
//
// FOLDS_DIR holds the fold models and held-out lists of `scenetext-train --fold-models`. Each fold
// model judges the candidates of its held-out photos (from the sample cache, as the trainer's
// cross-validation does), the detection is simulated from the accepted ones, and DetEval decides
// which words it finds. Every counted word that is missed goes to the first stage that lost it:
//   - no candidate:   the union of all candidate rectangles covers less than 0.8 of the word;
//   - rejected:       the candidates cover it, the accepted ones do not;
//   - too large:      one final box covers 0.8 of it, but the box is not credited with it (the box
//                     holds other text or background: the area-precision constraint fails);
//   - split:          the accepted candidates cover it, but no single final box does.
// Words credited 0.8 (found in pieces) lose 0.2 each. Figures are per repeat (averaged), and the
// words lost are also counted by height, since small text is one suspect.

#include <CLI/CLI.hpp>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>

#include "classifier/stump_cascade.hpp"
#include "common/command_line.hpp"
#include "common/file_output.hpp"
#include "eval/scoring.hpp"
#include "io/path_list.hpp"
#include "train/candidate_source.hpp"
#include "train/detection_simulation.hpp"
#include "train/sample_collection.hpp"
#include "train/training_images.hpp"

namespace scenetext {
namespace {

namespace fs = std::filesystem;
namespace ev = evaluation;
namespace tr = training;

constexpr CommandLine kCommandLine{"scenetext-recall-losses",
                                   "--candidates MODE --cache FILE --images DIR FOLDS_DIR",
                                   SCENETEXT_VERSION};

enum Loss { kFound, kNoCandidate, kRejected, kTooLarge, kSplit, kLossCount };
constexpr std::array<const char*, kLossCount> kLossNames = {
    "found", "no candidate", "rejected by the cascade", "in a box too large", "split across boxes"};
constexpr std::array<int, 3> kHeightBounds = {16, 32, 64};  // rows: <16, <32, <64, >=64

struct Losses {
  std::string missed;                      // "stem,left,top,right,bottom,outcome" per missed word
  std::array<double, kLossCount> words{};  // words per outcome (kFound: credit 1 or 0.8)
  std::array<std::array<double, kHeightBounds.size() + 1>, kLossCount> byHeight{};
  double recallLost = 0.0;  // recall credit missing, in words
  double counted = 0.0;
  double detections = 0.0, wrongDetections = 0.0;
};

// The rectangles in input-image coordinates, scaled as the box list scales the final boxes.
std::vector<Box> inputRects(const tr::CandidateFeatures& candidates,
                            const std::vector<bool>* only) {
  std::vector<Box> rects;
  const int f = candidates.factor;
  for (size_t k = 0; k < candidates.rects.size(); ++k) {
    if (only && !(*only)[k]) continue;
    const cv::Rect& r = candidates.rects[k];
    rects.push_back({r.x * f, r.y * f, (r.x + r.width - 1) * f, (r.y + r.height - 1) * f});
  }
  return rects;
}

Loss lossOf(const Box& word, const std::vector<Box>& all, const std::vector<Box>& accepted,
            const std::vector<Box>& boxes) {
  const double area = ev::boxArea(word);
  if (ev::coveredArea(word, all) < 0.8 * area) return kNoCandidate;
  if (ev::coveredArea(word, accepted) < 0.8 * area) return kRejected;
  for (const Box& box : boxes) {
    if (ev::intersectionArea(word, box) >= 0.8 * area) return kTooLarge;
  }
  return kSplit;
}

size_t heightBin(const Box& word) {
  const int height = word.bottom - word.top + 1;
  size_t bin = 0;
  while (bin < kHeightBounds.size() && height >= kHeightBounds[bin]) ++bin;
  return bin;
}

void addImage(const tr::ImageSamples& image, const classifier::StumpCascade& cascade,
              Losses& losses) {
  const std::vector<int> passed = tr::stagesPassed(image, cascade);
  std::vector<bool> accepted(passed.size());
  for (size_t k = 0; k < passed.size(); ++k)
    accepted[k] = passed[k] == static_cast<int>(cascade.size());
  const std::vector<Box> boxes = tr::simulateDetections(image, accepted);
  const ev::ImageScore score = ev::scoreDetEval(image.words, boxes);
  const std::vector<Box> all = inputRects(image.candidates, nullptr);
  const std::vector<Box> kept = inputRects(image.candidates, &accepted);
  for (ev::BoxOutcome outcome : score.detectionOutcomes) {
    if (outcome == ev::BoxOutcome::Ignored) continue;
    losses.detections += 1;
    if (outcome == ev::BoxOutcome::Unmatched) losses.wrongDetections += 1;
  }
  losses.counted += static_cast<double>(score.tally.words);
  losses.recallLost += static_cast<double>(score.tally.words) - score.tally.recallSum;
  for (size_t w = 0; w < image.words.size(); ++w) {
    if (score.wordOutcomes[w] == ev::BoxOutcome::Ignored) continue;
    const Box word = image.words[w].rect();
    const Loss loss =
        score.wordOutcomes[w] == ev::BoxOutcome::Matched ? kFound : lossOf(word, all, kept, boxes);
    losses.words[loss] += 1;
    losses.byHeight[loss][heightBin(word)] += 1;
    if (loss != kFound) {
      losses.missed += image.image.stem + "," + std::to_string(word.left) + "," +
                       std::to_string(word.top) + "," + std::to_string(word.right) + "," +
                       std::to_string(word.bottom) + "," + kLossNames[loss] + "\n";
    }
  }
}

struct Arguments {
  std::string candidates = "extended";
  std::string cache;
  std::string images;
  std::string folds;
  std::string missed;
};

Result<std::vector<std::string>> heldOutStems(const fs::path& list) {
  std::istringstream noInput;
  Result<std::vector<std::string>> paths = io::readPathList(list.string(), noInput);
  if (!paths.ok()) return paths.status();
  std::vector<std::string> stems;
  for (const std::string& path : *paths) stems.push_back(fs::path(path).stem().string());
  return stems;
}

void print(const Losses& losses, int repeats) {
  const double n = repeats;
  std::printf("per repeat: %.0f counted words, recall %.3f, %.1f detections, %.1f of them wrong\n",
              losses.counted / n, 1.0 - losses.recallLost / losses.counted, losses.detections / n,
              losses.wrongDetections / n);
  std::printf("\n| outcome | words | share of words | <16 px | 16-31 | 32-63 | >=64 px |\n");
  std::printf("|---|---|---|---|---|---|---|\n");
  for (size_t loss = 0; loss < kLossCount; ++loss) {
    std::printf("| %s | %.1f | %.3f |", kLossNames[loss], losses.words[loss] / n,
                losses.words[loss] / losses.counted);
    for (double count : losses.byHeight[loss]) std::printf(" %.1f |", count / n);
    std::printf("\n");
  }
  std::printf("\nfound in pieces (credited 0.8): %.1f words of recall lost per repeat\n",
              (losses.recallLost - (losses.counted - losses.words[kFound])) / n);
}

int run(const Arguments& arguments) {
  auto listing = tr::listLabelledFolder(arguments.images);
  if (!listing.ok()) return failure(kCommandLine, listing.status().message());
  auto source = tr::candidateSourceNamed(arguments.candidates);
  if (!source.ok()) return failure(kCommandLine, source.status().message());
  const tr::CollectionOptions options{*source, {}, 2, arguments.cache};
  auto samples = tr::collectSamples(listing->images, options);
  if (!samples.ok()) return failure(kCommandLine, samples.status().message());
  std::map<std::string, const tr::ImageSamples*> byStem;
  for (const tr::ImageSamples& image : *samples) byStem[image.image.stem] = &image;

  std::error_code error;
  if (!fs::is_directory(arguments.folds, error)) {
    return failure(kCommandLine, "cannot read folder '" + arguments.folds + "': no such folder");
  }
  std::vector<fs::path> models;
  for (const auto& entry : fs::directory_iterator(arguments.folds)) {
    if (entry.path().extension() == ".model") models.push_back(entry.path());
  }
  std::sort(models.begin(), models.end());
  if (models.empty()) return failure(kCommandLine, "no fold models in '" + arguments.folds + "'");
  Losses losses;
  std::map<std::string, int> heldOut;
  for (const fs::path& model : models) {
    classifier::StumpCascade cascade;
    if (Status loaded = classifier::loadStumpCascade(model.string(), cascade); !loaded.ok()) {
      return failure(kCommandLine, loaded.message());
    }
    fs::path list = model;
    auto stems = heldOutStems(list.replace_extension(".txt"));
    if (!stems.ok()) return failure(kCommandLine, stems.status().message());
    for (const std::string& stem : *stems) {
      const auto found = byStem.find(stem);
      if (found == byStem.end()) {
        return failure(kCommandLine, "'" + stem + "' of '" + list.string() + "' is not in '" +
                                         arguments.images + "'");
      }
      addImage(*found->second, cascade, losses);
      ++heldOut[stem];
    }
  }
  const int repeats = heldOut.empty() ? 1 : heldOut.begin()->second;
  std::printf("%s candidates, %zu fold models, %zu photos each held out %d times\n",
              arguments.candidates.c_str(), models.size(), heldOut.size(), repeats);
  print(losses, repeats);
  if (!arguments.missed.empty()) {
    if (Status written = writeFileAtomically(arguments.missed, losses.missed); !written.ok()) {
      return failure(kCommandLine, written.message());
    }
  }
  return 0;
}

}  // namespace
}  // namespace scenetext

int main(int argc, char** argv) {
  using namespace scenetext;
  Arguments arguments;
  CLI::App app{"Where the cross-validated detection loses the words it misses.",
               std::string(kCommandLine.tool)};
  app.add_option("--candidates", arguments.candidates)
      ->check(CLI::IsMember({"exact", "extended"}))
      ->capture_default_str();
  app.add_option("--cache", arguments.cache, "Sample cache of the cross-validation")->required();
  app.add_option("--images", arguments.images, "Labelled photos (N.jpg, gt_N.txt)")->required();
  app.add_option("--missed", arguments.missed,
                 "Write every missed word as stem,left,top,right,bottom,outcome to FILE");
  app.add_option("FOLDS_DIR", arguments.folds, "Folder of repeatR-foldF.model and .txt")
      ->required();
  if (const auto done = parseCommandLine(app, argc, argv, kCommandLine)) return *done;
  return runReportingExceptions(kCommandLine, [&] { return run(arguments); });
}
