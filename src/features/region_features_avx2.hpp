#pragma once

// The AVX2 kernel of the orientation family's interleaving (region_features_avx2.cpp, built
// only with the x86-64 kernels).

#include <cstddef>

namespace scenetext::features {

// For every pixel of the rows x cols map (`stride` floats between rows), in row-major order, four
// floats at out: lane l is the value where lower[l] <= value <= upper[l] and +0 elsewhere.
// Requires AVX2.
void interleaveWindowsAvx2(float* out, const float* map, size_t stride, int rows, int cols,
                           const float* lower, const float* upper);

}  // namespace scenetext::features
