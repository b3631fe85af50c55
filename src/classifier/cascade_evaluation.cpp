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

// One stage's vote over features obtained through `feature(index)`, asked in stump order.
template <typename Feature>
int stageVote(std::span<const StumpRecord> stumps, const Feature& feature, float stageThreshold) {
  // Single precision on purpose: the sum is rounded after every vote.
  float sum = 0.0f;
  for (const StumpRecord& stump : stumps) {
    // Abstaining stumps read no feature, so a lazy caller computes nothing for them.
    if (stump.polarity != 1 && stump.polarity != -1) continue;
    // An ordered comparison: a NaN feature never fires.
    const bool fires = feature(stump.featureIndex) >= stump.threshold;
    // Adding the negated weight is the same rounding as subtracting it.
    if (stump.polarity == 1) {
      sum += fires ? stump.weight : -stump.weight;
    } else {
      sum += fires ? -stump.weight : stump.weight;
    }
  }
  // A NaN sum fails; a sum equal to the threshold passes.
  return sum >= stageThreshold ? 1 : -1;
}

template <typename Feature>
int cascadeDecision(const Feature& feature, size_t featureCount, const StumpCascade& cascade) {
  for (const CascadeStage& stage : cascade) {
    if (stage.empty()) continue;
    const std::span<const StumpRecord> stumps = std::span(stage).first(stage.size() - 1);
    requireFeatureIndices(stumps, featureCount);
    // The first failing stage decides: later stages are never looked at.
    if (stageVote(stumps, feature, stage.back().threshold) != 1) return -1;
  }
  return 1;
}

}  // namespace

int evaluateStage(std::span<const StumpRecord> stumps, const float* features, float stageThreshold) {
  return stageVote(stumps, [features](int index) { return features[index]; }, stageThreshold);
}

int evaluateStumpCascade(std::span<const float> features, const StumpCascade& cascade) {
  return cascadeDecision([&features](int index) { return features[index]; }, features.size(),
                         cascade);
}

int evaluateStumpCascade(const std::function<float(int)>& feature, size_t featureCount,
                         const StumpCascade& cascade) {
  return cascadeDecision(feature, featureCount, cascade);
}

int evaluateStumpCascade(const cv::Mat& featureVector, const StumpCascade& cascade) {
  CV_Assert(featureVector.type() == CV_32FC1 && featureVector.rows == 1);
  return evaluateStumpCascade(
      std::span<const float>(featureVector.ptr<float>(0), static_cast<size_t>(featureVector.cols)),
      cascade);
}

}  // namespace scenetext::classifier
