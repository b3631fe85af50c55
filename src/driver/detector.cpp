// The public face of the library (include/scenetext/scenetext.hpp): the run's own steps, with
// their Status values turned into scenetext::Error at this boundary and nowhere else.

#include "scenetext/scenetext.hpp"

#include <opencv2/imgproc.hpp>

#include <string>
#include <utility>

#include "common/image_limits.hpp"
#include "driver/run.hpp"

namespace scenetext {

struct Detector::Model {
  std::string path;
  Candidates candidates;
  classifier::StumpCascade cascade;
};

namespace {

regions::CandidateMode candidateMode(Candidates candidates) {
  return candidates == Candidates::kExtended ? regions::CandidateMode::kExtended
                                             : regions::CandidateMode::kExact;
}

// The image as the command would have decoded it: 8-bit BGR. A grey or BGRA file comes out of
// cv::imread(IMREAD_COLOR) with the grey value repeated or the alpha dropped, which is what these
// conversions do.
cv::Mat colourInput(const cv::Mat& image) {
  if (image.empty()) throw Error("cannot detect text in an empty image");
  if (image.dims != 2 || image.depth() != CV_8U ||
      (image.channels() != 1 && image.channels() != 3 && image.channels() != 4)) {
    throw Error("cannot detect text in a " + cv::typeToString(image.type()) + " image of " +
                std::to_string(image.dims) +
                " dimensions: it must be 8-bit, 2-dimensional, with 1, 3 or 4 channels");
  }
  if (Status size = checkPixelLimit({image.cols, image.rows}); !size.ok()) {
    throw Error("cannot detect text in the image: " + size.message());
  }
  cv::Mat colour;
  if (image.channels() == 1) {
    cv::cvtColor(image, colour, cv::COLOR_GRAY2BGR);
  } else if (image.channels() == 4) {
    cv::cvtColor(image, colour, cv::COLOR_BGRA2BGR);
  } else {
    // The input preparation copies the pixels into an image of its own, so the caller's are only
    // read, a view's through its row stride.
    colour = image;
  }
  return colour;
}

}  // namespace

Detector::Detector(std::shared_ptr<const Model> model) : model_(std::move(model)) {}

Detector Detector::load(const std::string& modelPath, Candidates candidates) {
  Result<classifier::StumpCascade> cascade = driver::loadModel(modelPath);
  if (!cascade.ok()) throw Error(cascade.status().message());
  return Detector(
      std::make_shared<const Model>(Model{modelPath, candidates, std::move(cascade).value()}));
}

std::vector<TextLine> Detector::detect(const cv::Mat& image) const {
  const driver::WorkingInput input = driver::prepareWorkingInput(colourInput(image));
  const driver::Detection detection =
      driver::detectText(input.working, model_->cascade, {}, candidateMode(model_->candidates));
  std::vector<TextLine> lines;
  for (const io::InputLine& line : driver::inputLines(detection, input.factor)) {
    std::vector<WordBox> words;
    for (const Box& word : line.words) {
      words.push_back({word.left, word.top, word.right, word.bottom});
    }
    lines.push_back({line.box.left, line.box.top, line.box.right, line.box.bottom, line.score,
                     std::move(words)});
  }
  return lines;
}

Candidates Detector::candidates() const { return model_->candidates; }

const std::string& Detector::modelPath() const { return model_->path; }

cv::Mat readImage(const std::string& path) {
  Result<cv::Mat> image = driver::loadColourImage(path);
  if (!image.ok()) throw Error(image.status().message());
  return std::move(image).value();
}

}  // namespace scenetext
