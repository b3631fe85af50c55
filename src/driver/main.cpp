// scenetext MODEL IMAGE PREFIX: detects the text lines of one photograph.

#include <CLI/CLI.hpp>

#include <iostream>
#include <string>

#include "common/command_line.hpp"
#include "common/process_heap.hpp"
#include "driver/detection_options.hpp"
#include "driver/run.hpp"

namespace {

constexpr scenetext::CommandLine kCommandLine{
    "scenetext",
    "[--candidates exact|extended] [--granularity line|word] [--min-score S] [--scores] [--json] "
    "MODEL IMAGE PREFIX",
    SCENETEXT_VERSION};

}  // namespace

// Failures of the run come back as messages (runReportingExceptions); what could still escape is
// std::bad_alloc while the option table is built, where ending the process is the answer.
int main(int argc, char** argv) {  // NOLINT(bugprone-exception-escape)
  scenetext::prepareHeapForImages();
  scenetext::driver::RunArguments arguments;
  CLI::App app{
      "Detects the text lines of a photograph. Writes PREFIX + the image's base name (the image\n"
      "with every text line tinted cyan) and the same path + \".txt\" (one left,top,right,bottom\n"
      "line per box, inclusive input-image pixels).",
      std::string(kCommandLine.tool)};
  app.add_option("model", arguments.modelPath, "Stump-cascade model file")->required();
  app.add_option("image", arguments.imagePath, "Colour photograph (jpg, png, bmp, tif, ...)")
      ->required();
  app.add_option("prefix", arguments.outputPrefix,
                 "Output prefix; end it with a slash to write into a folder (results/)")
      ->required();
  scenetext::driver::DetectionOptions options;
  scenetext::driver::addDetectionOptions(app, options);
  app.add_flag("--json", options.extras.json,
               "Also write the same path + \".json\": image, size, mode, model and the lines with "
               "their scores");
  if (const auto done = scenetext::parseCommandLine(app, argc, argv, kCommandLine)) return *done;

  scenetext::driver::finishDetectionOptions(options, arguments.modelPath);
  arguments.candidates = *scenetext::regions::parseCandidateMode(options.candidates);
  arguments.extras = options.extras;
  return scenetext::runReportingExceptions(kCommandLine, [&] {
    const std::string mismatch =
        scenetext::driver::candidateModeMismatch(arguments.modelPath, arguments.candidates);
    if (!mismatch.empty()) std::cerr << kCommandLine.tool << ": warning: " << mismatch << "\n";
    scenetext::Status status = scenetext::driver::runSequence(arguments, std::cout);
    return status.ok() ? 0 : scenetext::failure(kCommandLine, status.message());
  });
}
