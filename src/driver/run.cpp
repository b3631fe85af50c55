#include "driver/run.hpp"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <ostream>

#include "common/file_output.hpp"
#include "driver/input_preparation.hpp"
#include "driver/json_output.hpp"
#include "driver/result_output.hpp"
#include "edges/edge_detection.hpp"
#include "io/image_input.hpp"
#include "regions/final_regions.hpp"
#include "regions/text_lines.hpp"
#include "regions/word_boxes.hpp"

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
  paths.json = paths.image + ".json";
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
                     const StepObserver& observer, regions::CandidateMode candidates) {
  auto stepDone = [&observer] {
    if (observer) observer();
  };
  // The run's single band covers the whole WorkingImage, so the candidates of the band driver
  // (regions::detectTextRegions with the bounds {0, rows}) are those of the whole image.
  const cv::Mat edges = edges::detectEdges(working, edges::kEdgeFraction);
  stepDone();
  const std::vector<cv::Rect> rectangles = regions::candidateRectangles(working, edges, candidates);
  stepDone();
  const std::vector<regions::ScoredCandidate> accepted =
      regions::acceptedCandidates(working, rectangles, model);
  Detection detection;
  detection.textMask = regions::paintTextMask(working.size(), accepted);
  stepDone();
  regions::TextLines lines = regions::textLines(detection.textMask, accepted);
  detection.boxes = std::move(lines.boxes);
  detection.scores = std::move(lines.scores);
  // Words only read the edges, so the lines and every line output stay as they were.
  detection.words = regions::lineWords(edges, detection.boxes);
  detection.boxMask = regions::fillBoxMask(detection.boxes, working.rows, working.cols);
  stepDone();
  return detection;
}

namespace {

// Rounded once, so that the box list's six decimals, the JSON and --min-score agree on the same
// number; the smallest score stays above 0.
double shownScore(double score) {
  constexpr double kScale = 1e6;
  return std::max(std::round(score * kScale), 1.0) / kScale;
}

}  // namespace

Detection keepLinesScoring(Detection detection, double minScore) {
  if (minScore <= 0.0) return detection;
  BoxList boxes;
  std::vector<double> scores;
  std::vector<BoxList> words;
  for (size_t i = 0; i < detection.boxes.size(); ++i) {
    if (shownScore(detection.scores[i]) < minScore) continue;
    boxes.push_back(detection.boxes[i]);
    scores.push_back(detection.scores[i]);
    if (i < detection.words.size()) words.push_back(detection.words[i]);
  }
  detection.boxMask = regions::fillBoxMask(boxes, detection.boxMask.rows, detection.boxMask.cols);
  detection.boxes = std::move(boxes);
  detection.scores = std::move(scores);
  detection.words = std::move(words);
  return detection;
}

std::vector<io::InputLine> inputLines(const Detection& detection, int factor) {
  std::vector<io::InputLine> lines;
  lines.reserve(detection.boxes.size());
  for (size_t i = 0; i < detection.boxes.size(); ++i) {
    auto scaled = [factor](const Box& box) {
      return Box{box.left * factor, box.top * factor, box.right * factor, box.bottom * factor};
    };
    BoxList words;
    if (i < detection.words.size()) {
      for (const Box& word : detection.words[i]) words.push_back(scaled(word));
    }
    lines.push_back(
        {scaled(detection.boxes[i]), shownScore(detection.scores[i]), std::move(words)});
  }
  return lines;
}

Status writeResults(const OutputPaths& paths, const WorkingInput& input, const Detection& detection,
                    const ExtraOutputs& extras, const ImageReport& report) {
  cv::Mat annotated = renderResultImage(input.working, input.input, detection.boxMask);
  Result<std::string> encoded = encodeImageFor(paths.image, annotated);
  if (!encoded.ok()) return encoded.status();
  std::vector<FileContent> files{{paths.image, std::move(encoded).value()}};
  std::string boxList;
  if (extras.words) {
    boxList = io::formatWordBoxList(inputLines(detection, input.factor), extras.scores);
  } else {
    boxList = extras.scores ? io::formatScoredBoxList(inputLines(detection, input.factor))
                            : io::formatBoxList(detection.boxes, input.factor);
  }
  files.push_back({paths.boxList, std::move(boxList)});
  if (extras.json) files.push_back({paths.json, formatJsonReport(report) + "\n"});
  return writeFilesAtomically(files);
}

namespace {

bool sameFile(const std::string& a, const std::string& b) {
  std::error_code error;
  return std::filesystem::equivalent(a, b, error) && !error;
}

}  // namespace

Result<FileDetection> detectFile(const classifier::StumpCascade& model,
                                 const std::string& imagePath, const std::string& outputPrefix,
                                 const StepObserver& observer, regions::CandidateMode candidates,
                                 const ExtraOutputs& extras) {
  Result<cv::Mat> image = loadColourImage(imagePath);
  if (!image.ok()) return image.status();
  const OutputPaths paths = outputPaths(outputPrefix, imagePath);
  if (sameFile(paths.image, imagePath)) {
    return Status::error("cannot write '" + paths.image + "': it is the input image");
  }
  if (Status writable = checkImageWriter(paths.image); !writable.ok()) return writable;
  const WorkingInput input = prepareWorkingInput(std::move(image).value());
  const Detection detection =
      keepLinesScoring(detectText(input.working, model, observer, candidates), extras.minScore);
  FileDetection result{paths,
                       {imagePath, input.input.cols, input.input.rows, candidates, extras.modelPath,
                        inputLines(detection, input.factor)}};
  Status written = writeResults(paths, input, detection, extras, result.report);
  if (!written.ok()) return written;
  return result;
}

Status runSequence(const RunArguments& arguments, std::ostream& console) {
  Result<classifier::StumpCascade> model = loadModel(arguments.modelPath);
  if (!model.ok()) return model.status();
  auto mark = [&console] { console << '*' << std::flush; };
  mark();
  Result<FileDetection> done = detectFile(*model, arguments.imagePath, arguments.outputPrefix, mark,
                                          arguments.candidates, arguments.extras);
  if (!done.ok()) return done.status();
  const OutputPaths& paths = done->paths;
  console << "   Done! Output To: \n" << paths.image << '\n' << paths.boxList << '\n';
  if (arguments.extras.json) console << paths.json << '\n';
  console << std::flush;
  return {};
}

}  // namespace scenetext::driver
