#pragma once

// Correlation of a single-precision plane with a small kernel, centred on the output pixel, with
// the edge pixels repeated beyond the border: the values cv::filter2D gives for it (CV_32F in and
// out, anchor (-1, -1), delta 0, BORDER_REPLICATE), bit for bit.
//
// OpenCV forms each output as a chain of fused multiply-adds over the kernel's non-zero taps in
// row-major order when it runs its AVX2 code. Where this process's OpenCV does so (checked once,
// on probe images, against cv::filter2D itself), the correlation runs its own AVX2 loop, with one
// padded copy of the source for two kernels and without the library's per-call set-up; anywhere
// else it calls cv::filter2D.

#include <opencv2/core.hpp>

namespace scenetext::edges {

// dst = src correlated with kernel. src: CV_32FC1, non-empty; kernel: CV_32FC1 with odd sides.
// dst is (re)allocated unless it already has src's size and type; it may be src itself.
void correlate(const cv::Mat& src, cv::Mat& dst, const cv::Mat& kernel);

// Both correlations of one source, as two calls of correlate give them.
void correlatePair(const cv::Mat& src, const cv::Mat& kernel1, const cv::Mat& kernel2,
                   cv::Mat& dst1, cv::Mat& dst2);

// Whether this process uses its own loop rather than cv::filter2D (for the benchmarks and tests).
bool ownCorrelationInUse();

}  // namespace scenetext::edges
