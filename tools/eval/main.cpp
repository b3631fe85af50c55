// scenetext-eval GT_DIR DET_DIR: scores a folder of detections against ground truth.

#include <CLI/CLI.hpp>

#include <filesystem>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "common/command_line.hpp"
#include "common/file_output.hpp"
#include "driver/result_output.hpp"
#include "driver/run.hpp"
#include "eval/folder_evaluation.hpp"
#include "eval/overlay.hpp"
#include "eval/report.hpp"

namespace {

namespace fs = std::filesystem;
namespace ev = scenetext::evaluation;

constexpr scenetext::CommandLine kCommandLine{
    "scenetext-eval",
    "GT_DIR DET_DIR [--protocol deteval|iou] [--csv FILE] [--overlays DIR --images DIR]",
    SCENETEXT_VERSION};

struct Arguments {
  std::string groundTruthDir;
  std::string detectionDir;
  std::string protocol = "deteval";
  std::string csvPath;
  std::string overlayDir;
  std::string imageDir;
};

void warn(const std::string& message) {
  std::cerr << kCommandLine.tool << ": warning: " << message << "\n";
}

void warnAboutMissingDetections(const std::vector<ev::ImageEvaluation>& images,
                                const std::string& detectionDir) {
  for (const ev::ImageEvaluation& image : images) {
    if (image.files.detectionPath.empty()) {
      warn("no detection file for image '" + image.files.stem + "' in '" + detectionDir +
           "'; counted as no detections");
    }
  }
}

// One overlay per image found in `imageDir`, written under the image's own file name.
scenetext::Status writeOverlays(const std::vector<ev::ImageEvaluation>& images,
                                const std::string& imageDir, const std::string& overlayDir) {
  auto listed = ev::listImagesByStem(imageDir);
  if (!listed.ok()) return listed.status();
  const std::map<std::string, std::string> imagePaths(listed->begin(), listed->end());
  std::error_code error;
  fs::create_directories(overlayDir, error);
  if (error) {
    return scenetext::Status::error("cannot create overlay folder '" + overlayDir + "': " + error.message());
  }
  for (const ev::ImageEvaluation& image : images) {
    auto found = imagePaths.find(image.files.stem);
    if (found == imagePaths.end()) {
      warn("no image for '" + image.files.stem + "' in '" + imageDir + "'; no overlay");
      continue;
    }
    // Read as the detector reads it (no EXIF rotation, the same pixel limit), so that the boxes
    // land where the detector saw them.
    const auto photo = scenetext::driver::loadColourImage(found->second);
    if (!photo.ok()) {
      warn(photo.status().message() + "; no overlay");
      continue;
    }
    const std::string target = (fs::path(overlayDir) / fs::path(found->second).filename()).string();
    const auto encoded = scenetext::driver::encodeImageFor(target, ev::drawOverlay(*photo, image));
    if (!encoded.ok()) return encoded.status();
    scenetext::Status written = scenetext::writeFileAtomically(target, *encoded);
    if (!written.ok()) return written;
  }
  return {};
}

int run(const Arguments& arguments) {
  const ev::Protocol protocol = arguments.protocol == "iou" ? ev::Protocol::IoU : ev::Protocol::DetEval;
  auto images = ev::evaluateFolders(arguments.groundTruthDir, arguments.detectionDir, protocol);
  if (!images.ok()) return scenetext::failure(kCommandLine, images.status().message());
  warnAboutMissingDetections(*images, arguments.detectionDir);
  if (!arguments.csvPath.empty()) {
    scenetext::Status written = scenetext::writeFileAtomically(arguments.csvPath, ev::formatImageTable(*images));
    if (!written.ok()) return scenetext::failure(kCommandLine, written.message());
  }
  if (!arguments.overlayDir.empty()) {
    scenetext::Status written = writeOverlays(*images, arguments.imageDir, arguments.overlayDir);
    if (!written.ok()) return scenetext::failure(kCommandLine, written.message());
  }
  // Last, so that a script reading stdout sees scores only from a run that fully succeeded.
  std::cout << ev::formatSummary(ev::scoresOf(ev::totalOf(*images))) << std::flush;
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Arguments arguments;
  CLI::App app{
      "Scores text detections against ground truth, image by image, and prints the set's\n"
      "\"precision P recall R F F\" line. Ground truth: GT_DIR/gt_<stem>.txt, one word per line,\n"
      "'left top right bottom \"word\"' or 'left, top, right, bottom, \"word\"' (### = don't care).\n"
      "Detections: DET_DIR/<stem>.jpg.txt (the detector's box lists) or DET_DIR/res_<stem>.txt,\n"
      "one 'left,top,right,bottom' line per box. Coordinates are inclusive pixels.",
      std::string(kCommandLine.tool)};
  app.add_option("GT_DIR", arguments.groundTruthDir, "Folder of gt_<stem>.txt files")
      ->required()
      ->type_name("DIR");
  app.add_option("DET_DIR", arguments.detectionDir, "Folder of detection files")
      ->required()
      ->type_name("DIR");
  app.add_option("--protocol", arguments.protocol,
                 "deteval: ICDAR 2013 (Wolf and Jolion); iou: ICDAR 2015 (overlap above 0.5)")
      ->check(CLI::IsMember({"deteval", "iou"}))
      ->type_name("NAME")
      ->capture_default_str();
  app.add_option("--csv", arguments.csvPath,
                 "Write one row per image: stem,words,detections,recall,precision")
      ->type_name("FILE");
  CLI::Option* overlays = app.add_option(
      "--overlays", arguments.overlayDir,
      "Write each image with ground truth in green and detections in cyan (bright: matched) here")
      ->type_name("DIR");
  CLI::Option* images =
      app.add_option("--images", arguments.imageDir, "Folder of the images, for --overlays")->type_name("DIR");
  overlays->needs(images);
  images->needs(overlays);
  if (const auto done = scenetext::parseCommandLine(app, argc, argv, kCommandLine)) return *done;

  std::error_code error;
  if (!arguments.overlayDir.empty() &&
      fs::equivalent(arguments.overlayDir, arguments.imageDir, error)) {
    return scenetext::usageError(kCommandLine,
                                 "--overlays must not be the --images folder: the "
                                 "overlays would replace the images");
  }
  return scenetext::runReportingExceptions(kCommandLine, [&] { return run(arguments); });
}
