// labelLocalMaxima eight pixels at a time: the same sector tests, quotient, interpolations (in
// double, four at a time) and comparisons as the plain loop, each pixel in its own lane. Lanes of
// pixels that are not candidates compute meaningless values that are masked out. Only intrinsics
// and plain pointers here: an inline function of a library header compiled in this file for AVX2
// could be the copy the linker keeps for the whole program.

#include "edges/non_max_suppression_avx2.hpp"

#include <immintrin.h>

namespace scenetext::edges {
namespace {

constexpr int kOctet = 8;

// Eight lanes of a double comparison v > threshold of the floats `v` (promoted), as a float mask.
__m256 greaterInDouble(__m256 v, double threshold) {
  const __m256d t = _mm256_set1_pd(threshold);
  const __m256d low = _mm256_cmp_pd(_mm256_cvtps_pd(_mm256_castps256_ps128(v)), t, _CMP_GT_OQ);
  const __m256d high = _mm256_cmp_pd(_mm256_cvtps_pd(_mm256_extractf128_ps(v, 1)), t, _CMP_GT_OQ);
  return _mm256_set_m128(_mm256_cvtpd_ps(high), _mm256_cvtpd_ps(low));  // all-ones stays NaN-ones
}

// d * diagonal + (1 - d) * straight in double, rounded to single precision, lane by lane.
__m128 interpolateHalf(__m256d d, __m128 diagonal, __m128 straight) {
  const __m256d one = _mm256_set1_pd(1.0);
  return _mm256_cvtpd_ps(
      _mm256_add_pd(_mm256_mul_pd(d, _mm256_cvtps_pd(diagonal)),
                    _mm256_mul_pd(_mm256_sub_pd(one, d), _mm256_cvtps_pd(straight))));
}

__m256 interpolate(__m256d dLow, __m256d dHigh, __m256 diagonal, __m256 straight) {
  return _mm256_set_m128(
      interpolateHalf(dHigh, _mm256_extractf128_ps(diagonal, 1),
                      _mm256_extractf128_ps(straight, 1)),
      interpolateHalf(dLow, _mm256_castps256_ps128(diagonal), _mm256_castps256_ps128(straight)));
}

// The sector masks of eight gradients, the tests exactly as the plain loop writes them.
struct Sectors {
  __m256 s1, s2, s3, s4;
};

Sectors sectorsOf(__m256 fx, __m256 fy) {
  const __m256 zero = _mm256_setzero_ps();
  const __m256 minusFy = _mm256_xor_ps(fy, _mm256_set1_ps(-0.0f));
  return {
      _mm256_or_ps(_mm256_and_ps(_mm256_cmp_ps(fy, zero, _CMP_LE_OQ),
                                 _mm256_cmp_ps(fx, minusFy, _CMP_GT_OQ)),
                   _mm256_and_ps(_mm256_cmp_ps(fy, zero, _CMP_GE_OQ),
                                 _mm256_cmp_ps(fx, minusFy, _CMP_LT_OQ))),
      _mm256_or_ps(_mm256_and_ps(_mm256_cmp_ps(fx, zero, _CMP_GT_OQ),
                                 _mm256_cmp_ps(fx, minusFy, _CMP_LE_OQ)),
                   _mm256_and_ps(_mm256_cmp_ps(fx, zero, _CMP_LT_OQ),
                                 _mm256_cmp_ps(fx, minusFy, _CMP_GE_OQ))),
      _mm256_or_ps(
          _mm256_and_ps(_mm256_cmp_ps(fx, zero, _CMP_LE_OQ), _mm256_cmp_ps(fy, fx, _CMP_LT_OQ)),
          _mm256_and_ps(_mm256_cmp_ps(fx, zero, _CMP_GE_OQ), _mm256_cmp_ps(fy, fx, _CMP_GT_OQ))),
      _mm256_or_ps(
          _mm256_and_ps(_mm256_cmp_ps(fy, zero, _CMP_LT_OQ), _mm256_cmp_ps(fy, fx, _CMP_GE_OQ)),
          _mm256_and_ps(_mm256_cmp_ps(fy, zero, _CMP_GT_OQ), _mm256_cmp_ps(fy, fx, _CMP_LE_OQ))),
  };
}

// Bits 0-7: which of the eight pixels are kept, and which of those are also strong.
struct OctetDecision {
  int kept;
  int strong;
};

OctetDecision decideOctet(const float* gxAt, const float* gyAt, const float* m, ptrdiff_t stride,
                          double low, double high) {
  const __m256 here = _mm256_loadu_ps(m);
  const __m256 aboveLow = greaterInDouble(here, low);
  if (_mm256_movemask_ps(aboveLow) == 0) return {0, 0};
  const __m256 fx = _mm256_loadu_ps(gxAt);
  const __m256 fy = _mm256_loadu_ps(gyAt);
  const Sectors s = sectorsOf(fx, fy);
  // The tests exclude each other, so the masks pick each lane's one sector.
  const __m256 gyOverGx = _mm256_or_ps(s.s1, s.s4);
  const __m256 quotient =
      _mm256_div_ps(_mm256_blendv_ps(fx, fy, gyOverGx), _mm256_blendv_ps(fy, fx, gyOverGx));
  const __m256 d = _mm256_andnot_ps(_mm256_set1_ps(-0.0f), quotient);
  const __m256d dLow = _mm256_cvtps_pd(_mm256_castps256_ps128(d));
  const __m256d dHigh = _mm256_cvtps_pd(_mm256_extractf128_ps(d, 1));
  const float* up = m - stride;
  const float* down = m + stride;
  const __m256 northEast = _mm256_loadu_ps(up + 1), north = _mm256_loadu_ps(up);
  const __m256 northWest = _mm256_loadu_ps(up - 1), west = _mm256_loadu_ps(m - 1);
  const __m256 east = _mm256_loadu_ps(m + 1), southWest = _mm256_loadu_ps(down - 1);
  const __m256 south = _mm256_loadu_ps(down), southEast = _mm256_loadu_ps(down + 1);
  // Sectors 1 and 2 mix towards the north-east, 3 and 4 towards the north-west; the straight
  // neighbour is east (1), north (2, 3) or west (4); the second neighbours lie opposite.
  const __m256 towardsEast = _mm256_or_ps(s.s1, s.s2);
  const __m256 diagonal = _mm256_blendv_ps(northWest, northEast, towardsEast);
  const __m256 straight = _mm256_blendv_ps(_mm256_blendv_ps(north, west, s.s4), east, s.s1);
  const __m256 oppositeDiagonal = _mm256_blendv_ps(southEast, southWest, towardsEast);
  const __m256 oppositeStraight = _mm256_blendv_ps(_mm256_blendv_ps(south, east, s.s4), west, s.s1);
  const __m256 m1 = interpolate(dLow, dHigh, diagonal, straight);
  const __m256 m2 = interpolate(dLow, dHigh, oppositeDiagonal, oppositeStraight);
  const __m256 inSector = _mm256_or_ps(_mm256_or_ps(s.s1, s.s2), _mm256_or_ps(s.s3, s.s4));
  const __m256 kept = _mm256_and_ps(
      _mm256_and_ps(aboveLow, inSector),
      _mm256_and_ps(_mm256_cmp_ps(here, m1, _CMP_GE_OQ), _mm256_cmp_ps(here, m2, _CMP_GE_OQ)));
  const int keptBits = _mm256_movemask_ps(kept);
  return {keptBits, keptBits & _mm256_movemask_ps(greaterInDouble(here, high))};
}

}  // namespace

RowDecisions labelRowAvx2(const float* gx, const float* gy, const float* magnitude,
                          ptrdiff_t stride, int from, int to, double low, double high,
                          unsigned char* labels, int* strongColumns) {
  int x = from;
  int strongCount = 0;
  for (; x + kOctet <= to; x += kOctet) {
    const OctetDecision q = decideOctet(gx + x, gy + x, magnitude + x, stride, low, high);
    for (int bits = q.kept; bits != 0; bits &= bits - 1) {
      const int k = __builtin_ctz(bits);
      labels[x + k] = 1;
      if ((q.strong >> k) & 1) strongColumns[strongCount++] = x + k;
    }
  }
  return {x, strongCount};
}

}  // namespace scenetext::edges
