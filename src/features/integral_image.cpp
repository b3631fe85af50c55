#include "features/integral_image.hpp"

#include <algorithm>
#include <utility>

#include "common/instruction_sets.hpp"
#include "features/integral_image_avx2.hpp"
#include "features/integral_row_groups.hpp"

namespace scenetext::features {
namespace {

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

}  // namespace

void integrateMap(const float* map, size_t mapRowStride, float* integral, size_t integralRowStride,
                  int rows, int cols) {
  integrateStrided<1>(map, mapRowStride, integral, integralRowStride, rows, cols);
}

void integrateLanes(const float* maps, float* integrals, int rows, int cols) {
#ifdef SCENETEXT_X86_SIMD
  if (haveAvx2()) return integrateLanesAvx2(maps, integrals, rows, cols);
#endif
  const size_t stride = static_cast<size_t>(cols) * kIntegralLanes;
  for (int lane = 0; lane < kIntegralLanes; ++lane) {
    integrateStrided<kIntegralLanes>(maps + lane, stride, integrals + lane, stride, rows, cols);
  }
}

}  // namespace scenetext::features
