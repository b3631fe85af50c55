#pragma once

// The AVX2 loop of the correlation (correlation_avx2.cpp, built only with the x86-64 kernels).

#include <cstddef>

namespace scenetext::edges {

// Rows 0 .. rows - 1 of an output from a source extended beyond its border (rowStep floats
// between rows, and at least 16 readable floats after each row's last column): output (y, x) is
// the chain of fused multiply-adds weights[t] * row(y)[x + offsets[t]] over t = 0 .. taps - 1 in
// this order, from +0, with row(y) = source + y * rowStep; stored at out + y * outStep + x.
// Requires AVX2 and FMA.
void correlateRowsAvx2(const float* source, ptrdiff_t rowStep, const ptrdiff_t* offsets,
                       const float* weights, int taps, int rows, int cols, float* out,
                       ptrdiff_t outStep);

}  // namespace scenetext::edges
