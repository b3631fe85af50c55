#include "edges/non_max_suppression.hpp"

#include <immintrin.h>

#include <cmath>
#include <type_traits>

#include "common/instruction_sets.hpp"

namespace scenetext::edges {
namespace {

// How one sector interpolates: the weight d is |gy/gx| or |gx/gy|, and the first neighbour
// magnitude mixes the diagonal and the straight neighbour at these offsets (d on the diagonal);
// the second neighbour lies at the opposite offsets.
struct SectorGeometry {
  bool weightIsGyOverGx;
  int diagonalDx;
  int diagonalDy;
  int straightDx;
  int straightDy;
};

constexpr SectorGeometry kSectors[4] = {
    {true, +1, -1, +1, 0},   // 1: east, mixed towards north-east
    {false, +1, -1, 0, -1},  // 2: north, mixed towards north-east
    {false, -1, -1, 0, -1},  // 3: north, mixed towards north-west
    {true, -1, -1, -1, 0},   // 4: west, mixed towards north-west
};

// The sector tests exactly as written on the single-precision values. The operands have no side
// effects, so the bitwise forms equal the logical ones; they spare the scan a branch per term on
// noisy gradients.
template <int Sector>
bool inSector(float gx, float gy) {
  if constexpr (Sector == 1) return ((gy <= 0) & (gx > -gy)) | ((gy >= 0) & (gx < -gy));
  if constexpr (Sector == 2) return ((gx > 0) & (gx <= -gy)) | ((gx < 0) & (gx >= -gy));
  if constexpr (Sector == 3) return ((gx <= 0) & (gy < gx)) | ((gx >= 0) & (gy > gx));
  if constexpr (Sector == 4) return ((gy < 0) & (gy >= gx)) | ((gy > 0) & (gy <= gx));
}

// d * diagonal + (1 - d) * straight in double, in this order, stored in single precision.
float interpolate(double d, float diagonal, float straight) {
  return static_cast<float>(d * diagonal + (1.0 - d) * straight);
}

// The magnitude rows around one scan row.
struct MagnitudeRows {
  const float* above;
  const float* here;
  const float* below;
  const float* at(int dy) const { return dy < 0 ? above : dy > 0 ? below : here; }
};

// Whether the candidate at column x of the scan row survives: its magnitude is not below either
// interpolated neighbour along the gradient. The sector test has already passed.
template <int Sector>
bool isLocalMaximum(const MagnitudeRows& rows, int x, float fx, float fy) {
  constexpr SectorGeometry g = kSectors[Sector - 1];
  // The quotient is rounded to single precision before its absolute value is taken.
  const float quotient = g.weightIsGyOverGx ? fy / fx : fx / fy;
  const double d = std::fabs(quotient);
  const float m1 = interpolate(d, rows.at(g.diagonalDy)[x + g.diagonalDx],
                               rows.at(g.straightDy)[x + g.straightDx]);
  const float m2 = interpolate(d, rows.at(-g.diagonalDy)[x - g.diagonalDx],
                               rows.at(-g.straightDy)[x - g.straightDx]);
  return rows.here[x] >= m1 && rows.here[x] >= m2;
}

template <int Sector>
void keepIfMaximum(std::vector<EdgePoint>& points, const MagnitudeRows& rows, int x, int y,
                   float fx, float fy) {
  if (inSector<Sector>(fx, fy) && isLocalMaximum<Sector>(rows, x, fx, fy)) points.push_back({x, y});
}

void checkMaps(const cv::Mat& gx, const cv::Mat& gy, const cv::Mat& magnitude) {
  CV_Assert(gx.type() == CV_32FC1 && gy.type() == CV_32FC1 && magnitude.type() == CV_32FC1);
  CV_Assert(gx.size() == gy.size() && gx.size() == magnitude.size());
}

// Candidates on the outer frame are dropped, so the scans cover the interior only; this also
// keeps every neighbour read inside the maps. `visit(rows, x, y, gx, gy)` sees every interior
// pixel in row-major order.
template <typename Visit>
void scanInterior(const cv::Mat& gx, const cv::Mat& gy, const cv::Mat& magnitude, Visit visit) {
  for (int y = 1; y < gx.rows - 1; ++y) {
    const float* gxRow = gx.ptr<float>(y);
    const float* gyRow = gy.ptr<float>(y);
    const MagnitudeRows rows{magnitude.ptr<float>(y - 1), magnitude.ptr<float>(y),
                             magnitude.ptr<float>(y + 1)};
    for (int x = 1; x < gx.cols - 1; ++x) visit(rows, x, y, gxRow[x], gyRow[x]);
  }
}

template <int Sector>
void scanSector(std::vector<EdgePoint>& points, const cv::Mat& gx, const cv::Mat& gy,
                const cv::Mat& magnitude) {
  scanInterior(gx, gy, magnitude, [&](const MagnitudeRows& rows, int x, int y, float fx, float fy) {
    keepIfMaximum<Sector>(points, rows, x, y, fx, fy);
  });
}

// The sector of a gradient, 1 to 4, or 0 for a zero gradient: the four tests exclude each other,
// so the first that holds is the only one.
int sectorOf(float fx, float fy) {
  return inSector<1>(fx, fy)   ? 1
         : inSector<2>(fx, fy) ? 2
         : inSector<3>(fx, fy) ? 3
         : inSector<4>(fx, fy) ? 4
                               : 0;
}

// isLocalMaximum<sector> for a sector known only at run time: the sector's geometry is read from
// the table instead of being compiled in, with the same quotient, interpolations and comparisons.
bool isLocalMaximumIn(int sector, const float* here, size_t stride, float fx, float fy) {
  const SectorGeometry& g = kSectors[sector - 1];
  const float quotient = g.weightIsGyOverGx ? fy / fx : fx / fy;
  const double d = std::fabs(quotient);
  const ptrdiff_t diagonal = g.diagonalDy * static_cast<ptrdiff_t>(stride) + g.diagonalDx;
  const ptrdiff_t straight = g.straightDy * static_cast<ptrdiff_t>(stride) + g.straightDx;
  const float m1 = interpolate(d, here[diagonal], here[straight]);
  const float m2 = interpolate(d, here[-diagonal], here[-straight]);
  return *here >= m1 && *here >= m2;
}

// Four neighbouring pixels at once with SSE: the same tests, quotient, interpolations (in
// double) and comparisons as sectorOf and isLocalMaximumIn, each pixel in its own lane. Lanes of
// pixels that are not candidates compute meaningless values that are masked out.
constexpr int kQuad = 4;

struct QuadDecision {
  int kept;    // bit k: pixel k is labelled
  int strong;  // bit k: pixel k is also above the high threshold
};

// Four lanes of a double comparison of the floats `v` (promoted) with `threshold`, as a float mask.
__m128 greaterInDouble(__m128 v, double threshold) {
  const __m128d t = _mm_set1_pd(threshold);
  const __m128d low = _mm_cmpgt_pd(_mm_cvtps_pd(v), t);
  const __m128d high = _mm_cmpgt_pd(_mm_cvtps_pd(_mm_movehl_ps(v, v)), t);
  return _mm_shuffle_ps(_mm_castpd_ps(low), _mm_castpd_ps(high), _MM_SHUFFLE(2, 0, 2, 0));
}

__m128 select(__m128 mask, __m128 ifTrue, __m128 ifFalse) {
  return _mm_or_ps(_mm_and_ps(mask, ifTrue), _mm_andnot_ps(mask, ifFalse));
}

// d * diagonal + (1 - d) * straight in double, rounded to single precision, lane by lane.
__m128 interpolateQuad(__m128d dLow, __m128d dHigh, __m128 diagonal, __m128 straight) {
  const __m128d one = _mm_set1_pd(1.0);
  const auto half = [&](__m128d d, __m128 diag, __m128 str) {
    return _mm_add_pd(_mm_mul_pd(d, _mm_cvtps_pd(diag)),
                      _mm_mul_pd(_mm_sub_pd(one, d), _mm_cvtps_pd(str)));
  };
  const __m128 low = _mm_cvtpd_ps(half(dLow, diagonal, straight));
  const __m128 high = _mm_cvtpd_ps(
      half(dHigh, _mm_movehl_ps(diagonal, diagonal), _mm_movehl_ps(straight, straight)));
  return _mm_movelh_ps(low, high);
}

QuadDecision decideQuad(const float* gxAt, const float* gyAt, const float* m, size_t stride,
                        double low, double high) {
  const __m128 here = _mm_loadu_ps(m);
  const __m128 aboveLow = greaterInDouble(here, low);
  if (_mm_movemask_ps(aboveLow) == 0) return {0, 0};
  const __m128 fx = _mm_loadu_ps(gxAt);
  const __m128 fy = _mm_loadu_ps(gyAt);
  const __m128 zero = _mm_setzero_ps();
  const __m128 sign = _mm_set1_ps(-0.0f);
  const __m128 minusFy = _mm_xor_ps(fy, sign);
  const __m128 s1 = _mm_or_ps(_mm_and_ps(_mm_cmple_ps(fy, zero), _mm_cmpgt_ps(fx, minusFy)),
                              _mm_and_ps(_mm_cmpge_ps(fy, zero), _mm_cmplt_ps(fx, minusFy)));
  const __m128 s2 = _mm_or_ps(_mm_and_ps(_mm_cmpgt_ps(fx, zero), _mm_cmple_ps(fx, minusFy)),
                              _mm_and_ps(_mm_cmplt_ps(fx, zero), _mm_cmpge_ps(fx, minusFy)));
  const __m128 s3 = _mm_or_ps(_mm_and_ps(_mm_cmple_ps(fx, zero), _mm_cmplt_ps(fy, fx)),
                              _mm_and_ps(_mm_cmpge_ps(fx, zero), _mm_cmpgt_ps(fy, fx)));
  const __m128 s4 = _mm_or_ps(_mm_and_ps(_mm_cmplt_ps(fy, zero), _mm_cmpge_ps(fy, fx)),
                              _mm_and_ps(_mm_cmpgt_ps(fy, zero), _mm_cmple_ps(fy, fx)));
  // The tests exclude each other, so the masks pick each lane's one sector.
  const __m128 gyOverGx = _mm_or_ps(s1, s4);
  const __m128 quotient = _mm_div_ps(select(gyOverGx, fy, fx), select(gyOverGx, fx, fy));
  const __m128 d = _mm_andnot_ps(sign, quotient);
  const __m128d dLow = _mm_cvtps_pd(d);
  const __m128d dHigh = _mm_cvtps_pd(_mm_movehl_ps(d, d));
  const float* up = m - stride;
  const float* down = m + stride;
  const __m128 northEast = _mm_loadu_ps(up + 1), north = _mm_loadu_ps(up);
  const __m128 northWest = _mm_loadu_ps(up - 1), west = _mm_loadu_ps(m - 1);
  const __m128 east = _mm_loadu_ps(m + 1), southWest = _mm_loadu_ps(down - 1);
  const __m128 south = _mm_loadu_ps(down), southEast = _mm_loadu_ps(down + 1);
  // Sectors 1 and 2 mix towards the north-east, 3 and 4 towards the north-west; the straight
  // neighbour is east (1), north (2, 3) or west (4); the second neighbours lie opposite.
  const __m128 towardsEast = _mm_or_ps(s1, s2);
  const __m128 diagonal = select(towardsEast, northEast, northWest);
  const __m128 straight = select(s1, east, select(s4, west, north));
  const __m128 oppositeDiagonal = select(towardsEast, southWest, southEast);
  const __m128 oppositeStraight = select(s1, west, select(s4, east, south));
  const __m128 m1 = interpolateQuad(dLow, dHigh, diagonal, straight);
  const __m128 m2 = interpolateQuad(dLow, dHigh, oppositeDiagonal, oppositeStraight);
  const __m128 inSector = _mm_or_ps(_mm_or_ps(s1, s2), _mm_or_ps(s3, s4));
  const __m128 kept = _mm_and_ps(_mm_and_ps(aboveLow, inSector),
                                 _mm_and_ps(_mm_cmpge_ps(here, m1), _mm_cmpge_ps(here, m2)));
  const int keptBits = _mm_movemask_ps(kept);
  return {keptBits, keptBits & _mm_movemask_ps(greaterInDouble(here, high))};
}

// decideQuad for eight neighbouring pixels with AVX2: the same operations lane by lane (the
// doubles four at a time). Bits 0-7 of kept and strong.
SCENETEXT_BEGIN_AVX2

constexpr int kOctet = 8;

__m256 greaterInDouble8(__m256 v, double threshold) {
  const __m256d t = _mm256_set1_pd(threshold);
  const __m256d low = _mm256_cmp_pd(_mm256_cvtps_pd(_mm256_castps256_ps128(v)), t, _CMP_GT_OQ);
  const __m256d high = _mm256_cmp_pd(_mm256_cvtps_pd(_mm256_extractf128_ps(v, 1)), t, _CMP_GT_OQ);
  return _mm256_set_m128(_mm256_cvtpd_ps(high), _mm256_cvtpd_ps(low));  // all-ones stays NaN-ones
}

__m256 interpolateOctet(__m256d dLow, __m256d dHigh, __m256 diagonal, __m256 straight) {
  const __m256d one = _mm256_set1_pd(1.0);
  const auto half = [&](__m256d d, __m128 diag, __m128 str) {
    return _mm256_cvtpd_ps(_mm256_add_pd(_mm256_mul_pd(d, _mm256_cvtps_pd(diag)),
                                         _mm256_mul_pd(_mm256_sub_pd(one, d), _mm256_cvtps_pd(str))));
  };
  return _mm256_set_m128(
      half(dHigh, _mm256_extractf128_ps(diagonal, 1), _mm256_extractf128_ps(straight, 1)),
      half(dLow, _mm256_castps256_ps128(diagonal), _mm256_castps256_ps128(straight)));
}

QuadDecision decideOctet(const float* gxAt, const float* gyAt, const float* m, size_t stride,
                         double low, double high) {
  const __m256 here = _mm256_loadu_ps(m);
  const __m256 aboveLow = greaterInDouble8(here, low);
  if (_mm256_movemask_ps(aboveLow) == 0) return {0, 0};
  const __m256 fx = _mm256_loadu_ps(gxAt);
  const __m256 fy = _mm256_loadu_ps(gyAt);
  const __m256 zero = _mm256_setzero_ps();
  const __m256 sign = _mm256_set1_ps(-0.0f);
  const __m256 minusFy = _mm256_xor_ps(fy, sign);
  const auto cmp = [](__m256 a, __m256 b, auto predicate) {
    return _mm256_cmp_ps(a, b, decltype(predicate)::value);
  };
  using LE = std::integral_constant<int, _CMP_LE_OQ>;
  using LT = std::integral_constant<int, _CMP_LT_OQ>;
  using GE = std::integral_constant<int, _CMP_GE_OQ>;
  using GT = std::integral_constant<int, _CMP_GT_OQ>;
  const __m256 s1 = _mm256_or_ps(_mm256_and_ps(cmp(fy, zero, LE{}), cmp(fx, minusFy, GT{})),
                                 _mm256_and_ps(cmp(fy, zero, GE{}), cmp(fx, minusFy, LT{})));
  const __m256 s2 = _mm256_or_ps(_mm256_and_ps(cmp(fx, zero, GT{}), cmp(fx, minusFy, LE{})),
                                 _mm256_and_ps(cmp(fx, zero, LT{}), cmp(fx, minusFy, GE{})));
  const __m256 s3 = _mm256_or_ps(_mm256_and_ps(cmp(fx, zero, LE{}), cmp(fy, fx, LT{})),
                                 _mm256_and_ps(cmp(fx, zero, GE{}), cmp(fy, fx, GT{})));
  const __m256 s4 = _mm256_or_ps(_mm256_and_ps(cmp(fy, zero, LT{}), cmp(fy, fx, GE{})),
                                 _mm256_and_ps(cmp(fy, zero, GT{}), cmp(fy, fx, LE{})));
  const __m256 gyOverGx = _mm256_or_ps(s1, s4);
  const __m256 quotient = _mm256_div_ps(_mm256_blendv_ps(fx, fy, gyOverGx),
                                        _mm256_blendv_ps(fy, fx, gyOverGx));
  const __m256 d = _mm256_andnot_ps(sign, quotient);
  const __m256d dLow = _mm256_cvtps_pd(_mm256_castps256_ps128(d));
  const __m256d dHigh = _mm256_cvtps_pd(_mm256_extractf128_ps(d, 1));
  const float* up = m - stride;
  const float* down = m + stride;
  const __m256 northEast = _mm256_loadu_ps(up + 1), north = _mm256_loadu_ps(up);
  const __m256 northWest = _mm256_loadu_ps(up - 1), west = _mm256_loadu_ps(m - 1);
  const __m256 east = _mm256_loadu_ps(m + 1), southWest = _mm256_loadu_ps(down - 1);
  const __m256 south = _mm256_loadu_ps(down), southEast = _mm256_loadu_ps(down + 1);
  const __m256 towardsEast = _mm256_or_ps(s1, s2);
  const __m256 diagonal = _mm256_blendv_ps(northWest, northEast, towardsEast);
  const __m256 straight = _mm256_blendv_ps(_mm256_blendv_ps(north, west, s4), east, s1);
  const __m256 oppositeDiagonal = _mm256_blendv_ps(southEast, southWest, towardsEast);
  const __m256 oppositeStraight = _mm256_blendv_ps(_mm256_blendv_ps(south, east, s4), west, s1);
  const __m256 m1 = interpolateOctet(dLow, dHigh, diagonal, straight);
  const __m256 m2 = interpolateOctet(dLow, dHigh, oppositeDiagonal, oppositeStraight);
  const __m256 inSector = _mm256_or_ps(_mm256_or_ps(s1, s2), _mm256_or_ps(s3, s4));
  const __m256 kept = _mm256_and_ps(_mm256_and_ps(aboveLow, inSector),
                                    _mm256_and_ps(cmp(here, m1, GE{}), cmp(here, m2, GE{})));
  const int keptBits = _mm256_movemask_ps(kept);
  return {keptBits, keptBits & _mm256_movemask_ps(greaterInDouble8(here, high))};
}

SCENETEXT_END_TARGET


}  // namespace

void labelLocalMaxima(const cv::Mat& gx, const cv::Mat& gy, const cv::Mat& magnitude, double low,
                      double high, cv::Mat& labels, std::vector<EdgePoint>& strong) {
  checkMaps(gx, gy, magnitude);
  labels = cv::Mat::zeros(gx.size(), CV_8UC1);
  const size_t stride = magnitude.step1();
  const bool avx2 = haveAvx2();
  for (int y = 1; y < gx.rows - 1; ++y) {
    const float* gxRow = gx.ptr<float>(y);
    const float* gyRow = gy.ptr<float>(y);
    const float* m = magnitude.ptr<float>(y);
    uchar* out = labels.ptr<uchar>(y);
    int x = 1;
    if (avx2) {
      for (; x + kOctet <= gx.cols - 1; x += kOctet) {
        const QuadDecision q = decideOctet(gxRow + x, gyRow + x, m + x, stride, low, high);
        for (int bits = q.kept; bits != 0; bits &= bits - 1) {
          const int k = __builtin_ctz(bits);
          out[x + k] = 1;
          if ((q.strong >> k) & 1) strong.push_back({x + k, y});
        }
      }
    }
    for (; x + kQuad <= gx.cols - 1; x += kQuad) {
      const QuadDecision q = decideQuad(gxRow + x, gyRow + x, m + x, stride, low, high);
      for (int k = 0; k < kQuad; ++k) {
        if (!((q.kept >> k) & 1)) continue;
        out[x + k] = 1;
        if ((q.strong >> k) & 1) strong.push_back({x + k, y});
      }
    }
    for (; x < gx.cols - 1; ++x) {
      const double v = m[x];
      // Most of an image lies at or below the low threshold: no sector test, no interpolation.
      if (!(v > low)) continue;
      const int sector = sectorOf(gxRow[x], gyRow[x]);
      if (sector == 0 || !isLocalMaximumIn(sector, m + x, stride, gxRow[x], gyRow[x])) continue;
      out[x] = 1;
      if (v > high) strong.push_back({x, y});
    }
  }
}

void suppressNonMaxima(std::vector<EdgePoint>& points, int sector, const cv::Mat& gx,
                       const cv::Mat& gy, const cv::Mat& magnitude) {
  CV_Assert(sector >= 1 && sector <= 4);
  checkMaps(gx, gy, magnitude);
  switch (sector) {
    case 1:
      return scanSector<1>(points, gx, gy, magnitude);
    case 2:
      return scanSector<2>(points, gx, gy, magnitude);
    case 3:
      return scanSector<3>(points, gx, gy, magnitude);
    default:
      return scanSector<4>(points, gx, gy, magnitude);
  }
}

void suppressNonMaximaAllSectors(SectorPoints& points, const cv::Mat& gx, const cv::Mat& gy,
                                 const cv::Mat& magnitude, double floor) {
  checkMaps(gx, gy, magnitude);
  // Each sector's list is filled in its own row-major order, so the lists equal those of four
  // separate scans; the tests are not assumed to exclude each other. Pixels at or below the
  // floor are passed over before any interpolation: most of an image lies there.
  scanInterior(gx, gy, magnitude, [&](const MagnitudeRows& rows, int x, int y, float fx, float fy) {
    if (!(static_cast<double>(rows.here[x]) > floor)) return;
    keepIfMaximum<1>(points[0], rows, x, y, fx, fy);
    keepIfMaximum<2>(points[1], rows, x, y, fx, fy);
    keepIfMaximum<3>(points[2], rows, x, y, fx, fy);
    keepIfMaximum<4>(points[3], rows, x, y, fx, fy);
  });
}

}  // namespace scenetext::edges
