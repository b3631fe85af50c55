#pragma once

// The AVX2 count of the edge thresholds (edge_thresholds_avx2.cpp, built only with the x86-64
// kernels).

namespace scenetext::edges {

// Adds to *count how many values v of row[0 .. 8k - 1] have lower <= v < bound (NaN never
// counts), k as large as keeps 8k <= cols, and returns 8k. Requires AVX2.
int countBelowAvx2(const float* row, int cols, float lower, float bound, int* count);

}  // namespace scenetext::edges
