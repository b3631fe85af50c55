// scenetext-synth: writes synthetic photographs of scene text with exact word boxes.
#include <chrono>
#include <cstdio>
#include <iostream>
#include <regex>

#include <CLI/CLI.hpp>
#include <opencv2/core.hpp>

#include "common/command_line.hpp"
#include "synth/synth_run.hpp"

namespace {

constexpr scenetext::CommandLine kCommandLine{
    "scenetext-synth", "--backgrounds LIST --fonts LIST --count N [options] OUT_DIR",
    SCENETEXT_VERSION};

// "WxH" with both sides at least 16 pixels.
bool parseSize(const std::string& text, cv::Size& size) {
  static const std::regex kPattern("([0-9]{2,5})x([0-9]{2,5})");
  std::smatch match;
  if (!std::regex_match(text, match, kPattern)) return false;
  size = cv::Size(std::stoi(match[1]), std::stoi(match[2]));
  return size.width >= 16 && size.height >= 16;
}

const auto kSizeValidator = CLI::Validator(
    [](std::string& text) {
      cv::Size size;
      return parseSize(text, size) ? std::string() : "expected WIDTHxHEIGHT, e.g. 640x480";
    },
    "WxH");

struct Arguments {
  scenetext::synth::RunOptions run;
  std::string minSize = "640x480";
  std::string maxSize = "1600x1200";
};

void declareOptions(CLI::App& app, Arguments& args) {
  scenetext::synth::RunOptions& options = args.run;
  app.add_option("--backgrounds", options.backgrounds,
                 "Background photographs: a list file (one path per line; a .tsv gives its "
                 "first column) or a directory")
      ->required();
  app.add_option("--fonts", options.fonts, "Font files: a list file or a directory")->required();
  options.words = "/usr/share/dict/words";
  app.add_option("--words", options.words, "Word list, one word per line")->capture_default_str();
  app.add_option("--count", options.count, "Number of images to write")
      ->required()
      ->check(CLI::Range(1, 100000000));
  app.add_option("--seed", options.seed, "Seed of the run")->capture_default_str();
  app.add_option("--jobs", options.jobs, "Worker threads; the output does not depend on them")
      ->capture_default_str()
      ->check(CLI::Range(1, 256));
  app.add_option("--min-size", args.minSize, "Smallest image size")
      ->capture_default_str()
      ->check(kSizeValidator);
  app.add_option("--max-size", args.maxSize, "Largest image size")
      ->capture_default_str()
      ->check(kSizeValidator);
  app.add_option("OUT_DIR", options.outDir, "Output folder (created when missing)")->required();
}

int run(int argc, char** argv) {
  Arguments args;
  CLI::App app(
      "Writes synthetic photographs of scene text (img_<n>.jpg) with the box of every "
      "word (gt_img_<n>.txt).",
      std::string(kCommandLine.tool));
  declareOptions(app, args);
  if (const auto done = scenetext::parseCommandLine(app, argc, argv, kCommandLine)) return *done;
  scenetext::synth::RunOptions& options = args.run;
  parseSize(args.minSize, options.synth.minSize);
  parseSize(args.maxSize, options.synth.maxSize);
  if (options.synth.minSize.width > options.synth.maxSize.width ||
      options.synth.minSize.height > options.synth.maxSize.height) {
    return scenetext::usageError(kCommandLine, "--min-size must not exceed --max-size");
  }

  const int step = std::max(1, options.count / 10);
  options.progress = [&](int written) {
    if (options.count >= 100 && written % step == 0 && written < options.count) {
      std::cerr << kCommandLine.tool << ": " << written << "/" << options.count << " images\n";
    }
  };
  // The run spreads images over --jobs workers; OpenCV's own threads would only compete.
  cv::setNumThreads(0);
  const auto start = std::chrono::steady_clock::now();
  const auto summary = scenetext::synth::runSynth(options);
  if (!summary) return scenetext::failure(kCommandLine, summary.status().message());
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  char rate[64];
  std::snprintf(rate, sizeof rate, "%.1f s, %.1f images/s", seconds, summary->images / seconds);
  std::cerr << kCommandLine.tool << ": wrote " << summary->images << " images with "
            << summary->words << " words to " << options.outDir << " (" << rate << ")\n";
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return scenetext::runReportingExceptions(kCommandLine, [&] { return run(argc, argv); });
}
