// The running counts of the edge thresholds, eight comparisons per AVX instruction.

#include "edges/edge_thresholds_avx2.hpp"

#include <immintrin.h>

namespace scenetext::edges {

int countBelowAvx2(const float* row, int cols, float lower, float bound, int* count) {
  const __m256 low = _mm256_set1_ps(lower), high = _mm256_set1_ps(bound);
  int c = 0;
  int inside = 0;
  for (; c + 8 <= cols; c += 8) {
    const __m256 v = _mm256_loadu_ps(row + c);
    const __m256 in =
        _mm256_and_ps(_mm256_cmp_ps(v, low, _CMP_GE_OQ), _mm256_cmp_ps(v, high, _CMP_LT_OQ));
    inside += __builtin_popcount(static_cast<unsigned>(_mm256_movemask_ps(in)));
  }
  *count += inside;
  return c;
}

}  // namespace scenetext::edges
