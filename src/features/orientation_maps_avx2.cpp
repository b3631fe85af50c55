// The Sobel orientations four at a time with AVX2, by an approximation of atan2 that knows when
// its single-precision rounding is sure.

#include "features/orientation_maps_avx2.hpp"

#include <immintrin.h>

#include <numbers>

namespace scenetext::features {
namespace {

constexpr double kPi = std::numbers::pi;

// Far more than the approximation's error, far less than the spacing of single-precision
// numbers near any orientation of whole-number derivatives (atan2 of at least 1/1020 in size).
constexpr double kMidpointMargin = 1e-12;

}  // namespace

// The orientation of four pairs of whole-number derivatives at once, without branches.
// atan2(y, x) is approximated within about 1e-15: the ratio t of the smaller magnitude to the
// larger lies within 1/32 of some k / 16, so atan t = atan(k / 16) + atan r with
// r = (t - k / 16) / (1 + t k / 16), |r| <= 1/32, whose odd series to r^11 leaves out less than
// 1e-20; each rounding adds a few 1e-16 at most. Then the octant: pi / 2 - a above the diagonal,
// pi - a for x < 0, the sign of y. The library's atan2 (within half a unit of the last double
// place) rounds to the same single-precision value unless the approximation lies within the
// margin of a rounding boundary, which shows as a - margin and a + margin rounding apart; such
// a lane, rare, is left to the library. Lanes whose derivatives are both 0 give 0.
int fourOrientationsAvx2(const int* dx, const int* dy, const double* arctangents, float* out) {
  const __m128i ix = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dx));
  const __m128i iy = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dy));
  const __m256d x = _mm256_cvtepi32_pd(ix), y = _mm256_cvtepi32_pd(iy);
  const __m256d zero = _mm256_setzero_pd(), one = _mm256_set1_pd(1.0);
  const __m256d sign = _mm256_set1_pd(-0.0);
  const __m256d ax = _mm256_andnot_pd(sign, x), ay = _mm256_andnot_pd(sign, y);
  const __m256d steep = _mm256_cmp_pd(ay, ax, _CMP_GT_OQ);
  const __m256d both0 =
      _mm256_and_pd(_mm256_cmp_pd(x, zero, _CMP_EQ_OQ), _mm256_cmp_pd(y, zero, _CMP_EQ_OQ));
  const __m256d larger = _mm256_blendv_pd(_mm256_blendv_pd(ax, ay, steep), one, both0);
  const __m256d t = _mm256_div_pd(_mm256_blendv_pd(ay, ax, steep), larger);
  const __m256d k =
      _mm256_floor_pd(_mm256_add_pd(_mm256_mul_pd(t, _mm256_set1_pd(16.0)), _mm256_set1_pd(0.5)));
  const __m256d c = _mm256_mul_pd(k, _mm256_set1_pd(1.0 / 16));
  const __m256d r = _mm256_div_pd(_mm256_sub_pd(t, c), _mm256_add_pd(one, _mm256_mul_pd(t, c)));
  const __m256d r2 = _mm256_mul_pd(r, r);
  const auto term = [&](double coefficient, __m256d rest) {
    return _mm256_add_pd(_mm256_set1_pd(coefficient), _mm256_mul_pd(r2, rest));
  };
  const __m256d last =
      _mm256_sub_pd(_mm256_set1_pd(1.0 / 9), _mm256_div_pd(r2, _mm256_set1_pd(11.0)));
  const __m256d series =
      _mm256_mul_pd(r, term(1.0, term(-1.0 / 3, term(1.0 / 5, term(-1.0 / 7, last)))));
  const __m256d base =
      _mm256_mask_i32gather_pd(zero, arctangents, _mm256_cvttpd_epi32(k),
                               _mm256_castsi256_pd(_mm256_set1_epi64x(-1)), sizeof(double));
  __m256d a = _mm256_add_pd(base, series);
  a = _mm256_blendv_pd(a, _mm256_sub_pd(_mm256_set1_pd(kPi / 2), a), steep);
  a = _mm256_blendv_pd(a, _mm256_sub_pd(_mm256_set1_pd(kPi), a),
                       _mm256_cmp_pd(x, zero, _CMP_LT_OQ));
  a = _mm256_blendv_pd(a, _mm256_xor_pd(a, sign), _mm256_cmp_pd(y, zero, _CMP_LT_OQ));
  const __m128 nearest = _mm256_cvtpd_ps(a);
  const __m256d margin = _mm256_set1_pd(kMidpointMargin);
  const __m128 sure = _mm_or_ps(
      _mm_cmpeq_ps(_mm256_cvtpd_ps(_mm256_sub_pd(a, margin)),
                   _mm256_cvtpd_ps(_mm256_add_pd(a, margin))),
      _mm256_cvtpd_ps(_mm256_cmp_pd(a, zero, _CMP_EQ_OQ)));  // atan2(0, x > 0) is exactly 0
  // The fold, in double as everywhere.
  const __m256d t2 = _mm256_cvtps_pd(nearest);
  __m256d folded = _mm256_blendv_pd(t2, _mm256_add_pd(t2, _mm256_set1_pd(kPi)),
                                    _mm256_cmp_pd(t2, _mm256_set1_pd(kPi / 2), _CMP_GT_OQ));
  folded = _mm256_blendv_pd(folded, _mm256_add_pd(t2, _mm256_set1_pd(3 * kPi)),
                            _mm256_cmp_pd(t2, _mm256_set1_pd(-kPi / 2), _CMP_LE_OQ));
  const __m128 zeroLanes = _mm256_cvtpd_ps(both0);
  _mm_storeu_ps(out, _mm_andnot_ps(zeroLanes, _mm256_cvtpd_ps(folded)));
  return ~_mm_movemask_ps(_mm_or_ps(sure, zeroLanes)) & 0xf;
}

}  // namespace scenetext::features
