// scenetext-batch MODEL IMAGE_DIR PREFIX [--jobs N]: the single-image command over every image of
// a folder (or of a list, --files-from), several images at once. Each image's outputs are
// byte-identical to what `scenetext MODEL IMAGE_DIR/NAME PREFIX` writes. A failing image is
// reported and skipped. --jsonl adds one JSON object per image, in the order of the image list.
// --shard K/N takes every Nth image of that order, so that N runs on N machines share a
// collection; --skip-existing lets an interrupted run resume where it stopped.

#include <unistd.h>
#include <CLI/CLI.hpp>
#include <opencv2/core.hpp>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <mutex>
#include <optional>
#include <thread>

#include "batch/batch_outputs.hpp"
#include "batch/image_list.hpp"
#include "common/command_line.hpp"
#include "driver/detection_options.hpp"
#include "driver/run.hpp"
#include "io/path_list.hpp"

namespace {

constexpr scenetext::CommandLine kCommandLine{
    "scenetext-batch",
    "[--candidates exact|extended] [--granularity line|word] [--min-score S] [--scores] [--json] "
    "[--jsonl FILE|-] "
    "[--shard K/N] [--skip-existing] MODEL (IMAGE_DIR | --files-from FILE|-) PREFIX [--jobs N]",
    SCENETEXT_VERSION};

// Progress on a terminal: a bar, images per second and the time left, redrawn in place.
class ProgressBar {
 public:
  explicit ProgressBar(size_t total)
      : total_(total), enabled_(::isatty(STDERR_FILENO)), start_(Clock::now()) {}

  void advance() {
    const size_t done = ++done_;
    if (!enabled_) return;
    std::lock_guard<std::mutex> lock(mutex_);
    const double seconds = std::chrono::duration<double>(Clock::now() - start_).count();
    const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0.0;
    const double left = rate > 0 ? static_cast<double>(total_ - done) / rate : 0.0;
    constexpr int kWidth = 30;
    const int filled = static_cast<int>(kWidth * done / std::max<size_t>(total_, 1));
    std::fprintf(stderr, "\r[%s%s] %zu/%zu  %.1f img/s  %d:%02d left ",
                 std::string(static_cast<size_t>(filled), '=').c_str(),
                 std::string(static_cast<size_t>(kWidth - filled), ' ').c_str(), done, total_, rate,
                 static_cast<int>(left) / 60, static_cast<int>(left) % 60);
    if (done == total_) std::fputc('\n', stderr);
    std::fflush(stderr);
  }

 private:
  using Clock = std::chrono::steady_clock;
  size_t total_;
  bool enabled_;
  Clock::time_point start_;
  std::atomic<size_t> done_{0};
  std::mutex mutex_;
};

// One JSON line per image, written in the order of the image list as soon as every image before
// it has finished.
class OrderedLines {
 public:
  OrderedLines(std::ostream* out, size_t count) : out_(out), lines_(count) {}

  void put(size_t index, std::string line) {
    if (out_ == nullptr) return;
    std::lock_guard<std::mutex> lock(mutex_);
    lines_[index] = std::move(line);
    for (; next_ < lines_.size() && lines_[next_]; ++next_) {
      *out_ << *lines_[next_] << '\n';
      lines_[next_].reset();
    }
    *out_ << std::flush;
  }

