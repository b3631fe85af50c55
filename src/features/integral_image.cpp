#include "features/integral_image.hpp"

#include <immintrin.h>

#include <algorithm>
#include <utility>

#include "common/instruction_sets.hpp"

namespace scenetext::features {
namespace {

// Within a row every entry waits for its left neighbour (a chain of conversions, three additions
// and a rounding), but the rows of a group are independent once the row above is complete. So a
// group runs its rows side by side, row y0 + r at column t - r in step t, each one column behind
// the row above it, and the processor overlaps their chains.
constexpr int kRowGroup = 8;

// Runs `entry(r, x)` for the rows y0 .. y0 + Rows - 1 in that order of steps. `steady(r, x)` does
// the same for an entry known to lie at a column between 1 and cols - 1.
template <int Rows, typename Entry, typename Steady>
void skewedRows(int cols, const Entry& entry, const Steady& steady) {
  const int steps = cols + Rows - 1;
  int t = 0;
  // Until step Rows - 1 some row is still at column 0 or not yet started.
  for (; t < std::min(Rows, steps); ++t) {
    for (int r = 0; r < Rows; ++r) {
      if (t - r >= 0 && t - r < cols) entry(r, t - r);
    }
  }
  for (; t < cols; ++t) {
#pragma GCC unroll 8
    for (int r = 0; r < Rows; ++r) steady(r, t - r);
  }
  for (; t < steps; ++t) {
    for (int r = 0; r < Rows; ++r) {
      if (t - r >= 0 && t - r < cols) entry(r, t - r);
    }
  }
}

// Calls group<R>(y0) for row groups of kRowGroup rows from row 1, and one smaller group for the
// rows left over (7 of the 47 below row 0 of a 48-row map).
template <typename Group>
void forRowGroups(int rows, const Group& group) {
  int y0 = 1;
  for (; y0 + kRowGroup <= rows; y0 += kRowGroup) group.template operator()<kRowGroup>(y0);
  switch (rows - y0) {
    case 0:
      break;
    case 1:
      group.template operator()<1>(y0);
      break;
    case 2:
      group.template operator()<2>(y0);
      break;
    case 3:
      group.template operator()<3>(y0);
      break;
    case 4:
      group.template operator()<4>(y0);
      break;
    case 5:
      group.template operator()<5>(y0);
      break;
    case 6:
      group.template operator()<6>(y0);
      break;
    default:
      group.template operator()<7>(y0);
      break;
  }
}

// One map whose consecutive columns lie Step floats apart (1 for a map of its own, 4 for one lane
// of interleaved maps), in the integral image likewise.
template <int Step>
void integrateStrided(const float* m, size_t mStride, float* s, size_t sStride, int rows,
                      int cols) {
  s[0] = m[0];
  for (int x = 1; x < cols; ++x) {
    s[x * Step] = static_cast<float>(static_cast<double>(s[(x - 1) * Step]) + m[x * Step]);
  }
  forRowGroups(rows, [&]<int Rows>(int y0) {
    const float* in[Rows];
    float* out[Rows];
    const float* up[Rows];
    float left[Rows] = {};
    for (int r = 0; r < Rows; ++r) {
      in[r] = m + (y0 + r) * mStride;
      out[r] = s + (y0 + r) * sStride;
      up[r] = out[r] - sStride;
    }
    const auto steady = [&](int r, int x) {
      left[r] = static_cast<float>(
          static_cast<double>(in[r][x * Step]) +
          ((static_cast<double>(up[r][x * Step]) + left[r]) - up[r][(x - 1) * Step]));
      out[r][x * Step] = left[r];
    };
    const auto entry = [&](int r, int x) {
      if (x == 0) {
        left[r] = static_cast<float>(static_cast<double>(up[r][0]) + in[r][0]);
        out[r][0] = left[r];
      } else {
        steady(r, x);
      }
    };
    skewedRows<Rows>(cols, entry, steady);
  });
}

// The four lanes in one AVX register: each lane sees the same conversions and double additions
// as integrateStrided, four at a time. Everything from here to the matching pop is compiled for
// AVX, so the row kernels below inline into one another: a kernel called across the target
// boundary would be an out-of-line call per entry.
SCENETEXT_BEGIN_AVX

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
    for (; t < std::min(Rows, steps); ++t) rampStep(t, cols, rows);
    for (; t < cols; ++t) steadyStep(t, rows);
    for (; t < steps; ++t) rampStep(t, cols, rows);
  }
};

void integrateLanesAvx(const float* m, float* s, int rows, int cols) {
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

SCENETEXT_END_TARGET


}  // namespace

void integrateMap(const float* map, size_t mapRowStride, float* integral, size_t integralRowStride,
                  int rows, int cols) {
  integrateStrided<1>(map, mapRowStride, integral, integralRowStride, rows, cols);
}

void integrateLanes(const float* maps, float* integrals, int rows, int cols) {
  if (haveAvx()) return integrateLanesAvx(maps, integrals, rows, cols);
  const size_t stride = static_cast<size_t>(cols) * kIntegralLanes;
  for (int lane = 0; lane < kIntegralLanes; ++lane) {
    integrateStrided<kIntegralLanes>(maps + lane, stride, integrals + lane, stride, rows, cols);
  }
}

}  // namespace scenetext::features
