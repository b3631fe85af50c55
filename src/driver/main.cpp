// scenetext MODEL IMAGE PREFIX: detects the text lines of one photograph.

#include <CLI/CLI.hpp>
#include <opencv2/core.hpp>

#include <cstdio>
#include <exception>
#include <iostream>

#include "driver/run.hpp"

namespace {

constexpr char kTool[] = "scenetext";

int fail(const std::string& message) {
  std::cout << std::flush;
  std::cerr << (std::string(kTool) + ": " + message + "\n") << std::flush;
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  scenetext::driver::RunArguments arguments;
  CLI::App app{
      "Detects the text lines of a photograph. Writes PREFIX + the image's base name (the image\n"
      "with every text line tinted cyan) and the same path + \".txt\" (one left,top,right,bottom\n"
      "line per box, inclusive input-image pixels).",
      kTool};
  app.add_option("model", arguments.modelPath, "Stump-cascade model file")->required();
  app.add_option("image", arguments.imagePath, "Colour photograph (jpg, png, bmp, tif, ...)")
      ->required();
  app.add_option("prefix", arguments.outputPrefix,
                 "Output prefix; end it with a slash to write into a folder (results/)")
      ->required();
  std::string candidates = "spec";
  app.add_option("--candidates", candidates,
                 "Candidate stage: spec (the reference algorithm, bit for bit) or extended (also "
                 "half- and quarter-size edges, letters with holes, wider letter spacing)")
      ->check(CLI::IsMember({"spec", "extended"}))
      ->capture_default_str();
  app.set_version_flag("--version", SCENETEXT_VERSION);
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    std::cout << app.help();
    return 0;
  } catch (const CLI::CallForVersion&) {
    std::cout << kTool << " " << SCENETEXT_VERSION << "\n";
    return 0;
  } catch (const CLI::ParseError& error) {
    std::cerr << kTool << ": " << error.what() << "\n"
              << "usage: " << kTool << " [--candidates spec|extended] MODEL IMAGE PREFIX   (see --help)\n";
    return 2;
  }

  arguments.candidates = *scenetext::regions::parseCandidateMode(candidates);
  try {
    const std::string mismatch =
        scenetext::driver::candidateModeMismatch(arguments.modelPath, arguments.candidates);
    if (!mismatch.empty()) std::cerr << kTool << ": warning: " << mismatch << "\n";
    scenetext::Status status = scenetext::driver::runSequence(arguments, std::cout);
    if (!status.ok()) return fail(status.message());
  } catch (const cv::Exception& error) {
    return fail("image library error: " + error.msg);
  } catch (const std::exception& error) {
    return fail(std::string("error: ") + error.what());
  }
  return 0;
}
