#pragma once

// A literal reading of the input preparation, the size reduction and the detection run from the
// WorkingImage to the final boxes.

#include <opencv2/core.hpp>

#include "classifier/stump_cascade.hpp"
#include "reference/regions.hpp"

namespace scenetext::reference {

// The input copied into a width rounded up to a multiple of 4; added columns take the colour of
// pixel (w - 1, h / 2).
cv::Mat prepareInputImage(const cv::Mat& image);

// 4 when a side exceeds 3200, else 2 when a side exceeds 1600, else 1.
int reductionFactor(int width, int height);

struct WorkingInput {
  cv::Mat working;
  int factor = 1;
};

// Padding, then reduction by the factor of the padded size.
WorkingInput prepareWorkingInput(const cv::Mat& input);

struct Detection {
  FlatBoxList boxes;
  cv::Mat textMask;
  cv::Mat boxMask;
};

// EdgeMap of the WorkingImage, then the detection driver with the one band {0, H}.
Detection detectText(const cv::Mat& working, const classifier::StumpCascade& model);

}  // namespace scenetext::reference
