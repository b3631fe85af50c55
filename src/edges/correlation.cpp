#include "edges/correlation.hpp"

#include <immintrin.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "common/instruction_sets.hpp"

namespace scenetext::edges {
namespace {

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

SCENETEXT_BEGIN_AVX2_FMA

// Rows x Vectors x 8 outputs from column x of Rows consecutive rows (rowStep floats apart in
// the padded source and outStep in the output): each accumulator starts at +0 and takes one
// fused multiply-add per tap, in order. Tap t reads its source for output 0 of the first row at
// row + offsets[t]. The Rows x Vectors chains are independent, so the processor overlaps them
// (a multiply-add waits for the one before it in its chain).
template <int Rows, int Vectors>
inline void correlateBlock(const float* row, ptrdiff_t rowStep, const ptrdiff_t* offsets,
                           const float* weights, int taps, int x, float* out, ptrdiff_t outStep) {
  __m256 acc[Rows][Vectors];
  for (int r = 0; r < Rows; ++r)
    for (int v = 0; v < Vectors; ++v) acc[r][v] = _mm256_setzero_ps();
  const float* at = row + x;
  for (int t = 0; t < taps; ++t) {
    const __m256 weight = _mm256_broadcast_ss(weights + t);
    const float* in = at + offsets[t];
    for (int r = 0; r < Rows; ++r) {
      for (int v = 0; v < Vectors; ++v) {
        acc[r][v] = _mm256_fmadd_ps(_mm256_loadu_ps(in + r * rowStep + 8 * v), weight, acc[r][v]);
      }
    }
  }
  for (int r = 0; r < Rows; ++r)
    for (int v = 0; v < Vectors; ++v) _mm256_storeu_ps(out + r * outStep + 8 * v, acc[r][v]);
}

// Rows consecutive output rows from `row` on (all with the same tap offsets).
template <int Rows>
void correlateRows(const float* row, ptrdiff_t rowStep, const ptrdiff_t* offsets,
                   const float* weights, int taps, int cols, float* out, ptrdiff_t outStep) {
  // Six vectors: with two rows, twelve chains keep both multiply-add units busy.
  constexpr int kWide = 6;
  int x = 0;
  for (; x + 8 * kWide <= cols; x += 8 * kWide) {
    correlateBlock<Rows, kWide>(row, rowStep, offsets, weights, taps, x, out + x, outStep);
  }
  for (; x + 8 <= cols; x += 8) {
    correlateBlock<Rows, 1>(row, rowStep, offsets, weights, taps, x, out + x, outStep);
  }
  if (x < cols) {
    // The last columns as whole vectors into scratch (the padded rows have slack).
    alignas(32) float scratch[Rows * 8];
    correlateBlock<Rows, 1>(row, rowStep, offsets, weights, taps, x, scratch, 8);
    for (int r = 0; r < Rows; ++r) {
      std::memcpy(out + r * outStep + x, scratch + 8 * r, sizeof(float) * (cols - x));
    }
  }
}

// Rows y0 .. y1 - 1 of dst = the padded source correlated with the taps of a kernel centred on
// the output pixel; `padded` holds the source rows they read, extended beyond the border.
void correlateAvx2(const PaddedSource& padded, int cols, const std::vector<Tap>& taps,
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
  const ptrdiff_t outStep = static_cast<ptrdiff_t>(dst.step1());
  int y = y0;
  // Two rows at once: twice the independent chains.
  for (; y + 2 <= y1; y += 2) {
    correlateRows<2>(padded.row(y), padded.stride, offsets.data(), weights.data(), count, cols,
                     dst.ptr<float>(y), outStep);
  }
  if (y < y1) {
    correlateRows<1>(padded.row(y), padded.stride, offsets.data(), weights.data(), count, cols,
                     dst.ptr<float>(y), outStep);
  }
}

SCENETEXT_END_TARGET

void libraryCorrelate(const cv::Mat& src, cv::Mat& dst, const cv::Mat& kernel) {
  cv::filter2D(src, dst, CV_32F, kernel, cv::Point(-1, -1), 0, cv::BORDER_REPLICATE);
}

void checkArguments(const cv::Mat& src, const cv::Mat& kernel) {
  CV_Assert(src.type() == CV_32FC1 && !src.empty());
  CV_Assert(kernel.type() == CV_32FC1 && kernel.rows % 2 == 1 && kernel.cols % 2 == 1);
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
    padRows(src, anchorX, kernel1.cols - 1 - anchorX, y0 - anchorY,
            y1 + kernel1.rows - 1 - anchorY, padded);
    correlateAvx2(padded, src.cols, taps1, kernel1.rows, dst1, y0, y1);
    if (kernel2) correlateAvx2(padded, src.cols, taps2, kernel2->rows, *dst2, y0, y1);
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

}  // namespace

bool ownCorrelationInUse() {
  static const bool use = haveAvx2Fma() &&
                          cv::checkHardwareSupport(CV_CPU_AVX2) &&
                          cv::checkHardwareSupport(CV_CPU_FMA3) && ownLoopMatchesLibrary();
  return use;
}

void correlate(const cv::Mat& src, cv::Mat& dst, const cv::Mat& kernel) {
  checkArguments(src, kernel);
  if (!ownCorrelationInUse()) return libraryCorrelate(src, dst, kernel);
  ownCorrelatePair(src, kernel, nullptr, dst, nullptr);
}

void correlatePair(const cv::Mat& src, const cv::Mat& kernel1, const cv::Mat& kernel2,
                   cv::Mat& dst1, cv::Mat& dst2) {
  checkArguments(src, kernel1);
  checkArguments(src, kernel2);
  CV_Assert(kernel1.size() == kernel2.size());
  if (!ownCorrelationInUse()) {
    libraryCorrelate(src, dst1, kernel1);
    libraryCorrelate(src, dst2, kernel2);
    return;
  }
  ownCorrelatePair(src, kernel1, &kernel2, dst1, &dst2);
}

}  // namespace scenetext::edges
