#include "driver/run.hpp"

#include <filesystem>
#include <fstream>
#include <ostream>

#include "common/file_output.hpp"
#include "driver/input_preparation.hpp"
#include "driver/result_output.hpp"
#include "edges/edge_detection.hpp"
#include "io/image_input.hpp"
#include "regions/detection.hpp"

namespace scenetext::driver {

std::string baseName(const std::string& imageArgument) {
  size_t separator = imageArgument.find_last_of('\\');
  if (separator == std::string::npos) separator = imageArgument.find_last_of('/');
  return separator == std::string::npos ? imageArgument : imageArgument.substr(separator + 1);
}

OutputPaths outputPaths(const std::string& outputPrefix, const std::string& imageArgument) {
  OutputPaths paths;
  paths.image = outputPrefix + baseName(imageArgument);
  paths.boxList = paths.image + ".txt";
  return paths;
}

Result<classifier::StumpCascade> loadModel(const std::string& path) {
  classifier::StumpCascade model;
  Status status = classifier::loadStumpCascade(path, model);
  if (!status.ok()) return status;
  return model;
}

Result<cv::Mat> loadColourImage(const std::string& path) { return io::readColourImage(path); }

WorkingInput prepareWorkingInput(cv::Mat input) {
  WorkingInput result;
  result.input = std::move(input);
  cv::Mat prepared = prepareInputImage(result.input);
  result.factor = reductionFactor(prepared.cols, prepared.rows);
  result.working = reduceImage(prepared, result.factor);
  return result;
}

std::optional<regions::CandidateMode> modelCandidateMode(const std::string& path) {
  std::ifstream in(path);
  std::string header;
  if (!std::getline(in, header)) return std::nullopt;
  static constexpr std::string_view kKey = "candidates: ";
  const size_t at = header.find(kKey);
  if (at == std::string::npos) return std::nullopt;
  const size_t start = at + kKey.size();
  const size_t end = header.find_first_of(" \t\r,;)]", start);
  return regions::parseCandidateMode(
      std::string_view(header).substr(start, end == std::string::npos ? end : end - start));
}

std::string candidateModeMismatch(const std::string& modelPath, regions::CandidateMode mode) {
  const std::optional<regions::CandidateMode> named = modelCandidateMode(modelPath);
  if (!named || *named == mode) return {};
  return "model '" + modelPath + "' was trained for --candidates " +
         std::string(regions::candidateModeName(*named)) + "; running with --candidates " +
         std::string(regions::candidateModeName(mode));
}

Detection detectText(const cv::Mat& working, const classifier::StumpCascade& model,
                     const std::function<void()>& mark, regions::CandidateMode candidates) {
  const BandBoundaryList bands{0, working.rows};
  cv::Mat edges = edges::detectEdges(working, edges::kEdgeFraction);
  if (mark) mark();
  Detection detection;
  if (candidates == regions::CandidateMode::kExtended) {
    regions::detectTextRegionsExtended(detection.boxes, detection.textMask, detection.boxMask,
                                       working, edges, model, mark);
  } else {
    regions::detectTextRegions(detection.boxes, detection.textMask, detection.boxMask, working,
                               edges, bands, model, mark);
  }
  return detection;
}

Status writeResults(const OutputPaths& paths, const WorkingInput& input,
                    const Detection& detection) {
  cv::Mat annotated = renderResultImage(input.working, input.input, detection.boxMask);
  Result<std::string> encoded = encodeImageFor(paths.image, annotated);
  if (!encoded.ok()) return encoded.status();
  return writeFilesAtomically({{paths.image, std::move(encoded).value()},
                               {paths.boxList, formatBoxList(detection.boxes, input.factor)}});
}

namespace {

bool sameFile(const std::string& a, const std::string& b) {
  std::error_code error;
  return std::filesystem::equivalent(a, b, error) && !error;
}

}  // namespace

Result<OutputPaths> detectFile(const classifier::StumpCascade& model, const std::string& imagePath,
                               const std::string& outputPrefix, const std::function<void()>& mark,
                               regions::CandidateMode candidates) {
  Result<cv::Mat> image = loadColourImage(imagePath);
  if (!image.ok()) return image.status();
  const OutputPaths paths = outputPaths(outputPrefix, imagePath);
  if (sameFile(paths.image, imagePath)) {
    return Status::error("cannot write '" + paths.image + "': it is the input image");
  }
  if (Status writable = checkImageWriter(paths.image); !writable.ok()) return writable;
  const WorkingInput input = prepareWorkingInput(std::move(image).value());
  const Detection detection = detectText(input.working, model, mark, candidates);
  if (mark) mark();
  Status written = writeResults(paths, input, detection);
  if (!written.ok()) return written;
  return paths;
}

Status runSequence(const RunArguments& arguments, std::ostream& console) {
  Result<classifier::StumpCascade> model = loadModel(arguments.modelPath);
  if (!model.ok()) return model.status();
  auto mark = [&console] { console << '*' << std::flush; };
  mark();
  Result<OutputPaths> paths =
      detectFile(*model, arguments.imagePath, arguments.outputPrefix, mark, arguments.candidates);
  if (!paths.ok()) return paths.status();
  console << "   Done! Output To: \n" << paths->image << '\n' << paths->boxList << '\n' << std::flush;
  return {};
}

}  // namespace scenetext::driver
