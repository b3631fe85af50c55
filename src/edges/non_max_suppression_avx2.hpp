#pragma once

// The AVX2 scan of labelLocalMaxima (non_max_suppression_avx2.cpp, built only with the x86-64
// kernels).

#include <cstddef>

namespace scenetext::edges {

// The end of the columns decided and how many of them were strong.
struct RowDecisions {
  int end;
  int strongCount;
};

// Columns from .. from + 8k - 1 of one interior row, k as large as keeps them below `to`: each is
// decided as labelLocalMaxima's plain loop decides it, labels[x] set to 1 where kept (and left
// alone elsewhere) and the strong ones' columns written to strongColumns in ascending order.
// gx, gy and magnitude point at the row's first column; the rows above and below lie `stride`
// floats before and after it, and columns from - 1 .. to are readable. Requires AVX2.
RowDecisions labelRowAvx2(const float* gx, const float* gy, const float* magnitude,
                          ptrdiff_t stride, int from, int to, double low, double high,
                          unsigned char* labels, int* strongColumns);

}  // namespace scenetext::edges
