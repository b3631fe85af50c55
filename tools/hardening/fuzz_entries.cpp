#include "hardening/fuzz_entries.hpp"

#include <opencv2/core.hpp>

#include <array>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "classifier/stump_cascade.hpp"
#include "common/image_limits.hpp"
#include "driver/result_output.hpp"
#include "driver/run.hpp"
#include "eval/box_files.hpp"
#include "eval/scoring.hpp"
#include "io/box_files.hpp"
#include "io/image_input.hpp"
#include "regions/candidate_modes.hpp"

namespace scenetext::hardening {
namespace {

// A broken invariant is the fuzzer's finding: say which and stop the process, the one way
// libFuzzer and a plain test runner both notice.
[[noreturn]] void fail(const std::string& what) {
  std::fprintf(stderr, "invariant broken: %s\n", what.c_str());
  std::fflush(stderr);
  std::abort();
}

void check(bool holds, const std::string& what) {
  if (!holds) fail(what);
}

// --- model files

// Equal bits, but any NaN equals any NaN of the same sign: the writer keeps a NaN's sign, not
// its payload.
bool sameReal(float a, float b) {
  if (std::isnan(a) || std::isnan(b)) {
    return std::isnan(a) && std::isnan(b) && std::signbit(a) == std::signbit(b);
  }
  return std::bit_cast<uint32_t>(a) == std::bit_cast<uint32_t>(b);
}

bool sameRecord(const classifier::StumpRecord& a, const classifier::StumpRecord& b) {
  return a.featureIndex == b.featureIndex && a.polarity == b.polarity &&
         sameReal(a.reserved, b.reserved) && sameReal(a.threshold, b.threshold) &&
         sameReal(a.weight, b.weight) && sameReal(a.extra, b.extra);
}

void checkRoundTrip(const classifier::StumpCascade& model) {
  const std::string text = classifier::formatStumpCascade(model);
  classifier::StumpCascade again;
  const Status status = classifier::parseStumpCascade(text, "formatted", again);
  check(status.ok(), "a formatted model does not load: " + status.message());
  check(again.size() == model.size(), "a formatted model loads with another stage count");
  for (size_t k = 0; k < model.size(); ++k) {
    check(again[k].size() == model[k].size(), "stage " + std::to_string(k + 1) + " changes length");
    for (size_t j = 0; j < model[k].size(); ++j) {
      check(sameRecord(again[k][j], model[k][j]), "stage " + std::to_string(k + 1) + " record " +
                                                      std::to_string(j + 1) +
                                                      " does not load back as written");
    }
  }
}

// Feature vectors to evaluate a loaded model on: zeros, and a mix of ordinary values, extremes,
// infinities and NaN.
void checkEvaluation(const classifier::StumpCascade& model) {
  std::array<float, classifier::kFeatureCount> zeros{};
  std::array<float, classifier::kFeatureCount> mixed{};
  const std::array<float, 7> values{0.5f,
                                    -3.0f,
                                    std::numeric_limits<float>::infinity(),
                                    -std::numeric_limits<float>::max(),
                                    std::numeric_limits<float>::quiet_NaN(),
                                    std::numeric_limits<float>::denorm_min(),
                                    1e30f};
  for (size_t i = 0; i < mixed.size(); ++i) mixed[i] = values[i % values.size()];
  for (const auto* features : {&zeros, &mixed}) {
    const int answer = classifier::evaluateStumpCascade(std::span<const float>(*features), model);
    check(answer == 1 || answer == -1, "the cascade answers " + std::to_string(answer));
  }
}

// --- box files

void checkScore(const evaluation::ImageScore& score, size_t words, size_t detections,
                const char* protocol) {
  const std::string where = std::string(protocol) + ": ";
  check(score.wordOutcomes.size() == words, where + "one outcome per word");
  check(score.detectionOutcomes.size() == detections, where + "one outcome per detection");
  const evaluation::Tally& tally = score.tally;
  check(tally.words >= 0 && tally.words <= static_cast<int64_t>(words), where + "word count");
  check(tally.detections >= 0 && tally.detections <= static_cast<int64_t>(detections),
        where + "detection count");
  // The sums are of 1s and 0.8s; a little slack covers their rounding.
  const double slack = 1e-9 * static_cast<double>(words + detections + 1);
  check(tally.recallSum >= 0 && tally.recallSum <= static_cast<double>(tally.words) + slack,
        where + "recall sum " + std::to_string(tally.recallSum));
  check(tally.precisionSum >= 0 &&
            tally.precisionSum <= static_cast<double>(tally.detections) + slack,
        where + "precision sum " + std::to_string(tally.precisionSum));
  const evaluation::Scores scores = evaluation::scoresOf(tally);
  for (double value : {scores.precision, scores.recall, scores.f}) {
    check(value >= 0.0 && value <= 1.0 + 1e-12,
          where + "a score outside 0..1: " + std::to_string(value));
  }
}

// --- images

// Two stages over gradient, projection and orientation features, so that some candidates of
// ordinary images pass and some do not, and both paths of the band classification run.
constexpr std::string_view kFixedModel =
    "stage 1\n"
    "1, 22, 1, 0.05, 1, 0\n"
    "2, 31, -1, 0.6, 0.5, 0\n"
    "3, 47, 1, 0.1, 0.25, 0\n"
    "@, -0.5\n"
    "stage 2\n"
    "1, 120, 1, 0.02, 1, 0\n"
    "@, -1\n"
    "#\n";

const classifier::StumpCascade& fixedModel() {
  static const classifier::StumpCascade model = [] {
    classifier::StumpCascade parsed;
    const Status status = classifier::parseStumpCascade(kFixedModel, "fixed model", parsed);
    if (!status.ok()) fail(status.message());
    return parsed;
  }();
  return model;
}

// OpenCV 4.6's Radiance decoder leaks its FILE on every file it fails to decode: one descriptor
// per damaged file, harmless to a run of one image (a batch loses one per damaged HDR file), but
// millions of mutated files would exhaust the descriptors and stop the fuzzer. So Radiance files,
// known by the decoder's own signatures, go no further than the header check here.
bool isRadiance(std::string_view bytes) {
  return bytes.starts_with("#?RGBE") || bytes.starts_with("#?RADIANCE");
}

// Decodes as the run does; an empty Mat for bytes refused or not decodable.
cv::Mat decodeImage(std::string_view bytes) {
  if (!checkImageHeader(bytes, kFuzzImagePixels).ok() || isRadiance(bytes)) return {};
  const std::optional<ImageDimensions> declared = declaredImageDimensions(bytes);
  if (bytes.size() > static_cast<size_t>(std::numeric_limits<int>::max())) return {};
  cv::Mat image;
  try {
    image = io::decodeColourImage(bytes);
  } catch (const cv::Exception&) {
    return {};  // the decoder's refusal, which the command reports as an image library error
  }
  if (image.empty()) return {};
  if (declared) {
    check(declared->width == image.cols && declared->height == image.rows,
          "the header declares " + std::to_string(declared->width) + "x" +
              std::to_string(declared->height) + ", the decoder made " +
              std::to_string(image.cols) + "x" + std::to_string(image.rows));
  }
  if (!checkPixelLimit({image.cols, image.rows}, kFuzzImagePixels).ok()) return {};
  return image;
}

void checkBoxesInside(const BoxList& boxes, const cv::Mat& working) {
  for (const Box& box : boxes) {
    check(box.left >= 0 && box.left <= box.right && box.right < working.cols && box.top >= 0 &&
              box.top <= box.bottom && box.bottom < working.rows,
          "box " + std::to_string(box.left) + "," + std::to_string(box.top) + "," +
              std::to_string(box.right) + "," + std::to_string(box.bottom) + " outside the " +
              std::to_string(working.cols) + "x" + std::to_string(working.rows) + " working image");
  }
}

}  // namespace

void fuzzModelFile(std::string_view bytes) {
  classifier::StumpCascade model;
  if (!classifier::parseStumpCascade(bytes, "model", model).ok()) {
    check(model.empty(), "a refused model leaves stages behind");
    return;
  }
  checkRoundTrip(model);
  checkEvaluation(model);
}

void fuzzBoxFiles(std::string_view bytes) {
  const size_t split = bytes.find('\0');
  const std::string_view truthText = bytes.substr(0, split);
  const std::string_view detectionText =
      split == std::string_view::npos ? std::string_view() : bytes.substr(split + 1);
  const auto truth = evaluation::parseGroundTruth(truthText, "gt");
  const auto detections = evaluation::parseDetections(detectionText, "det");
  if (!truth.ok() || !detections.ok()) return;
  checkScore(evaluation::scoreDetEval(*truth, *detections), truth->size(), detections->size(),
             "DetEval");
  checkScore(evaluation::scoreIoU(*truth, *detections), truth->size(), detections->size(), "IoU");
}

void fuzzImageHeader(std::string_view bytes) { decodeImage(bytes); }

void fuzzImageRun(std::string_view bytes) {
  // One image at a time: OpenCV's worker threads would only blur the coverage.
  static const bool singleThreaded = [] {
    cv::setNumThreads(0);
    return true;
  }();
  (void)singleThreaded;
  cv::Mat image = decodeImage(bytes);
  if (image.empty()) return;
  const driver::WorkingInput input = driver::prepareWorkingInput(image);
  for (regions::CandidateMode mode :
       {regions::CandidateMode::kExact, regions::CandidateMode::kExtended}) {
    const std::string where = std::string(regions::candidateModeName(mode)) + " candidates: ";
    const driver::Detection detection = driver::detectText(input.working, fixedModel(), {}, mode);
    check(detection.textMask.size() == input.working.size() && detection.textMask.type() == CV_8UC1,
          where + "the text mask does not match the working image");
    check(detection.boxMask.size() == input.working.size() && detection.boxMask.type() == CV_8UC1,
          where + "the box mask does not match the working image");
    checkBoxesInside(detection.boxes, input.working);
    const cv::Mat result = driver::renderResultImage(input.working, input.input, detection.boxMask);
    check(result.size() == image.size() && result.type() == image.type(),
          where + "the result image does not match the input");
    io::formatBoxList(detection.boxes, input.factor);
  }
}

const std::vector<FuzzTarget>& fuzzTargets() {
  static const std::vector<FuzzTarget> targets{
      {"model_file", fuzzModelFile},
      {"box_files", fuzzBoxFiles},
      {"image_header", fuzzImageHeader},
      {"image_run", fuzzImageRun},
  };
  return targets;
}

}  // namespace scenetext::hardening
