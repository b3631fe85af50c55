#include "synth/synth_run.hpp"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <mutex>
#include <thread>

#include "common/file_output.hpp"
#include "io/path_list.hpp"
#include "synth/material.hpp"

namespace scenetext::synth {
namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kImageExtensions = {".jpg", ".jpeg", ".png", ".bmp",
                                                   ".tif", ".tiff", ".webp"};
const std::vector<std::string> kFontExtensions = {".ttf", ".otf"};

struct Inputs {
  std::vector<std::string> backgrounds;
  std::vector<std::string> fonts;
  std::vector<std::string> words;
};

Result<std::vector<std::string>> nonEmptyList(const std::string& listOrDir,
                                              const std::vector<std::string>& extensions,
                                              const std::string& what) {
  Result<std::vector<std::string>> paths = io::readPathListOrFolder(listOrDir, extensions);
  if (paths && paths->empty()) return Status::error(listOrDir + ": no " + what + " listed");
  return paths;
}

Result<Inputs> readInputs(const RunOptions& options) {
  Inputs inputs;
  Result<std::vector<std::string>> fonts = nonEmptyList(options.fonts, kFontExtensions, "fonts");
  if (!fonts) return fonts.status();
  Result<std::vector<std::string>> backgrounds =
      nonEmptyList(options.backgrounds, kImageExtensions, "background images");
  if (!backgrounds) return backgrounds.status();
  Result<std::vector<std::string>> words = readWordList(options.words);
  if (!words) return words.status();
  if (Status readable = checkBackgroundsReadable(*backgrounds); !readable) return readable;
  for (const std::string& font : *fonts) {
    if (Status drawn = checkFont(font); !drawn) return drawn;
  }
  return Inputs{std::move(*backgrounds), std::move(*fonts), std::move(*words)};
}

// Creates the folder and writes (and removes) a probe file, so that a folder that cannot take
// the output fails the run before any image is drawn.
Status prepareOutput(const std::string& outDir) {
  std::error_code error;
  fs::create_directories(outDir, error);
  if (error || !fs::is_directory(outDir)) {
    return Status::error(outDir + ": cannot create the output folder" +
                         (error ? ": " + error.message() : ""));
  }
  const std::string probe = (fs::path(outDir) / ".scenetext-synth-probe").string();
  if (Status written = writeFileAtomically(probe, ""); !written) return written;
  fs::remove(probe, error);
  return Status();
}

// What the workers share: the next image to make, the count written, and the first failure.
class Progress {
 public:
  explicit Progress(const RunOptions& options) : options_(options) {}

  // The next image number to make, or 0 when the run is over.
  int claim() {
    if (failed_.load()) return 0;
    const int n = next_.fetch_add(1);
    return n <= options_.count ? n : 0;
  }
  void written(int words) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++summary_.images;
    summary_.words += words;
    if (options_.progress) options_.progress(summary_.images);
  }
  // Keeps the failure of the lowest image number, so the message does not depend on timing.
  void fail(int n, Status status) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (failedAt_ == 0 || n < failedAt_) {
      failedAt_ = n;
      failure_ = std::move(status);
    }
    failed_.store(true);
  }
  Result<RunSummary> result() const {
    if (failedAt_ != 0) return failure_;
    return summary_;
  }

 private:
  const RunOptions& options_;
  std::atomic<int> next_{1};
  std::atomic<bool> failed_{false};
  std::mutex mutex_;
  RunSummary summary_;
  int failedAt_ = 0;
  Status failure_;
};

// Makes and writes image n; returns its number of words.
Result<int> makeImage(const Material& material, const RunOptions& options, int n) {
  Result<SynthImage> made = generateImage(material, options.synth, options.seed, n);
  if (!made) return made.status();
  const fs::path dir(options.outDir);
  Status written = writeFilesAtomically(
      {{(dir / imageFileName(n)).string(), encodeJpeg(made->image, made->jpegQuality)},
       {(dir / groundTruthFileName(n)).string(), formatGroundTruth(made->words)}});
  if (!written) return written;
  return static_cast<int>(made->words.size());
}

void work(const Inputs& inputs, const BackgroundCache& backgrounds, const RunOptions& options,
          Progress& progress) {
  // FreeType faces are not thread-safe: each worker loads its own, once.
  FontCache fonts(inputs.fonts);
  const Material material{&backgrounds, &fonts, &inputs.words};
  for (int n = progress.claim(); n != 0; n = progress.claim()) {
    Result<int> words = Status::error("");
    try {
      words = makeImage(material, options, n);
    } catch (const std::exception& e) {
      // cv::Exception included: a worker must not take the process down with it.
      words = Status::error(imageFileName(n) + ": " + e.what());
    }
    if (!words) {
      progress.fail(n, words.status());
      return;
    }
    progress.written(*words);
  }
}

}  // namespace

std::string imageFileName(int n) { return "img_" + std::to_string(n) + ".jpg"; }
std::string groundTruthFileName(int n) { return "gt_img_" + std::to_string(n) + ".txt"; }

Result<RunSummary> runSynth(const RunOptions& options) {
  if (options.count < 1 || options.jobs < 1) {
    return Status::error("the image count and the number of jobs must be at least 1");
  }
  Result<Inputs> inputs = readInputs(options);
  if (!inputs) return inputs.status();
  if (Status ready = prepareOutput(options.outDir); !ready) return ready;

  const BackgroundCache backgrounds(inputs->backgrounds);
  Progress progress(options);
  const int jobs = std::min(options.jobs, options.count);
  std::vector<std::thread> workers;
  for (int j = 1; j < jobs; ++j) {
    workers.emplace_back(work, std::cref(*inputs), std::cref(backgrounds), std::cref(options),
                         std::ref(progress));
  }
  work(*inputs, backgrounds, options, progress);
  for (std::thread& worker : workers) worker.join();
  return progress.result();
}

}  // namespace scenetext::synth
