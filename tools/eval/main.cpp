// scenetext-eval GT_DIR DET_DIR: scores a folder of detections against ground truth.

#include <CLI/CLI.hpp>

#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "common/command_line.hpp"
#include "common/file_output.hpp"
#include "driver/result_output.hpp"
#include "driver/run.hpp"
#include "eval/average_precision.hpp"
#include "eval/folder_evaluation.hpp"
#include "eval/html_report.hpp"
#include "eval/overlay.hpp"
#include "eval/report.hpp"

namespace {

namespace fs = std::filesystem;
namespace ev = scenetext::evaluation;

constexpr scenetext::CommandLine kCommandLine{
    "scenetext-eval",
    "GT_DIR DET_DIR [--protocol deteval|iou] [--csv FILE] [--overlays DIR] [--report DIR] "
    "[--images DIR]",
    SCENETEXT_VERSION};

// The report's thumbnails fit in this box, in pixels.
constexpr int kThumbnailWidth = 360;
constexpr int kThumbnailHeight = 240;

struct Arguments {
  std::string groundTruthDir;
  std::string detectionDir;
  std::string protocol = "deteval";
  std::string csvPath;
  std::string overlayDir;
  std::string reportDir;
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

// The precision-recall curve when every detection of the set has a score; a set with only some
// scored says so and has none.
std::optional<ev::PrecisionRecallCurve> scoredCurve(const std::vector<ev::ImageEvaluation>& images,
                                                    ev::Protocol protocol) {
  const ev::ScoreCount count = ev::countScores(images);
  if (count.scored == 0) return std::nullopt;
  if (count.scored < count.detections) {
    warn(std::to_string(count.detections - count.scored) + " of " +
         std::to_string(count.detections) + " detections have no score (the first in '" +
         count.firstUnscoredFile + "'); no average precision");
    return std::nullopt;
  }
  return ev::precisionRecallCurve(images, protocol);
}

scenetext::Status createFolder(const std::string& folder) {
  std::error_code error;
  fs::create_directories(folder, error);
  if (error)
    return scenetext::Status::error("cannot create folder '" + folder + "': " + error.message());
  return {};
}

scenetext::Status writePicture(const std::string& target, const cv::Mat& picture) {
  const auto encoded = scenetext::driver::encodeImageFor(target, picture);
  if (!encoded.ok()) return encoded.status();
  return scenetext::writeFileAtomically(target, *encoded);
}

// For every image of the set found in `--images`: its overlay under the image's own file name in
// `--overlays`, and for the report a full-size overlay and a thumbnail, whose links it collects.
scenetext::Status writePictures(const std::vector<ev::ImageEvaluation>& images,
                                const Arguments& arguments,
                                std::map<std::string, ev::OverlayLinks>& reportLinks) {
  auto listed = ev::listImagesByStem(arguments.imageDir);
  if (!listed.ok()) return listed.status();
  const std::map<std::string, std::string> imagePaths(listed->begin(), listed->end());
  const fs::path report(arguments.reportDir);
  std::vector<std::string> folders;
  if (!arguments.overlayDir.empty()) folders.push_back(arguments.overlayDir);
  if (!arguments.reportDir.empty()) {
    folders.push_back((report / "overlays").string());
    folders.push_back((report / "thumbnails").string());
  }
  for (const std::string& folder : folders) {
    if (scenetext::Status created = createFolder(folder); !created.ok()) return created;
  }
  for (const ev::ImageEvaluation& image : images) {
    auto found = imagePaths.find(image.files.stem);
    if (found == imagePaths.end()) {
      warn("no image for '" + image.files.stem + "' in '" + arguments.imageDir + "'; no overlay");
      continue;
    }
    // Read as the detector reads it (no EXIF rotation, the same pixel limit), so that the boxes
    // land where the detector saw them.
    const auto photo = scenetext::driver::loadColourImage(found->second);
    if (!photo.ok()) {
      warn(photo.status().message() + "; no overlay");
      continue;
    }
    const std::string name = fs::path(found->second).filename().string();
    const cv::Mat overlay = ev::drawOverlay(*photo, image);
    if (!arguments.overlayDir.empty()) {
      scenetext::Status written =
          writePicture((fs::path(arguments.overlayDir) / name).string(), overlay);
      if (!written.ok()) return written;
    }
    if (arguments.reportDir.empty()) continue;
    const ev::OverlayLinks links{"overlays/" + name, "thumbnails/" + name};
    scenetext::Status written = writePicture((report / links.full).string(), overlay);
    if (written.ok()) {
      written = writePicture((report / links.thumbnail).string(),
                             ev::drawThumbnail(*photo, image, kThumbnailWidth, kThumbnailHeight));
    }
    if (!written.ok()) return written;
    reportLinks[image.files.stem] = links;
  }
  return {};
}

int run(const Arguments& arguments) {
  const ev::Protocol protocol =
      arguments.protocol == "iou" ? ev::Protocol::IoU : ev::Protocol::DetEval;
  auto images = ev::evaluateFolders(arguments.groundTruthDir, arguments.detectionDir, protocol);
  if (!images.ok()) return scenetext::failure(kCommandLine, images.status().message());
  warnAboutMissingDetections(*images, arguments.detectionDir);
  const std::optional<ev::PrecisionRecallCurve> curve = scoredCurve(*images, protocol);
  if (!arguments.csvPath.empty()) {
    scenetext::Status written =
        scenetext::writeFileAtomically(arguments.csvPath, ev::formatImageTable(*images));
    if (!written.ok()) return scenetext::failure(kCommandLine, written.message());
  }
  ev::ReportContent report{protocol, &*images, {}, curve};
  if (!arguments.imageDir.empty()) {
    scenetext::Status written = writePictures(*images, arguments, report.overlays);
    if (!written.ok()) return scenetext::failure(kCommandLine, written.message());
  }
  if (!arguments.reportDir.empty()) {
    // The page last, so that it only ever links to pictures already written.
    scenetext::Status written = scenetext::writeFileAtomically(
        (fs::path(arguments.reportDir) / "index.html").string(), ev::formatHtmlReport(report));
    if (!written.ok()) return scenetext::failure(kCommandLine, written.message());
  }
  // Last, so that a script reading stdout sees scores only from a run that fully succeeded.
  const ev::Scores scores = ev::scoresOf(ev::totalOf(*images));
  std::cout << ev::formatSummary(scores,
                                 curve ? std::optional(curve->averagePrecision) : std::nullopt)
            << std::flush;
  return 0;
}

// The folders that would overwrite the images if they were the --images folder.
std::optional<std::string> writesIntoImages(const Arguments& arguments) {
  std::error_code error;
  if (!arguments.overlayDir.empty() &&
      fs::equivalent(arguments.overlayDir, arguments.imageDir, error)) {
    return "--overlays must not be the --images folder: the overlays would replace the images";
  }
  for (const char* folder : {"overlays", "thumbnails"}) {
    if (!arguments.reportDir.empty() &&
        fs::equivalent(fs::path(arguments.reportDir) / folder, arguments.imageDir, error)) {
      return "--report must not hold the --images folder as '" + std::string(folder) +
             "': the report would replace the images";
    }
  }
  return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
  Arguments arguments;
  CLI::App app{
      "Scores text detections against ground truth, image by image, and prints the set's\n"
      "\"precision P recall R F F\" line. Ground truth: GT_DIR/gt_<stem>.txt, one word per line,\n"
      "'left top right bottom \"word\"' or 'left, top, right, bottom, \"word\"' (### = don't "
      "care).\n"
      "Detections: DET_DIR/<stem>.jpg.txt (the detector's box lists) or DET_DIR/res_<stem>.txt,\n"
      "one 'left,top,right,bottom' line per box. Coordinates are inclusive pixels. When every\n"
      "line ends in a fifth field, a score, the line also gives the average precision: \"AP A\".",
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
  CLI::Option* overlays = app.add_option("--overlays", arguments.overlayDir,
                                         "Write each image with ground truth in green and "
                                         "detections in cyan (bright: matched) here")
                              ->type_name("DIR");
  CLI::Option* report = app.add_option("--report", arguments.reportDir,
                                       "Write DIR/index.html: the set's figures and every image "
                                       "worst first, with its overlay")
                            ->type_name("DIR");
  CLI::Option* images = app.add_option("--images", arguments.imageDir,
                                       "Folder of the images, for --overlays and --report")
                            ->type_name("DIR");
  overlays->needs(images);
  report->needs(images);
  if (const auto done = scenetext::parseCommandLine(app, argc, argv, kCommandLine)) return *done;

  if (!arguments.imageDir.empty() && arguments.overlayDir.empty() && arguments.reportDir.empty()) {
    return scenetext::usageError(kCommandLine, "--images is only read for --overlays or --report");
  }
  if (const std::optional<std::string> problem = writesIntoImages(arguments)) {
    return scenetext::usageError(kCommandLine, *problem);
  }
  return scenetext::runReportingExceptions(kCommandLine, [&] { return run(arguments); });
}
