// scenetext MODEL IMAGE PREFIX: detects the text lines of one photograph.

#include <CLI/CLI.hpp>

#include <iostream>
#include <string>

#include "common/command_line.hpp"
#include "common/process_heap.hpp"
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
  std::string candidates = "exact";
  app.add_option("--candidates", candidates,
                 "Candidate stage: exact (the reference algorithm, bit for bit) or extended (also "
                 "half- and quarter-size edges, letters with holes, wider letter spacing)")
      ->check(CLI::IsMember({"exact", "extended"}))
      ->capture_default_str();
  std::string granularity = "line";
  app.add_option("--granularity", granularity,
                 "Boxes of the box list: line (one per text line) or word (each line cut into its "
                 "words); the tinted image is the same")
      ->check(CLI::IsMember({"line", "word"}))
      ->capture_default_str();
  app.add_option("--min-score", arguments.extras.minScore,
                 "Leave out the lines scoring below S (scores lie in (0, 1]; 0 keeps every line)")
      ->type_name("S")
      ->check(CLI::Range(0.0, 1.0))
      ->capture_default_str();
  app.add_flag("--scores", arguments.extras.scores,
               "Append each line's score to its box-list line: left,top,right,bottom,score");
  app.add_flag("--json", arguments.extras.json,
               "Also write the same path + \".json\": image, size, mode, model and the lines with "
               "their scores");
  if (const auto done = scenetext::parseCommandLine(app, argc, argv, kCommandLine)) return *done;

  arguments.candidates = *scenetext::regions::parseCandidateMode(candidates);
  arguments.extras.modelPath = arguments.modelPath;
  arguments.extras.words = granularity == "word";
  return scenetext::runReportingExceptions(kCommandLine, [&] {
    const std::string mismatch =
        scenetext::driver::candidateModeMismatch(arguments.modelPath, arguments.candidates);
    if (!mismatch.empty()) std::cerr << kCommandLine.tool << ": warning: " << mismatch << "\n";
    scenetext::Status status = scenetext::driver::runSequence(arguments, std::cout);
    return status.ok() ? 0 : scenetext::failure(kCommandLine, status.message());
  });
}
