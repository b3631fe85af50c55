#include <string>

#include "classifier/stump_cascade.hpp"

namespace scenetext::classifier {
namespace {

// evaluateStage reads the features unchecked; a stage that is reached is checked here first.
void requireFeatureIndices(std::span<const StumpRecord> stumps, size_t featureCount) {
  for (const StumpRecord& stump : stumps) {
    if (stump.featureIndex < 0 || static_cast<size_t>(stump.featureIndex) >= featureCount) {
      CV_Error(cv::Error::StsOutOfRange,
               "stump feature index " + std::to_string(stump.featureIndex) +
                   " is outside a feature vector of " + std::to_string(featureCount));
    }
  }
}

}  // namespace

int evaluateStage(std::span<const StumpRecord> stumps, const float* features, float stageThreshold) {
  // Single precision on purpose: the sum is rounded after every vote.
  float sum = 0.0f;
  for (const StumpRecord& stump : stumps) {
    // An ordered comparison: a NaN feature never fires.
    const bool fires = features[stump.featureIndex] >= stump.threshold;
    // Adding the negated weight is the same rounding as subtracting it.
    if (stump.polarity == 1) {
      sum += fires ? stump.weight : -stump.weight;
    } else if (stump.polarity == -1) {
      sum += fires ? -stump.weight : stump.weight;
    }  // any other polarity abstains
  }
  // A NaN sum fails; a sum equal to the threshold passes.
  return sum >= stageThreshold ? 1 : -1;
}

int evaluateStumpCascade(std::span<const float> features, const StumpCascade& cascade) {
  for (const CascadeStage& stage : cascade) {
    if (stage.empty()) continue;
    const std::span<const StumpRecord> stumps = std::span(stage).first(stage.size() - 1);
    requireFeatureIndices(stumps, features.size());
    // The first failing stage decides: later stages are never looked at.
    if (evaluateStage(stumps, features.data(), stage.back().threshold) != 1) return -1;
  }
  return 1;
}

int evaluateStumpCascade(const cv::Mat& featureVector, const StumpCascade& cascade) {
  CV_Assert(featureVector.type() == CV_32FC1 && featureVector.rows == 1);
  return evaluateStumpCascade(
      std::span<const float>(featureVector.ptr<float>(0), static_cast<size_t>(featureVector.cols)),
      cascade);
}

}  // namespace scenetext::classifier
