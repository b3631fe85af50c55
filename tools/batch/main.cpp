// scenetext-batch MODEL IMAGE_DIR PREFIX [--jobs N]: the single-image command over every image of
// a folder, several images at once. Each image's two outputs are byte-identical to what
// `scenetext MODEL IMAGE_DIR/NAME PREFIX` writes. A failing image is reported and skipped.
// --jsonl adds one JSON object per image, in the order of the image list.

#include <CLI/CLI.hpp>
#include <opencv2/core.hpp>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <mutex>
#include <optional>
#include <thread>

#include "common/command_line.hpp"
#include "driver/run.hpp"

namespace {

constexpr scenetext::CommandLine kCommandLine{
    "scenetext-batch",
    "[--candidates exact|extended] [--min-score S] [--scores] [--jsonl FILE|-] MODEL IMAGE_DIR "
    "PREFIX [--jobs N]",
    SCENETEXT_VERSION};

bool isImageName(const std::filesystem::path& path) {
  std::string extension = path.extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return std::tolower(c); });
  for (const char* known : {".jpg", ".jpeg", ".png", ".bmp", ".tif", ".tiff"}) {
    if (extension == known) return true;
  }
  return false;
}

scenetext::Result<std::vector<std::string>> listImages(const std::string& folder) {
  std::error_code error;
  std::filesystem::directory_iterator entries(folder, error);
  if (error) return scenetext::Status::error("cannot read folder '" + folder + "': " + error.message());
  std::vector<std::string> images;
  for (const auto& entry : entries) {
    if (entry.is_regular_file(error) && isImageName(entry.path())) {
      images.push_back(entry.path().string());
    }
  }
  std::sort(images.begin(), images.end());
  return images;
}

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
  std::string candidates = "exact";
  unsigned jobs = std::max(1u, std::thread::hardware_concurrency());
  scenetext::driver::ExtraOutputs extras;
  std::string jsonl;  // empty: none; "-": standard output
};

// Detects `images` on up to `jobs` threads. Returns how many failed, each named on its own stderr
// line.
size_t detectImages(const scenetext::classifier::StumpCascade& model,
                    const std::vector<std::string>& images, const std::string& prefix,
                    scenetext::regions::CandidateMode mode,
                    const scenetext::driver::ExtraOutputs& extras, unsigned jobs,
                    OrderedLines& jsonl) {
  ProgressBar progress(images.size());
  std::atomic<size_t> next{0};
  std::atomic<size_t> failed{0};
  std::mutex errors;
  auto work = [&] {
    for (size_t i = next++; i < images.size(); i = next++) {
      const std::string& image = images[i];
      std::string message;
      try {
        auto written = scenetext::driver::detectFile(model, image, prefix, {}, mode, extras);
        if (written.ok()) {
          jsonl.put(i, scenetext::driver::formatJsonReport(written->report));
        } else {
          message = written.status().message();
        }
      } catch (const cv::Exception& error) {
        message = "'" + image + "': image library error: " + error.msg;
      } catch (const std::exception& error) {
        message = "'" + image + "': " + error.what();
      }
      if (!message.empty()) {
        jsonl.put(i, scenetext::driver::formatJsonError(image, message));
        ++failed;
        std::lock_guard<std::mutex> lock(errors);
        // The carriage return starts the line over the progress bar. One write for the whole
        // line: the image decoders print from the other workers without taking our lock.
        std::cerr << ("\r" + std::string(kCommandLine.tool) + ": " + message + "\n") << std::flush;
      }
      progress.advance();
    }
  };
  std::vector<std::thread> workers;
  const size_t threadCount = std::min<size_t>(jobs, std::max<size_t>(images.size(), 1));
  for (size_t t = 0; t < threadCount; ++t) workers.emplace_back(work);
  for (std::thread& worker : workers) worker.join();
  return failed;
}

