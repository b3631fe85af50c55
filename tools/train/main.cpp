// scenetext-train [OPTIONS] [OUTPUT]: trains a stump cascade on the detector's own candidate
// rectangles of labelled photographs, validates every prefix of it by simulated detection, and
// writes it in the model file grammar.

#include <unistd.h>
#include <CLI/CLI.hpp>
#include <opencv2/core.hpp>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <thread>

#include "common/command_line.hpp"
#include "common/file_output.hpp"
#include "train/cross_validation.hpp"
#include "train/detection_simulation.hpp"

namespace {

namespace fs = std::filesystem;
namespace tr = scenetext::training;
namespace ev = scenetext::evaluation;

constexpr scenetext::CommandLine kCommandLine{
    "scenetext-train",
    "--images DIR [--extra-images DIR] [--negatives LIST] [--validate DIR] [--folds K] [options] "
    "[OUTPUT]",
    SCENETEXT_VERSION};

struct Arguments {
  std::string output;
  std::vector<std::string> imageDirs;
  std::vector<std::string> extraDirs;
  std::vector<std::string> negativeLists;
  std::string validateDir;
  std::string candidates = "exact";
  std::string cachePath;
  int jobs = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  int folds = 0;
  int repeats = 1;
  std::string foldModelsDir;
  tr::CascadeOptions cascade;
  tr::LabelRule rule;
};

void note(const std::string& message) {
  static std::mutex mutex;
  std::lock_guard<std::mutex> lock(mutex);
  std::cerr << kCommandLine.tool << ": " << message << "\n" << std::flush;
}

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The images of every folder and list, in the order the options name them.
struct ImageGroups {
  std::vector<tr::TrainingImage> folded, extra, negatives, validation;
};

scenetext::Result<std::vector<tr::TrainingImage>> listFolders(
    const std::vector<std::string>& folders) {
  std::vector<tr::TrainingImage> images;
  for (const std::string& folder : folders) {
    auto listing = tr::listLabelledFolder(folder);
    if (!listing.ok()) return listing.status();
    if (!listing->withoutGroundTruth.empty()) {
      note("warning: " + std::to_string(listing->withoutGroundTruth.size()) + " images of '" +
           folder + "' have no gt_<stem>.txt and are left out (first: '" +
           listing->withoutGroundTruth.front() + "')");
    }
    images.insert(images.end(), listing->images.begin(), listing->images.end());
  }
  return images;
}

scenetext::Result<ImageGroups> listImages(const Arguments& arguments) {
  ImageGroups groups;
  auto folded = listFolders(arguments.imageDirs);
  if (!folded.ok()) return folded.status();
  groups.folded = std::move(folded).value();
  auto extra = listFolders(arguments.extraDirs);
  if (!extra.ok()) return extra.status();
  groups.extra = std::move(extra).value();
  for (const std::string& list : arguments.negativeLists) {
    auto images = tr::listTextFreeImages(list);
    if (!images.ok()) return images.status();
    groups.negatives.insert(groups.negatives.end(), images->begin(), images->end());
  }
  if (!arguments.validateDir.empty()) {
    auto validation = listFolders({arguments.validateDir});
    if (!validation.ok()) return validation.status();
    groups.validation = std::move(validation).value();
  }
  return groups;
}

std::string describeSamples(const std::string& what, std::span<const tr::ImageSamples> images) {
  size_t text = 0, notText = 0, unsure = 0, words = 0;
  for (const tr::ImageSamples& image : images) {
    for (tr::SampleLabel label : image.labels) {
      (label == tr::SampleLabel::Text      ? text
       : label == tr::SampleLabel::NotText ? notText
                                           : unsure) += 1;
    }
    for (const ev::WordBox& word : image.words) words += word.dontCare ? 0 : 1;
  }
  char line[256];
  std::snprintf(line, sizeof(line),
                "%s: %zu images, %zu words, %zu candidates: %zu text, %zu not text, %zu unsure",
                what.c_str(), images.size(), words, text + notText + unsure, text, notText, unsure);
  return line;
}

std::string scoreColumns(const ev::Scores& scores) {
  char text[64];
  std::snprintf(text, sizeof(text), "%9.3f %7.3f %6.3f", scores.precision, scores.recall, scores.f);
  return text;
}

std::string prefixName(size_t prefix) { return prefix == 0 ? "all" : std::to_string(prefix); }

void printValidation(const std::string& folder, std::span<const tr::ImageSamples> images,
                     const scenetext::classifier::StumpCascade& cascade) {
  std::vector<const tr::ImageSamples*> pointers;
  for (const tr::ImageSamples& image : images) pointers.push_back(&image);
  const std::vector<ev::Tally> tallies = tr::scorePrefixes(pointers, cascade);
  std::cout << "validation on '" << folder << "', " << images.size() << " images, DetEval"
            << " (stages \"all\": every candidate accepted)\n"
            << "stages precision  recall      F\n";
  for (size_t prefix = 0; prefix < tallies.size(); ++prefix) {
    std::printf("%6s %s\n", prefixName(prefix).c_str(),
                scoreColumns(ev::scoresOf(tallies[prefix])).c_str());
  }
  std::fflush(stdout);
}

void printCrossValidation(std::span<const tr::FoldResult> folds, const Arguments& arguments,
                          size_t imageCount) {
  size_t longest = 0;
  double seconds = 0.0;
  for (const tr::FoldResult& fold : folds) {
    longest = std::max(longest, fold.trained.cascade.size());
    seconds += fold.seconds;
  }
  std::cout << "cross-validation: " << arguments.folds << " folds x " << arguments.repeats
            << " repeats over " << imageCount << " images, DetEval on the held-out folds, "
            << folds.size() << " trainings in " << static_cast<int>(seconds + 0.5)
            << " s (stages \"all\": every candidate accepted)\n"
            << "stages precision  recall      F  split sd   fold F: mean     sd    min    max\n";
  for (size_t prefix = 0; prefix <= longest; ++prefix) {
    const tr::PrefixSummary summary = tr::summarizePrefix(folds, prefix, arguments.repeats);
    std::printf("%6s %s    %6.3f         %6.3f %6.3f %6.3f %6.3f\n", prefixName(prefix).c_str(),
                scoreColumns(summary.pooled).c_str(), summary.repeatSdF, summary.meanF, summary.sdF,
                summary.minF, summary.maxF);
  }
  std::fflush(stdout);
}

void printTraining(const tr::TrainedCascade& trained, double seconds) {
  size_t stumps = 0;
  for (const auto& stage : trained.cascade) stumps += stage.size() - 1;
  for (size_t k = 0; k < trained.stages.size(); ++k) {
    std::cout << tr::stageHeader(static_cast<int>(k + 1), trained.stages[k]) << "\n";
  }
  std::printf("trained %zu stages, %zu stumps in %.1f s; stopped: %s\n", trained.cascade.size(),
              stumps, seconds, trained.stopReason.c_str());
  std::fflush(stdout);
}

// An output that cannot be written is found before the samples are computed, not after.
scenetext::Status checkOutputFolder(const std::string& output) {
  fs::path folder = fs::path(output).parent_path();
  if (folder.empty()) folder = ".";
  std::error_code error;
  if (!fs::is_directory(folder, error)) {
    return scenetext::Status::error("cannot write model '" + output + "': folder '" +
                                    folder.string() + "' does not exist");
  }
  if (::access(folder.c_str(), W_OK) != 0) {
    return scenetext::Status::error("cannot write model '" + output + "': folder '" +
                                    folder.string() + "' is not writable");
  }
  return {};
}

// For every fold of the cross-validation, FOLDER/repeatR-foldF.model (R and F from 1) and
// FOLDER/repeatR-foldF.txt, the paths of its held-out photos one per line, a list the batch
// reads: running each model on its own list gives the held-out detections themselves.
scenetext::Status writeFoldModels(std::span<const tr::FoldResult> folds,
                                  std::span<const tr::TrainingImage> folded,
                                  const Arguments& arguments) {
  for (const tr::FoldResult& fold : folds) {
    const fs::path stem =
        fs::path(arguments.foldModelsDir) /
        ("repeat" + std::to_string(fold.repeat + 1) + "-fold" + std::to_string(fold.fold + 1));
    const std::string model = stem.string() + ".model";
    scenetext::Status saved = scenetext::classifier::saveStumpCascade(
        model, fold.trained.cascade, tr::stageHeaders(fold.trained, arguments.candidates));
    if (!saved.ok()) return saved;
    std::string list;
    for (size_t index : fold.heldOut) list += folded[index].imagePath + "\n";
    if (scenetext::Status written = scenetext::writeFileAtomically(stem.string() + ".txt", list);
        !written.ok()) {
      return written;
    }
  }
  note("wrote " + std::to_string(folds.size()) + " fold models and their held-out lists to '" +
       arguments.foldModelsDir + "'");
  return {};
}

// The samples of every image the options name, in option order: folded, then training-only
// (extra and text-free), then validation images.
scenetext::Result<std::vector<tr::ImageSamples>> loadSamples(const Arguments& arguments,
                                                             const ImageGroups& groups) {
  const auto start = std::chrono::steady_clock::now();
  auto source = tr::candidateSourceNamed(arguments.candidates);
  if (!source.ok()) return source.status();
  std::vector<tr::TrainingImage> all = groups.folded;
  for (const auto* group : {&groups.extra, &groups.negatives, &groups.validation}) {
    all.insert(all.end(), group->begin(), group->end());
  }
  const tr::CollectionOptions collection{*source, arguments.rule, arguments.jobs,
                                         arguments.cachePath};
  tr::CollectionReport report;
  auto samples = tr::collectSamples(all, collection, note, &report);
  if (!samples.ok()) return samples.status();
  note("features of " + std::to_string(report.computed) + " images computed, " +
       std::to_string(report.fromCache) + " taken from the cache" +
       (report.staleCache ? " (the cache was made by other feature code and is replaced)" : "") +
       " in " + std::to_string(static_cast<int>(secondsSince(start) + 0.5)) + " s");
  return samples;
}

// Trains on `training`, writes the model and validates it on the held-out images.
int trainAndWrite(const Arguments& arguments, const std::vector<const tr::ImageSamples*>& training,
                  std::span<const tr::ImageSamples> validation) {
  const auto start = std::chrono::steady_clock::now();
  auto trained = tr::trainCascade(tr::gatherSamples(training), arguments.cascade, note);
  if (!trained.ok()) return scenetext::failure(kCommandLine, trained.status().message());
  printTraining(*trained, secondsSince(start));
  scenetext::Status saved = scenetext::classifier::saveStumpCascade(
      arguments.output, trained->cascade, tr::stageHeaders(*trained, arguments.candidates));
  if (!saved.ok()) return scenetext::failure(kCommandLine, saved.message());
  std::cout << "wrote '" << arguments.output << "'\n" << std::flush;
  if (!validation.empty()) printValidation(arguments.validateDir, validation, trained->cascade);
  return 0;
}

int run(const Arguments& arguments) {
  if (!arguments.output.empty()) {
    if (scenetext::Status writable = checkOutputFolder(arguments.output); !writable.ok()) {
      return scenetext::failure(kCommandLine, writable.message());
    }
  }
  if (!arguments.foldModelsDir.empty()) {
    const std::string first = (fs::path(arguments.foldModelsDir) / "repeat1-fold1.model").string();
    if (scenetext::Status writable = checkOutputFolder(first); !writable.ok()) {
      return scenetext::failure(kCommandLine, writable.message());
    }
  }
  auto groups = listImages(arguments);
  if (!groups.ok()) return scenetext::failure(kCommandLine, groups.status().message());
  auto samples = loadSamples(arguments, *groups);
  if (!samples.ok()) return scenetext::failure(kCommandLine, samples.status().message());

  const std::span<const tr::ImageSamples> everything(*samples);
  const auto folded = everything.first(groups->folded.size());
  const auto alwaysTrained =
      everything.subspan(folded.size(), groups->extra.size() + groups->negatives.size());
  const auto validation = everything.subspan(folded.size() + alwaysTrained.size());
  note(describeSamples("labelled images", folded));
  if (!alwaysTrained.empty()) note(describeSamples("training-only images", alwaysTrained));
  if (!validation.empty()) note(describeSamples("validation images", validation));

  std::vector<const tr::ImageSamples*> training;
  size_t candidates = 0;
  for (const tr::ImageSamples& image : everything.first(folded.size() + alwaysTrained.size())) {
    training.push_back(&image);
    candidates += image.size();
  }
  if (candidates == 0) {
    return scenetext::failure(kCommandLine, "no candidates: not one of the " +
                                                std::to_string(training.size()) +
                                                " training images gives a candidate rectangle");
  }
  if (arguments.folds > 0) {
    auto folds = tr::crossValidate(folded, alwaysTrained, arguments.folds, arguments.repeats,
                                   arguments.cascade, note);
    if (!folds.ok()) return scenetext::failure(kCommandLine, folds.status().message());
    printCrossValidation(*folds, arguments, folded.size());
    if (!arguments.foldModelsDir.empty()) {
      scenetext::Status written = writeFoldModels(*folds, groups->folded, arguments);
      if (!written.ok()) return scenetext::failure(kCommandLine, written.message());
    }
  }
  if (arguments.output.empty()) return 0;
  return trainAndWrite(arguments, training, validation);
}

void declareOptions(CLI::App& app, Arguments& arguments) {
  app.add_option("OUTPUT", arguments.output, "Model file to write (optional with --folds)")
      ->type_name("FILE");
  app.add_option(
         "--images", arguments.imageDirs,
         "Folder of photographs N.jpg with ground truth gt_N.txt (ICDAR 2013, either style); "
         "repeatable; cross-validation deals these into folds")
      ->type_name("DIR")
      ->allow_extra_args(false);
  app.add_option(
         "--extra-images", arguments.extraDirs,
         "Folder like --images that is always trained on, never held out (synthetic images)")
      ->type_name("DIR")
      ->allow_extra_args(false);
  app.add_option(
         "--negatives", arguments.negativeLists,
         "Text-free photographs, a list file (a .tsv gives its first column) or a folder: every "
         "candidate is a negative")
      ->type_name("LIST_OR_DIR")
      ->allow_extra_args(false);
  app.add_option("--validate", arguments.validateDir,
                 "Held-out folder like --images: DetEval of every prefix of the trained cascade")
      ->type_name("DIR");
  app.add_option("--folds", arguments.folds,
                 "Cross-validate over the --images photographs with K folds (0: off)")
      ->check(CLI::Range(0, 1000))
      ->capture_default_str()
      ->type_name("K");
  app.add_option("--fold-models", arguments.foldModelsDir,
                 "Existing folder for each fold's model and list of held-out photos "
                 "(repeatR-foldF.model, repeatR-foldF.txt)")
      ->type_name("DIR");
  app.add_option("--repeats", arguments.repeats, "Cross-validation repeats, each with other folds")
      ->check(CLI::Range(1, 100))
      ->capture_default_str()
      ->type_name("R");
  app.add_option(
         "--candidates", arguments.candidates,
         "Candidate rectangles: exact (the exact detector's) or extended (the opt-in mode's)")
      ->check(CLI::IsMember({"exact", "extended"}))
      ->capture_default_str()
      ->type_name("MODE");
  app.add_option(
         "--cache", arguments.cachePath,
         "Sample cache file, read and updated (features are computed only for images it lacks)")
      ->type_name("FILE");
  app.add_option("--jobs,-j", arguments.jobs, "Threads")
      ->check(CLI::Range(1, 256))
      ->capture_default_str();
  app.add_option("--seed", arguments.cascade.seed, "Seed of the folds and of the draw of negatives")
      ->capture_default_str();
  app.add_option("--stages", arguments.cascade.maxStages, "Stages to train at most")
      ->check(CLI::Range(1, 1000))
      ->capture_default_str();
  app.add_option("--min-hit-rate", arguments.cascade.minHitRate,
                 "Share of its positives each stage's threshold keeps")
      ->check(CLI::Range(0.5, 1.0))
      ->capture_default_str();
  app.add_option("--max-false-positive-rate", arguments.cascade.maxFalsePositiveRate,
                 "A stage adds stumps until its false-positive rate falls below this")
      ->check(CLI::Range(0.01, 1.0))
      ->capture_default_str();
  app.add_option("--max-stumps", arguments.cascade.maxStumpsPerStage, "Stumps per stage at most")
      ->check(CLI::Range(1, 100000))
      ->capture_default_str();
  app.add_option("--min-negatives", arguments.cascade.minNegatives,
                 "Training stops when fewer negatives pass the stages so far")
      ->check(CLI::Range(1, 100000000))
      ->capture_default_str();
  app.add_option("--max-negatives", arguments.cascade.maxNegatives,
                 "A stage trains on at most this many negatives, drawn at random (0: all)")
      ->check(CLI::Range(0, 100000000))
      ->capture_default_str();
  app.add_option("--positive-text", arguments.rule.positiveText,
                 "Text sample: at least this share of the rectangle is words ...")
      ->check(CLI::Range(0.0, 1.0))
      ->capture_default_str();
  app.add_option("--positive-word-share", arguments.rule.positiveWordShare,
                 "... and it holds at least this share of one word")
      ->check(CLI::Range(0.0, 1.0))
      ->capture_default_str();
  app.add_option("--positive-text-alone", arguments.rule.positiveTextAlone,
                 "Text sample also when at least this share of the rectangle is words")
      ->check(CLI::Range(0.0, 1.0))
      ->capture_default_str();
  app.add_option("--negative-text", arguments.rule.negativeText,
                 "Non-text sample: less than this share of the rectangle is words")
      ->check(CLI::Range(0.0, 1.0))
      ->capture_default_str();
}

}  // namespace

