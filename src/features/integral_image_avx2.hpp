#pragma once

// The AVX2 kernel of integrateLanes (integral_image_avx2.cpp, built only with the x86-64
// kernels).

namespace scenetext::features {

// integrateLanes(maps, integrals, rows, cols), the four lanes in one register. Requires AVX2.
void integrateLanesAvx2(const float* maps, float* integrals, int rows, int cols);

}  // namespace scenetext::features
