#pragma once

// The AVX2 kernel of sobelOrientations (orientation_maps_avx2.cpp, built only with the x86-64
// kernels).

namespace scenetext::features {

// The folded orientations of four pairs of whole-number derivatives (|dx|, |dy| <= 1020) into
// out[0 .. 3], 0 where both are 0; `arctangents` holds atan(k / 16) for k = 0 .. 16. Returns a
// mask of the lanes (bit l for lane l) whose value is not sure to be the library's: those must
// be computed again with atan2. Requires AVX2.
int fourOrientationsAvx2(const int* dx, const int* dy, const double* arctangents, float* out);

}  // namespace scenetext::features