int main(int argc, char** argv) {
  Arguments arguments;
  CLI::App app{
      "Trains the detector's stump cascade. Samples are the distinct candidate rectangles the "
      "detector\n"
      "forms on each photograph (WorkingImage coordinates), labelled against the ground truth, "
      "with\n"
      "their 190 features. Stages of decision stumps are chosen by discrete AdaBoost; each stage\n"
      "closes with the threshold that keeps the minimum hit rate. Progress goes to stderr; stage\n"
      "summaries, validation and cross-validation tables to stdout.",
      std::string(kCommandLine.tool)};
  declareOptions(app, arguments);
  if (const auto done = scenetext::parseCommandLine(app, argc, argv, kCommandLine)) return *done;
  if (arguments.imageDirs.empty() && arguments.extraDirs.empty()) {
    return scenetext::usageError(kCommandLine,
                                 "no training images: give --images DIR (or --extra-images DIR)");
  }
  if (arguments.output.empty() && arguments.folds == 0) {
    return scenetext::usageError(kCommandLine,
                                 "nothing to do: give an OUTPUT model file, --folds K, or both");
  }
  if (!arguments.foldModelsDir.empty() && arguments.folds == 0) {
    return scenetext::usageError(kCommandLine, "--fold-models needs --folds K");
  }
  if (arguments.folds > 0 && arguments.imageDirs.empty()) {
    return scenetext::usageError(
        kCommandLine, "--folds deals the --images photographs into folds: give --images DIR");
  }

  // The work runs on the trainer's own threads; OpenCV's would only compete with them.
  if (arguments.jobs > 1) cv::setNumThreads(1);
  arguments.cascade.jobs = arguments.jobs;
  return scenetext::runReportingExceptions(kCommandLine, [&] { return run(arguments); });
}