 private:
  std::ostream* out_;
  std::vector<std::optional<std::string>> lines_;
  size_t next_ = 0;
  std::mutex mutex_;
};

struct BatchArguments {
  std::string modelPath, folder, prefix;
  std::string filesFrom;  // empty: the images of `folder`; "-": standard input
  std::string shard = "1/1";
  bool skipExisting = false;
  scenetext::driver::DetectionOptions detection;  // candidates, granularity, extras
  unsigned jobs = std::max(1u, std::thread::hardware_concurrency());
  std::string jsonl;  // empty: none; "-": standard output
};

// One image of this run, and the message that fails it before it is read (an output clash).
struct BatchImage {
  std::string path;
  std::string failure;
};

// What every image of one run shares.
struct BatchSettings {
  const scenetext::classifier::StumpCascade& model;
  std::string prefix;
  scenetext::regions::CandidateMode mode;
  scenetext::driver::ExtraOutputs extras;
  bool skipExisting;
};

struct ImageOutcome {
  std::string jsonLine;
  std::string failure;  // empty unless the image failed
  bool skipped = false;
};

// Outputs an earlier run left complete, if --skip-existing allows keeping them.
std::optional<ImageOutcome> keptOutcome(const BatchSettings& settings, const std::string& image) {
  if (!settings.skipExisting) return std::nullopt;
  scenetext::driver::ImageReport expected;
  expected.image = image;
  expected.candidates = settings.mode;
  expected.modelPath = settings.extras.modelPath;
  std::optional<std::string> line =
      scenetext::batch::finishedImage(image, scenetext::driver::outputPaths(settings.prefix, image),
                                      settings.extras.json ? &expected : nullptr);
  if (!line) return std::nullopt;
  return ImageOutcome{std::move(*line), "", true};
}

ImageOutcome processImage(const BatchSettings& settings, const BatchImage& image) {
  std::string message = image.failure;
  if (message.empty()) {
    if (std::optional<ImageOutcome> kept = keptOutcome(settings, image.path)) return *kept;
    try {
      auto written = scenetext::driver::detectFile(settings.model, image.path, settings.prefix, {},
                                                   settings.mode, settings.extras);
      if (written.ok()) return {scenetext::driver::formatJsonReport(written->report), ""};
      message = written.status().message();
    } catch (const cv::Exception& error) {
      message = "'" + image.path + "': image library error: " + error.msg;
    } catch (const std::exception& error) {
      message = "'" + image.path + "': " + error.what();
    }
  }
  return {scenetext::driver::formatJsonError(image.path, message), message};
}

struct Tally {
  size_t failed = 0;
  size_t skipped = 0;
};

// Detects `images` on up to `jobs` threads. Each failure is named on its own stderr line.
Tally detectImages(const BatchSettings& settings, const std::vector<BatchImage>& images,
                   unsigned jobs, OrderedLines& jsonl) {
  ProgressBar progress(images.size());
  std::atomic<size_t> next{0};
  std::atomic<size_t> failed{0};
  std::atomic<size_t> skipped{0};
  std::mutex errors;
  auto work = [&] {
    for (size_t i = next++; i < images.size(); i = next++) {
      ImageOutcome outcome = processImage(settings, images[i]);
      jsonl.put(i, std::move(outcome.jsonLine));
      if (outcome.skipped) ++skipped;
      if (!outcome.failure.empty()) {
        ++failed;
        std::lock_guard<std::mutex> lock(errors);
        // The carriage return starts the line over the progress bar. One write for the whole
        // line: the image decoders print from the other workers without taking our lock.
        std::cerr << ("\r" + std::string(kCommandLine.tool) + ": " + outcome.failure + "\n")
                  << std::flush;
      }
      progress.advance();
    }
  };
  std::vector<std::thread> workers;
  const size_t threadCount = std::min<size_t>(jobs, std::max<size_t>(images.size(), 1));
  for (size_t t = 0; t < threadCount; ++t) workers.emplace_back(work);
  for (std::thread& worker : workers) worker.join();
  return {failed, skipped};
}

// The images of this run, in input order: the folder's or the list's, this shard's share of them.
scenetext::Result<std::vector<BatchImage>> imagesOfThisRun(const BatchArguments& arguments) {
  scenetext::Result<std::vector<std::string>> all =
      arguments.filesFrom.empty() ? scenetext::batch::listImages(arguments.folder)
                                  : scenetext::io::readPathList(arguments.filesFrom, std::cin);
  if (!all.ok()) return all.status();
  const scenetext::batch::Shard shard = *scenetext::batch::parseShard(arguments.shard);
  const std::vector<std::string> clashes = scenetext::batch::outputClashes(*all, arguments.prefix);
  std::vector<BatchImage> images;
  for (size_t i = 0; i < all->size(); ++i) {
    if (scenetext::batch::inShard(i, shard)) images.push_back({(*all)[i], clashes[i]});
  }
  return images;
}

int detectBatch(const BatchArguments& arguments) {
  const scenetext::regions::CandidateMode mode =
      *scenetext::regions::parseCandidateMode(arguments.detection.candidates);
  const std::string mismatch = scenetext::driver::candidateModeMismatch(arguments.modelPath, mode);
  if (!mismatch.empty()) std::cerr << kCommandLine.tool << ": warning: " << mismatch << "\n";
  scenetext::Result<scenetext::classifier::StumpCascade> model =
      scenetext::driver::loadModel(arguments.modelPath);
  if (!model.ok()) return scenetext::failure(kCommandLine, model.status().message());
  scenetext::Result<std::vector<BatchImage>> images = imagesOfThisRun(arguments);
  if (!images.ok()) return scenetext::failure(kCommandLine, images.status().message());
  if (scenetext::Status folder = scenetext::batch::checkOutputFolder(arguments.prefix);
      !folder.ok()) {
    return scenetext::failure(kCommandLine, folder.message());
  }

  // Opened before any image is read, so that a stream that cannot be written stops the batch at
  // once. Lines are streamed as images finish: a file cut short holds whole lines only.
  const bool jsonlToStdout = arguments.jsonl == "-";
  std::ofstream jsonlFile;
  if (!arguments.jsonl.empty() && !jsonlToStdout) {
    jsonlFile.open(arguments.jsonl, std::ios::binary | std::ios::trunc);
    if (!jsonlFile) {
      return scenetext::failure(kCommandLine,
                                "cannot write '" + arguments.jsonl + "': " + std::strerror(errno));
    }
  }
  std::ostream* jsonlOut =
      jsonlToStdout ? &std::cout : (jsonlFile.is_open() ? &jsonlFile : nullptr);
  OrderedLines jsonl(jsonlOut, images->size());

  // The images run in parallel; OpenCV's own threads would only compete with them.
  if (arguments.jobs > 1) cv::setNumThreads(1);
  const BatchSettings settings{*model, arguments.prefix, mode, arguments.detection.extras,
                               arguments.skipExisting};
  const Tally tally = detectImages(settings, *images, arguments.jobs, jsonl);
  if (jsonlFile.is_open() && !jsonlFile.flush()) {
    return scenetext::failure(kCommandLine, "cannot write '" + arguments.jsonl + "'");
  }
  // With the JSON lines on standard output, the summary joins the other messages on stderr.
  std::ostream& summary = jsonlToStdout ? std::cerr : std::cout;
  summary << "processed " << images->size() - tally.failed - tally.skipped << " of "
          << images->size() << " images, ";
  if (arguments.skipExisting) summary << tally.skipped << " skipped, ";
  summary << tally.failed << " failed\n";
  return tally.failed > 0 ? 1 : 0;
}

// The checks CLI11 cannot declare: which operands go with --files-from, and what --skip-existing
// needs. Returns the reason for a usage error, or an empty string.
std::string completeArguments(const CLI::App& app, BatchArguments& arguments) {
  const bool thirdOperand = app.get_option("prefix")->count() > 0;
  if (!arguments.filesFrom.empty()) {
    if (thirdOperand) return "--files-from replaces IMAGE_DIR: give MODEL and PREFIX only";
    arguments.prefix = std::move(arguments.folder);
    arguments.folder.clear();
  } else if (!thirdOperand) {
    return "IMAGE_DIR and PREFIX are required (or --files-from FILE and PREFIX)";
  }
  if (arguments.skipExisting && !arguments.jsonl.empty() && !arguments.detection.extras.json) {
    return "--skip-existing with --jsonl needs --json: a skipped image's JSON line is read back "
           "from its .json file";
  }
  return "";
}

}  // namespace

