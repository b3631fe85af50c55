// scenetext-inspect: looks inside one detection run, stage by stage.
//   edges IMAGE OUT.png          the EdgeMap of the WorkingImage, as a PNG
//   boxes IMAGE                  the filtered component boxes, one left,top,right,bottom per line
//   features IMAGE [x,y,w,h]     the 190 feature values of a region of the WorkingImage
//   candidates IMAGE [MODEL] [--candidates exact|extended]
//                                the candidate rectangles x,y,w,h in seed order (+ decision)

#include <CLI/CLI.hpp>
#include <opencv2/core.hpp>

#include <cstdio>
#include <optional>

#include "common/command_line.hpp"
#include "common/file_output.hpp"
#include "driver/result_output.hpp"
#include "driver/run.hpp"
#include "edges/edge_detection.hpp"
#include "features/feature_vector.hpp"
#include "regions/band_classification.hpp"
#include "regions/candidate_modes.hpp"
#include "regions/component_boxes.hpp"
#include "regions/row_bands.hpp"

namespace scenetext {
namespace {

constexpr CommandLine kCommandLine{
    "scenetext-inspect", "edges|boxes|features|candidates IMAGE [ARGUMENTS]", SCENETEXT_VERSION};

Result<driver::WorkingInput> loadWorking(const std::string& path) {
  Result<cv::Mat> image = driver::loadColourImage(path);
  if (!image.ok()) return image.status();
  return driver::prepareWorkingInput(std::move(image).value());
}

// The component boxes exactly as the detection driver hands them to its single band.
BoxList componentBoxes(const cv::Mat& working) {
  const cv::Mat edges = edges::detectEdges(working, edges::kEdgeFraction);
  BoxList boxes = regions::contourBoxes(edges, working.cols, working.rows);
  regions::filterComponentBoxes(boxes);
  regions::splitBoxesAtBands(boxes, BandBoundaryList{0, working.rows});
  return boxes;
}

Status inspectEdges(const std::string& imagePath, const std::string& outPath) {
  Result<driver::WorkingInput> input = loadWorking(imagePath);
  if (!input.ok()) return input.status();
  const cv::Mat edges = edges::detectEdges(input->working, edges::kEdgeFraction);
  Result<std::string> png = driver::encodeImageFor(outPath, edges);
  if (!png.ok()) return png.status();
  return writeFileAtomically(outPath, std::move(png).value());
}

Status inspectBoxes(const std::string& imagePath) {
  Result<driver::WorkingInput> input = loadWorking(imagePath);
  if (!input.ok()) return input.status();
  for (const Box& box : componentBoxes(input->working)) {
    std::printf("%d,%d,%d,%d\n", box.left, box.top, box.right, box.bottom);
  }
  return {};
}

Result<cv::Rect> parseRect(const std::string& text) {
  int x, y, w, h;
  char tail;
  if (std::sscanf(text.c_str(), "%d,%d,%d,%d%c", &x, &y, &w, &h, &tail) != 4) {
    return Status::error("region '" + text + "' is not x,y,w,h");
  }
  return cv::Rect(x, y, w, h);
}

Status inspectFeatures(const std::string& imagePath, const std::string& regionText) {
  Result<driver::WorkingInput> input = loadWorking(imagePath);
  if (!input.ok()) return input.status();
  cv::Rect region(0, 0, input->working.cols, input->working.rows);
  if (!regionText.empty()) {
    Result<cv::Rect> parsed = parseRect(regionText);
    if (!parsed.ok()) return parsed.status();
    if (parsed->width < 1 || parsed->height < 1 || (*parsed & region) != *parsed) {
      return Status::error("region " + regionText + " does not lie inside the " +
                           std::to_string(region.width) + "x" + std::to_string(region.height) +
                           " WorkingImage");
    }
    region = *parsed;
  }
  const cv::Mat vector =
      features::computeFeatureVector(regions::cropRegion(input->working, region));
  for (int i = 0; i < vector.cols; ++i) std::printf("%.9g\n", vector.at<float>(0, i));
  return {};
}

Status inspectCandidates(const std::string& imagePath, const std::string& modelPath,
                         regions::CandidateMode mode) {
  std::optional<classifier::StumpCascade> model;
  if (!modelPath.empty()) {
    Result<classifier::StumpCascade> loaded = driver::loadModel(modelPath);
    if (!loaded.ok()) return loaded.status();
    model = std::move(loaded).value();
  }
  Result<driver::WorkingInput> input = loadWorking(imagePath);
  if (!input.ok()) return input.status();
  const cv::Mat& working = input->working;
  cv::Mat scratch = cv::Mat::zeros(working.rows, working.cols, CV_8UC1);
  const cv::Mat edges = edges::detectEdges(working, edges::kEdgeFraction);
  for (const cv::Rect& rect : regions::candidateRectangles(working, edges, mode)) {
    std::printf("%d,%d,%d,%d", rect.x, rect.y, rect.width, rect.height);
    if (model) {
      const int decision = regions::classifyCandidate(rect, scratch, working, *model);
      std::printf(",%+d", decision);
    }
    std::printf("\n");
  }
  return {};
}

}  // namespace
}  // namespace scenetext

int main(int argc, char** argv) {
  using namespace scenetext;
  CLI::App app{
      "Looks inside a scenetext run: the WorkingImage is the image loaded, padded and\n"
      "reduced exactly as the detector does.",
      std::string(kCommandLine.tool)};
  app.require_subcommand(1);
  std::string image, out, region, model;

  CLI::App* edgesCommand = app.add_subcommand("edges", "Write the EdgeMap of the WorkingImage");
  edgesCommand->add_option("image", image, "Input image")->required();
  edgesCommand->add_option("out", out, "Output image (PNG)")->required();

  CLI::App* boxesCommand = app.add_subcommand(
      "boxes", "Print the filtered component boxes, one left,top,right,bottom line each");
  boxesCommand->add_option("image", image, "Input image")->required();

  CLI::App* featuresCommand = app.add_subcommand(
      "features", "Print the 190 feature values of a region of the WorkingImage (%.9g)");
  featuresCommand->add_option("image", image, "Input image")->required();
  featuresCommand->add_option("region", region, "x,y,w,h (default: the whole WorkingImage)");

  CLI::App* candidatesCommand = app.add_subcommand(
      "candidates", "Print the candidate rectangles x,y,w,h in seed order; with MODEL, +1 or -1");
  candidatesCommand->add_option("image", image, "Input image")->required();
  candidatesCommand->add_option("model", model, "Stump-cascade model file");
  std::string candidates = "exact";
  candidatesCommand->add_option("--candidates", candidates, "Candidate stage: exact or extended")
      ->check(CLI::IsMember({"exact", "extended"}))
      ->capture_default_str();

  if (const auto done = parseCommandLine(app, argc, argv, kCommandLine)) return *done;

  return runReportingExceptions(kCommandLine, [&] {
    Status status;
    if (*edgesCommand) status = inspectEdges(image, out);
    if (*boxesCommand) status = inspectBoxes(image);
    if (*featuresCommand) status = inspectFeatures(image, region);
    if (*candidatesCommand) {
      status = inspectCandidates(image, model, *regions::parseCandidateMode(candidates));
    }
    return status.ok() ? 0 : failure(kCommandLine, status.message());
  });
}
