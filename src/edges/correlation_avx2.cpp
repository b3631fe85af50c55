// The correlation's chains of fused multiply-adds, eight outputs per AVX2 register. Only
// intrinsics and plain pointers here: an inline function of a library header compiled in this
// file for AVX2 could be the copy the linker keeps for the whole program.

#include "edges/correlation_avx2.hpp"

#include <immintrin.h>

#include <cstring>

namespace scenetext::edges {
namespace {

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

}  // namespace

void correlateRowsAvx2(const float* source, ptrdiff_t rowStep, const ptrdiff_t* offsets,
                       const float* weights, int taps, int rows, int cols, float* out,
                       ptrdiff_t outStep) {
  int y = 0;
  // Two rows at once: twice the independent chains.
  for (; y + 2 <= rows; y += 2) {
    correlateRows<2>(source + y * rowStep, rowStep, offsets, weights, taps, cols, out + y * outStep,
                     outStep);
  }
  if (y < rows) {
    correlateRows<1>(source + y * rowStep, rowStep, offsets, weights, taps, cols, out + y * outStep,
                     outStep);
  }
}

}  // namespace scenetext::edges
