#include "edges/correlation.hpp"

#include <algorithm>
#include <cstring>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "common/instruction_sets.hpp"
#include "edges/correlation_avx2.hpp"

namespace scenetext::edges {
namespace {

void libraryCorrelate(const cv::Mat& src, cv::Mat& dst, const cv::Mat& kernel) {
  cv::filter2D(src, dst, CV_32F, kernel, cv::Point(-1, -1), 0, cv::BORDER_REPLICATE);
}

void checkArguments(const cv::Mat& src, const cv::Mat& kernel) {
  CV_Assert(src.type() == CV_32FC1 && !src.empty());
  CV_Assert(kernel.type() == CV_32FC1 && kernel.rows % 2 == 1 && kernel.cols % 2 == 1);
}

#ifdef SCENETEXT_X86_SIMD

// The own loop: the source padded once per strip of rows for both kernels, then the AVX2 chains.

// A non-zero kernel tap: OpenCV skips the zero ones.
struct Tap {
  int row;
  int column;
  float weight;
};

// The non-zero taps in row-major order: the order of every output's chain.
std::vector<Tap> tapsOf(const cv::Mat& kernel) {
  std::vector<Tap> taps;
  for (int r = 0; r < kernel.rows; ++r) {
    for (int c = 0; c < kernel.cols; ++c) {
      const float w = kernel.at<float>(r, c);
      if (w != 0.0f) taps.push_back({r, c, w});
    }
  }
  return taps;
}

// Whole vectors read up to this many floats past a padded row's last column.
constexpr int kSlack = 16;

// Rows first .. last - 1 of the source extended by the kernel's reach on every side, edge pixels
// repeated (rows above row 0 are row 0, rows below the last row the last row, and so for
// columns), with zeroed slack after each row.
struct PaddedSource {
  std::vector<float> storage;
  int stride = 0;
  int first = 0;
  const float* row(int r) const {
    return storage.data() + static_cast<ptrdiff_t>(r - first) * stride;
  }
};

void padRows(const cv::Mat& src, int left, int right, int first, int last, PaddedSource& padded) {
  padded.stride = left + src.cols + right + kSlack;
  padded.first = first;
  const size_t size = static_cast<size_t>(padded.stride) * (last - first);
  if (padded.storage.size() < size) padded.storage.resize(size);
  for (int r = first; r < last; ++r) {
    const float* in = src.ptr<float>(std::clamp(r, 0, src.rows - 1));
    float* out = padded.storage.data() + static_cast<size_t>(r - first) * padded.stride;
    std::fill(out, out + left, in[0]);
    std::memcpy(out + left, in, sizeof(float) * src.cols);
    std::fill(out + left + src.cols, out + left + src.cols + right, in[src.cols - 1]);
    std::fill(out + left + src.cols + right, out + padded.stride, 0.0f);
  }
}

// Rows y0 .. y1 - 1 of dst = the padded source correlated with the taps of a kernel centred on
// the output pixel; `padded` holds the source rows they read, extended beyond the border.
void correlateTaps(const PaddedSource& padded, int cols, const std::vector<Tap>& taps,
                   int kernelRows, cv::Mat& dst, int y0, int y1) {
  const int anchorY = kernelRows / 2;
  const int count = static_cast<int>(taps.size());
  // Offsets of the taps from the padded row of the output row.
  thread_local std::vector<ptrdiff_t> offsets;
  thread_local std::vector<float> weights;
  offsets.resize(taps.size());
  weights.resize(taps.size());
  for (int t = 0; t < count; ++t) {
    weights[t] = taps[t].weight;
    offsets[t] = static_cast<ptrdiff_t>(taps[t].row - anchorY) * padded.stride + taps[t].column;
  }
  correlateRowsAvx2(padded.row(y0), padded.stride, offsets.data(), weights.data(), count, y1 - y0,
                    cols, dst.ptr<float>(y0), static_cast<ptrdiff_t>(dst.step1()));
}

// Output rows per strip of a large plane: the padded copy holds a strip's source rows only.
constexpr int kStripRows = 64;

void ownCorrelatePair(const cv::Mat& src, const cv::Mat& kernel1, const cv::Mat* kernel2,
                      cv::Mat& dst1, cv::Mat* dst2) {
  dst1.create(src.size(), CV_32FC1);
  if (kernel2) dst2->create(src.size(), CV_32FC1);
  const std::vector<Tap> taps1 = tapsOf(kernel1);
  const std::vector<Tap> taps2 = kernel2 ? tapsOf(*kernel2) : std::vector<Tap>{};
  // A result written over its own source needs the whole source copied before any row of it.
  const bool inPlace = dst1.data == src.data || (kernel2 && dst2->data == src.data);
  const int strip = inPlace ? src.rows : kStripRows;
  const int anchorX = kernel1.cols / 2, anchorY = kernel1.rows / 2;
  thread_local PaddedSource padded;
  for (int y0 = 0; y0 < src.rows; y0 += strip) {
    const int y1 = std::min(src.rows, y0 + strip);
    padRows(src, anchorX, kernel1.cols - 1 - anchorX, y0 - anchorY, y1 + kernel1.rows - 1 - anchorY,
            padded);
    correlateTaps(padded, src.cols, taps1, kernel1.rows, dst1, y0, y1);
    if (kernel2) correlateTaps(padded, src.cols, taps2, kernel2->rows, *dst2, y0, y1);
  }
}

// Whether the own loop gives cv::filter2D's values on this machine: random planes of widths
// with and without a remainder of whole vectors, with dense kernels (where a plain multiply and
// add would round differently somewhere) and kernels with zero taps of the gradient kernels' sizes.
bool ownLoopMatchesLibrary() {
  cv::RNG rng(20260);
  const cv::Size sizes[] = {{96, 48}, {37, 23}, {13, 9}, {1, 1}, {3, 11}, {64, 5}};
  const cv::Size kernelSizes[] = {{9, 9}, {9, 1}, {1, 9}, {3, 5}};
  for (const cv::Size size : sizes) {
    cv::Mat src(size, CV_32FC1);
    rng.fill(src, cv::RNG::UNIFORM, 0.0, 1.0);
    for (const cv::Size kernelSize : kernelSizes) {
      cv::Mat kernel(kernelSize, CV_32FC1);
      rng.fill(kernel, cv::RNG::UNIFORM, -0.2, 0.2);
      cv::Mat sparse = kernel.clone();
      sparse.col(sparse.cols / 2).setTo(0.0f);
      cv::Mat own1, own2, library1, library2;
      ownCorrelatePair(src, kernel, &sparse, own1, &own2);
      libraryCorrelate(src, library1, kernel);
      libraryCorrelate(src, library2, sparse);
      const size_t bytes = src.total() * sizeof(float);
      if (std::memcmp(own1.data, library1.data, bytes) != 0) return false;
      if (std::memcmp(own2.data, library2.data, bytes) != 0) return false;
    }
  }
  return true;
}

#endif  // SCENETEXT_X86_SIMD

}  // namespace

bool ownCorrelationInUse() {
#ifdef SCENETEXT_X86_SIMD
  static const bool use = haveAvx2Fma() && cv::checkHardwareSupport(CV_CPU_AVX2) &&
                          cv::checkHardwareSupport(CV_CPU_FMA3) && ownLoopMatchesLibrary();
  return use;
#else
  return false;
#endif
}

void correlate(const cv::Mat& src, cv::Mat& dst, const cv::Mat& kernel) {
  checkArguments(src, kernel);
#ifdef SCENETEXT_X86_SIMD
  if (ownCorrelationInUse()) return ownCorrelatePair(src, kernel, nullptr, dst, nullptr);
#endif
  libraryCorrelate(src, dst, kernel);
}

void correlatePair(const cv::Mat& src, const cv::Mat& kernel1, const cv::Mat& kernel2,
                   cv::Mat& dst1, cv::Mat& dst2) {
  checkArguments(src, kernel1);
  checkArguments(src, kernel2);
  CV_Assert(kernel1.size() == kernel2.size());
#ifdef SCENETEXT_X86_SIMD
  if (ownCorrelationInUse()) return ownCorrelatePair(src, kernel1, &kernel2, dst1, &dst2);
#endif
  libraryCorrelate(src, dst1, kernel1);
  libraryCorrelate(src, dst2, kernel2);
}

}  // namespace scenetext::edges