int main(int argc, char** argv) {
  BatchArguments arguments;
  CLI::App app{
      "Detects the text lines of every image (jpg, jpeg, png, bmp, tif) of a folder, or of the\n"
      "paths of a list, writing the same files per image as the scenetext command.",
      std::string(kCommandLine.tool)};
  app.add_option("model", arguments.modelPath, "Stump-cascade model file")->required();
  app.add_option("images", arguments.folder,
                 "Folder of images; left out with --files-from, whose PREFIX then comes second")
      ->required();
  app.add_option("prefix", arguments.prefix,
                 "Output prefix; end it with a slash to write into a folder");
  app.add_option("--files-from", arguments.filesFrom,
                 "Read the image paths from FILE, one per line, blank lines skipped (- for "
                 "standard input), instead of a folder")
      ->type_name("FILE|-");
  app.add_option("--shard", arguments.shard,
                 "Take only the images at the 0-based positions i of the input order with "
                 "i mod N = K-1; N runs with K = 1..N take every image once")
      ->type_name("K/N")
      ->check(CLI::Validator(
          [](const std::string& text) {
            auto shard = scenetext::batch::parseShard(text);
            return shard.ok() ? std::string() : shard.status().message();
          },
          ""))
      ->capture_default_str();
  app.add_flag("--skip-existing", arguments.skipExisting,
               "Keep the outputs an earlier run wrote in full (image, box list, and the .json with "
               "--json) and skip those images; with --jsonl their lines are read back");
  scenetext::driver::addDetectionOptions(app, arguments.detection);
  app.add_flag("--json", arguments.detection.extras.json,
               "Also write each image's JSON object to PREFIX<image name>.json");
  app.add_option("--jsonl", arguments.jsonl,
                 "Write one JSON object per image, in image order, to FILE (- for standard "
                 "output; messages stay on stderr)")
      ->type_name("FILE|-");
  app.add_option("--jobs,-j", arguments.jobs, "Images processed at once")
      ->capture_default_str()
      ->check(CLI::Range(1u, 256u));
  if (const auto done = scenetext::parseCommandLine(app, argc, argv, kCommandLine)) return *done;
  if (const std::string problem = completeArguments(app, arguments); !problem.empty()) {
    return scenetext::usageError(kCommandLine, problem);
  }
  scenetext::driver::finishDetectionOptions(arguments.detection, arguments.modelPath);
  return scenetext::runReportingExceptions(kCommandLine, [&] { return detectBatch(arguments); });
}
