// The orientation family's four window tests per pixel, two pixels per AVX2 register, each
// repeated over its four lanes; a failed test masks the value to +0.

#include "features/region_features_avx2.hpp"

#include <immintrin.h>

namespace scenetext::features {

void interleaveWindowsAvx2(float* out, const float* map, size_t stride, int rows, int cols,
                           const float* lower, const float* upper) {
  const __m128 lower4 = _mm_loadu_ps(lower), upper4 = _mm_loadu_ps(upper);
  const __m256 low = _mm256_set_m128(lower4, lower4), high = _mm256_set_m128(upper4, upper4);
  const __m256i firstTwo = _mm256_setr_epi32(0, 0, 0, 0, 1, 1, 1, 1);
  const __m256i lastTwo = _mm256_setr_epi32(2, 2, 2, 2, 3, 3, 3, 3);
  const auto masked = [&](__m256 v) {
    const __m256 inside =
        _mm256_and_ps(_mm256_cmp_ps(low, v, _CMP_LE_OQ), _mm256_cmp_ps(v, high, _CMP_LE_OQ));
    return _mm256_and_ps(inside, v);
  };
  for (int y = 0; y < rows; ++y) {
    const float* in = map + y * stride;
    int x = 0;
    for (; x + 4 <= cols; x += 4, out += 16) {
      const __m256 four = _mm256_castps128_ps256(_mm_loadu_ps(in + x));
      _mm256_storeu_ps(out, masked(_mm256_permutevar8x32_ps(four, firstTwo)));
      _mm256_storeu_ps(out + 8, masked(_mm256_permutevar8x32_ps(four, lastTwo)));
    }
    for (; x < cols; ++x, out += 4) {
      const __m128 v = _mm_set1_ps(in[x]);
      _mm_storeu_ps(out,
                    _mm_and_ps(_mm_and_ps(_mm_cmple_ps(lower4, v), _mm_cmple_ps(v, upper4)), v));
    }
  }
}

}  // namespace scenetext::features
