#include <algorithm>
#include <cmath>
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

// One stage's sum over features obtained through `feature(index)`, asked in stump order.
template <typename Feature>
float stageSum(std::span<const StumpRecord> stumps, const Feature& feature) {
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
  return sum;
}

// A NaN sum fails; a sum equal to the threshold passes.
bool passes(float sum, float stageThreshold) { return sum >= stageThreshold; }

template <typename Feature>
int stageVote(std::span<const StumpRecord> stumps, const Feature& feature, float stageThreshold) {
  return passes(stageSum(stumps, feature), stageThreshold) ? 1 : -1;
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

double stageClearance(std::span<const StumpRecord> stumps, float sum, float stageThreshold) {
  double top = 0.0;
  for (const StumpRecord& stump : stumps) {
    if (stump.polarity == 1 || stump.polarity == -1)
      top += std::abs(static_cast<double>(stump.weight));
  }
  const double room = top - stageThreshold;
  if (!(room > 0.0)) return 1.0;
  return std::clamp((static_cast<double>(sum) - stageThreshold) / room, 0.0, 1.0);
}

CascadeVerdict judgeStumpCascade(const std::function<float(int)>& feature, size_t featureCount,
                                 const StumpCascade& cascade) {
  CascadeVerdict verdict{1, 1.0};
  for (const CascadeStage& stage : cascade) {
    if (stage.empty()) continue;
    const std::span<const StumpRecord> stumps = std::span(stage).first(stage.size() - 1);
    requireFeatureIndices(stumps, featureCount);
    const float threshold = stage.back().threshold;
    const float sum = stageSum(stumps, feature);
    if (!passes(sum, threshold)) return {};
    verdict.clearance = std::min(verdict.clearance, stageClearance(stumps, sum, threshold));
  }
  return verdict;
}

int evaluateStage(std::span<const StumpRecord> stumps, const float* features,
                  float stageThreshold) {
  return stageVote(
      stumps, [features](int index) { return features[index]; }, stageThreshold);
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