int detectFolder(const BatchArguments& arguments) {
  const scenetext::regions::CandidateMode mode =
      *scenetext::regions::parseCandidateMode(arguments.candidates);
  const std::string mismatch = scenetext::driver::candidateModeMismatch(arguments.modelPath, mode);
  if (!mismatch.empty()) std::cerr << kCommandLine.tool << ": warning: " << mismatch << "\n";
  scenetext::Result<scenetext::classifier::StumpCascade> model =
      scenetext::driver::loadModel(arguments.modelPath);
  if (!model.ok()) return scenetext::failure(kCommandLine, model.status().message());
  scenetext::Result<std::vector<std::string>> images = listImages(arguments.folder);
  if (!images.ok()) return scenetext::failure(kCommandLine, images.status().message());

  // Opened before any image is read, so that a stream that cannot be written stops the batch at
  // once. Lines are streamed as images finish: a file cut short holds whole lines only.
  const bool jsonlToStdout = arguments.jsonl == "-";
  std::ofstream jsonlFile;
  if (!arguments.jsonl.empty() && !jsonlToStdout) {
    jsonlFile.open(arguments.jsonl, std::ios::binary | std::ios::trunc);
    if (!jsonlFile) {
      return scenetext::failure(kCommandLine, "cannot write '" + arguments.jsonl +
                                                  "': " + std::strerror(errno));
    }
  }
  std::ostream* jsonlOut =
      jsonlToStdout ? &std::cout : (jsonlFile.is_open() ? &jsonlFile : nullptr);
  OrderedLines jsonl(jsonlOut, images->size());

  // The images run in parallel; OpenCV's own threads would only compete with them.
  if (arguments.jobs > 1) cv::setNumThreads(1);
  const size_t failed = detectImages(*model, *images, arguments.prefix, mode, arguments.extras,
                                     arguments.jobs, jsonl);
  if (jsonlFile.is_open() && !jsonlFile.flush()) {
    return scenetext::failure(kCommandLine, "cannot write '" + arguments.jsonl + "'");
  }
  // With the JSON lines on standard output, the summary joins the other messages on stderr.
  (jsonlToStdout ? std::cerr : std::cout)
      << "processed " << images->size() - failed << " of " << images->size() << " images, "
      << failed << " failed\n";
  return failed > 0 ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  BatchArguments arguments;
  CLI::App app{
      "Detects the text lines of every image (jpg, jpeg, png, bmp, tif) of a folder,\n"
      "writing the same two files per image as the scenetext command.",
      std::string(kCommandLine.tool)};
  app.add_option("model", arguments.modelPath, "Stump-cascade model file")->required();
  app.add_option("images", arguments.folder, "Folder of images")->required();
  app.add_option("prefix", arguments.prefix,
                 "Output prefix; end it with a slash to write into a folder")
      ->required();
  app.add_option("--candidates", arguments.candidates, "Candidate stage: exact or extended")
      ->check(CLI::IsMember({"exact", "extended"}))
      ->capture_default_str();
  app.add_option("--min-score", arguments.extras.minScore,
                 "Leave out the lines scoring below S (scores lie in (0, 1]; 0 keeps every line)")
      ->type_name("S")
      ->check(CLI::Range(0.0, 1.0))
      ->capture_default_str();
  app.add_flag("--scores", arguments.extras.scores,
               "Append each line's score to its box-list line: left,top,right,bottom,score");
  app.add_option("--jsonl", arguments.jsonl,
                 "Write one JSON object per image, in image order, to FILE (- for standard "
                 "output; messages stay on stderr)")
      ->type_name("FILE|-");
  app.add_option("--jobs,-j", arguments.jobs, "Images processed at once")
      ->capture_default_str()
      ->check(CLI::Range(1u, 256u));
  if (const auto done = scenetext::parseCommandLine(app, argc, argv, kCommandLine)) return *done;
  arguments.extras.modelPath = arguments.modelPath;
  return scenetext::runReportingExceptions(kCommandLine, [&] { return detectFolder(arguments); });
}
