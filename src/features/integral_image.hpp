#pragma once

// The inclusive integral image of single-precision maps, for the stripe contrasts:
//   S[0][0] = M[0][0], S[0][x] = S[0][x-1] + M[0][x], S[y][0] = S[y-1][0] + M[y][0],
//   S[y][x] = M[y][x] + ((S[y-1][x] + S[y][x-1]) - S[y-1][x-1]),
// every entry evaluated in double precision from the stored single-precision neighbours and
// stored in single precision before the next one uses it. Whatever the order in which the
// entries are computed here, each one sees exactly these operands and operations.

#include <cstddef>

namespace scenetext::features {

// One rows x cols map (rows, cols >= 1) at `map` with `mapRowStride` floats between rows, into
// `integral` with `integralRowStride` floats between rows; consecutive columns are adjacent.
void integrateMap(const float* map, size_t mapRowStride, float* integral, size_t integralRowStride,
                  int rows, int cols);

// Four maps side by side: entry (y, x) of map l at maps[(y * cols + x) * 4 + l], and its integral
// image at the same place of `integrals`. Each of the four equals integrateMap of its map; with
// AVX2 the four are computed in one vector register, otherwise one after the other.
inline constexpr int kIntegralLanes = 4;
void integrateLanes(const float* maps, float* integrals, int rows, int cols);

}  // namespace scenetext::features
