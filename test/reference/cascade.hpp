#pragma once

// A literal reading of the stump-cascade evaluation, over the classifier's plain record types
// (the records are data only; nothing of the classifier's evaluation is used here).

#include <opencv2/core.hpp>

#include <vector>

#include "classifier/stump_cascade.hpp"

namespace scenetext::reference {

// +1 when the single-precision vote sum of `stumps` on `features` (1 x N CV_32FC1) is at least
// `stageThreshold`, else -1.
int evaluateStage(const std::vector<classifier::StumpRecord>& stumps, const cv::Mat& features,
                  float stageThreshold);

// +1 when every stage passes (an empty cascade passes), -1 at the first failing stage.
int evaluateStumpCascade(const cv::Mat& features, const classifier::StumpCascade& cascade);

}  // namespace scenetext::reference
