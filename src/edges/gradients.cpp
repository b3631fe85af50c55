#include "edges/gradients.hpp"

#include <opencv2/imgproc.hpp>

#include <array>
#include <cmath>
#include <numbers>
#include <vector>

#include "edges/correlation.hpp"
#include "edges/working_buffer.hpp"

namespace scenetext::edges {
namespace {

// The half-width is the largest d whose Gaussian tap (in single precision) still exceeds this; the
// search never looks past kMaxHalfWidth.
constexpr float kTapFloor = 0.0001f;
constexpr int kMaxHalfWidth = 30;

int gaussianHalfWidth() {
  int halfWidth = 1;
  for (int d = 1; d <= kMaxHalfWidth; ++d) {
    const float tap = static_cast<float>(std::exp(-(d * d) / 2.0));
    if (tap > kTapFloor) halfWidth = d;
  }
  return halfWidth;
}

// grey / 255.0 in double, stored in single precision, for each of the 256 grey values.
const std::array<float, 256>& intensityTable() {
  static const std::array<float, 256> table = [] {
    std::array<float, 256> values{};
    for (int v = 0; v < 256; ++v) values[v] = static_cast<float>(v / 255.0);
    return values;
  }();
  return table;
}

}  // namespace

cv::Mat makeGreyPlane(const cv::Mat& image, int width, int height) {
  CV_Assert(!image.empty() && image.depth() == CV_8U && width > 0 && height > 0);
  const cv::Size target(width, height);
  cv::Mat resized;
  if (image.size() == target) {
    resized = image;  // resampling onto the same size is a plain copy
  } else {
    cv::resize(image, resized, target, 0, 0, cv::INTER_LINEAR);
  }
  if (resized.channels() == 1) return resized.data == image.data ? resized.clone() : resized;
  cv::Mat grey;
  cv::cvtColor(resized, grey, cv::COLOR_BGR2GRAY);
  return grey;
}

GaussianKernels buildGaussianKernels() {
  const int h = gaussianHalfWidth();
  const int n = 2 * h + 1;
  const double pi = std::numbers::pi;
  GaussianKernels kernels;
  kernels.row.create(1, n, CV_32FC1);
  for (int j = -h; j <= h; ++j) {
    kernels.row.at<float>(0, j + h) = static_cast<float>(std::exp(-(j * j) / 2.0) / (2.0 * pi));
  }
  kernels.column = kernels.row.t();
  // Filled with the negated derivative and mirrored left to right: the mirror turns the tap at
  // column offset x into x exp(...) / pi, so a left-dark, right-bright step gives gx > 0.
  cv::Mat negated(n, n, CV_32FC1);
  for (int y = -h; y <= h; ++y) {
    for (int x = -h; x <= h; ++x) {
      const double tap = -x * std::exp(-(x * x + y * y) / 2.0) / pi;
      negated.at<float>(y + h, x + h) = static_cast<float>(tap);
    }
  }
  cv::flip(negated, kernels.kx, 1);
  kernels.ky = kernels.kx.t();
  return kernels;
}

GradientMaps computeGradients(const cv::Mat& grey) {
  CV_Assert(grey.type() == CV_8UC1 && !grey.empty());
  // The kernels are fixed (sigma is not a parameter), so they are built once.
  static const GaussianKernels kernels = buildGaussianKernels();
  const std::array<float, 256>& intensity = intensityTable();

  // The intensity and its row-smoothed copy are temporaries (megabytes on a photo).
  thread_local std::vector<float> intensityStorage, smoothedStorage;
  cv::Mat f = workingBuffer(intensityStorage, grey.size(), CV_32FC1);
  cv::Mat rowSmoothed = workingBuffer(smoothedStorage, grey.size(), CV_32FC1);
  for (int r = 0; r < grey.rows; ++r) {
    const uchar* in = grey.ptr<uchar>(r);
    float* out = f.ptr<float>(r);
    for (int c = 0; c < grey.cols; ++c) out[c] = intensity[in[c]];
  }
  correlate(f, rowSmoothed, kernels.row);
  correlate(rowSmoothed, f, kernels.column);

  GradientMaps maps;
  correlatePair(f, kernels.kx, kernels.ky, maps.gx, maps.gy);
  // sqrt(gx^2 + gy^2), each step rounded to single precision: what squaring with cv::pow, adding
  // with cv::add and taking cv::pow(., 0.5) give, in one pass instead of four. Square roots are
  // correctly rounded, in cv::sqrt as in std::sqrt (this file is built without errno for the
  // square root, so the loop runs on whole vectors).
  maps.magnitude.create(f.size(), CV_32FC1);
  for (int r = 0; r < f.rows; ++r) {
    const float* x = maps.gx.ptr<float>(r);
    const float* y = maps.gy.ptr<float>(r);
    float* m = maps.magnitude.ptr<float>(r);
    for (int c = 0; c < f.cols; ++c) m[c] = std::sqrt(x[c] * x[c] + y[c] * y[c]);
  }
  return maps;
}

}  // namespace scenetext::edges
