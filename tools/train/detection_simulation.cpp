#include "train/detection_simulation.hpp"

#include "regions/final_regions.hpp"

namespace scenetext::training {
namespace {

constexpr uchar kPainted = 255;  // what the band classification paints for an accepted candidate

}  // namespace

std::vector<int> stagesPassed(const ImageSamples& samples,
                              const classifier::StumpCascade& cascade) {
  std::vector<int> passed(samples.size(), 0);
  for (size_t k = 0; k < samples.size(); ++k) {
    const std::span<const float> features = samples.featuresOf(k);
    int stages = 0;
    // A one-stage cascade per step: the evaluator decides each stage on its own.
    while (stages < static_cast<int>(cascade.size()) &&
           classifier::evaluateStumpCascade(features, {cascade[static_cast<size_t>(stages)]}) ==
               1) {
      ++stages;
    }
    passed[k] = stages;
  }
  return passed;
}

std::vector<Box> simulateDetections(const ImageSamples& samples,
                                    const std::vector<bool>& accepted) {
  const CandidateFeatures& candidates = samples.candidates;
  cv::Mat textMask = cv::Mat::zeros(candidates.height, candidates.width, CV_8UC1);
  for (size_t k = 0; k < candidates.rects.size(); ++k) {
    if (accepted[k]) textMask(candidates.rects[k]).setTo(kPainted);
  }
  BoxList boxes;
  regions::textMaskRegions(textMask, boxes);
  // The box list scales each coordinate by the factor and nothing more.
  std::vector<Box> detections;
  const int f = candidates.factor;
  for (const Box& box : boxes) {
    detections.push_back({box.left * f, box.top * f, box.right * f, box.bottom * f});
  }
  return detections;
}

std::vector<evaluation::Tally> scorePrefixes(std::span<const ImageSamples* const> images,
                                             const classifier::StumpCascade& cascade) {
  std::vector<evaluation::Tally> tallies(cascade.size() + 1);
  for (const ImageSamples* image : images) {
    const std::vector<int> passed = stagesPassed(*image, cascade);
    for (size_t prefix = 0; prefix <= cascade.size(); ++prefix) {
      std::vector<bool> accepted(passed.size());
      for (size_t k = 0; k < passed.size(); ++k)
        accepted[k] = passed[k] >= static_cast<int>(prefix);
      tallies[prefix] +=
          evaluation::scoreDetEval(image->words, simulateDetections(*image, accepted)).tally;
    }
  }
  return tallies;
}

}  // namespace scenetext::training
