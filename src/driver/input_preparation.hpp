#pragma once

// Input preparation: the padded PreparedImage and the size reduction that yields the WorkingImage.

#include <opencv2/core.hpp>

namespace scenetext::driver {

// Copies an 8-bit image of any channel count into a new one whose width is rounded up to a
// multiple of 4. Every added column of every row takes the colour of the input pixel at column
// w - 1 of row h / 2, the middle of the right edge. The height is unchanged.
cv::Mat prepareInputImage(const cv::Mat& image);

// 4 when either side exceeds 3200, else 2 when either side exceeds 1600, else 1 (strict tests).
int reductionFactor(int width, int height);

// The WorkingImage: `prepared` itself for factor 1, else a bilinear resize to (w / f, h / f),
// remainders dropped; the reduced width is not padded again. A side that would drop to zero keeps
// one pixel.
cv::Mat reduceImage(const cv::Mat& prepared, int factor);

}  // namespace scenetext::driver
