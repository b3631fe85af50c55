// The four lanes of integrateLanes in one AVX register: each lane sees the same conversions and
// double additions as the plain loop, four at a time. Only intrinsics and plain pointers here: an
// inline function of a library header compiled in this file for AVX2 could be the copy the
// linker keeps for the whole program.

#include "features/integral_image_avx2.hpp"

#include <immintrin.h>

#include <cstddef>
#include <utility>

#include "features/integral_image.hpp"
#include "features/integral_row_groups.hpp"

namespace scenetext::features {
namespace {

// Four lanes of a 96-column map: the feature patches.
constexpr size_t kPatchStride = 96 * kIntegralLanes;

inline __m256d widen(const float* p) { return _mm256_cvtps_pd(_mm_loadu_ps(p)); }

// Rows integrated side by side, as in integrateStrided, but with the entries each row needs
// from its own row and the row above kept in registers: the entry above (r, x) is the one row
// r - 1 stored in the previous step, the one above and to the left is what row r took as its
// entry above in the previous step. Only the group's first row reads the completed row above it
// from memory. A FixedStride other than 0 is the row stride known at compile time (the patch's),
// which turns every row's address into an offset from one pointer.
template <int Rows, size_t FixedStride>
struct RowGroupAvx {
  const float* m;
  float* s;
  size_t runtimeStride;
  size_t stride() const { return FixedStride != 0 ? FixedStride : runtimeStride; }
  __m256d left[Rows];    // entry (r, x - 1) as stored, widened
  __m256d upLeft[Rows];  // entry (r - 1, x - 1)

  // Entry (r, x) for 0 <= x < cols. Called for the rows of a step in descending order, so that
  // left[r - 1] still holds entry (r - 1, x) of the previous step.
  template <int R, bool FirstColumn>
  inline void entry(int x) {
    const size_t at = R * stride() + static_cast<size_t>(x) * kIntegralLanes;
    const __m256d above = R == 0 ? widen(s + at - stride()) : left[R == 0 ? 0 : R - 1];
    __m256d sum;
    if constexpr (FirstColumn) {
      sum = _mm256_add_pd(above, widen(m + at));
    } else {
      const __m256d corner = _mm256_sub_pd(_mm256_add_pd(above, left[R]), upLeft[R]);
      sum = _mm256_add_pd(widen(m + at), corner);
    }
    const __m128 stored = _mm256_cvtpd_ps(sum);
    _mm_storeu_ps(s + at, stored);
    left[R] = _mm256_cvtps_pd(stored);
    upLeft[R] = above;
  }

  // Step t of the ramps, where some rows are at column 0, not started or finished.
  template <int R>
  inline void rampEntry(int t, int cols) {
    const int x = t - R;
    if (x == 0) entry<R, true>(0);
    if (x > 0 && x < cols) entry<R, false>(x);
  }
  template <int... R>
  inline void rampStep(int t, int cols, std::integer_sequence<int, R...>) {
    (rampEntry<Rows - 1 - R>(t, cols), ...);
  }
  // Step t of the steady part: every row at a column between 1 and cols - 1.
  template <int... R>
  inline void steadyStep(int t, std::integer_sequence<int, R...>) {
    (entry<Rows - 1 - R, false>(t - (Rows - 1 - R)), ...);
  }

  void run(int cols) {
    constexpr auto rows = std::make_integer_sequence<int, Rows>();
    const int steps = cols + Rows - 1;
    int t = 0;
    for (; t < (Rows < steps ? Rows : steps); ++t) rampStep(t, cols, rows);
    for (; t < cols; ++t) steadyStep(t, rows);
    for (; t < steps; ++t) rampStep(t, cols, rows);
  }
};

}  // namespace

void integrateLanesAvx2(const float* m, float* s, int rows, int cols) {
  const size_t stride = static_cast<size_t>(cols) * kIntegralLanes;
  __m128 acc = _mm_loadu_ps(m);
  _mm_storeu_ps(s, acc);
  for (int x = 1; x < cols; ++x) {
    acc = _mm256_cvtpd_ps(_mm256_add_pd(_mm256_cvtps_pd(acc), widen(m + x * kIntegralLanes)));
    _mm_storeu_ps(s + x * kIntegralLanes, acc);
  }
  forRowGroups(rows, [&]<int Rows>(int y0) {
    const size_t at = static_cast<size_t>(y0) * stride;
    if (stride == kPatchStride) {
      RowGroupAvx<Rows, kPatchStride>{m + at, s + at, stride, {}, {}}.run(cols);
    } else {
      RowGroupAvx<Rows, 0>{m + at, s + at, stride, {}, {}}.run(cols);
    }
  });
}

}  // namespace scenetext::features
