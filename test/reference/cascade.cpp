#include "reference/cascade.hpp"

namespace scenetext::reference {

int evaluateStage(const std::vector<classifier::StumpRecord>& stumps, const cv::Mat& features,
                  float stageThreshold) {
  float sum = 0.0f;
  for (const classifier::StumpRecord& stump : stumps) {
    const float v = features.at<float>(0, stump.featureIndex);
    const bool fires = v >= stump.threshold;  // false for a NaN feature
    if (stump.polarity == 1) {
      sum = fires ? sum + stump.weight : sum - stump.weight;
    } else if (stump.polarity == -1) {
      sum = fires ? sum - stump.weight : sum + stump.weight;
    }
  }
  return sum >= stageThreshold ? 1 : -1;
}

int evaluateStumpCascade(const cv::Mat& features, const classifier::StumpCascade& cascade) {
  if (cascade.empty()) return 1;
  for (const classifier::CascadeStage& stage : cascade) {
    if (stage.empty()) continue;  // no threshold record: nothing to test (never loaded)
    const float threshold = stage.back().threshold;
    const std::vector<classifier::StumpRecord> stumps(stage.begin(), stage.end() - 1);
    if (evaluateStage(stumps, features, threshold) == -1) return -1;
  }
  return 1;
}

}  // namespace scenetext::reference
