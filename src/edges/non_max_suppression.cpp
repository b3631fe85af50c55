#include "edges/non_max_suppression.hpp"

#include <cmath>

#include "common/instruction_sets.hpp"
#include "edges/non_max_suppression_avx2.hpp"

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

// The sector of a gradient, 1 to 4, or 0 for a zero gradient: the four tests exclude each other,
// so the first that holds is the only one.
int sectorOf(float fx, float fy) {
  return inSector<1>(fx, fy)   ? 1
         : inSector<2>(fx, fy) ? 2
         : inSector<3>(fx, fy) ? 3
         : inSector<4>(fx, fy) ? 4
                               : 0;
}

// d * diagonal + (1 - d) * straight in double, in this order, stored in single precision.
float interpolate(double d, float diagonal, float straight) {
  return static_cast<float>(d * diagonal + (1.0 - d) * straight);
}

// Whether the magnitude at `here` (of a pixel whose gradient lies in `sector`) is not below
// either interpolated neighbour along the gradient. The quotient is rounded to single precision
// before its absolute value is taken.
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

void checkMaps(const cv::Mat& gx, const cv::Mat& gy, const cv::Mat& magnitude) {
  CV_Assert(gx.type() == CV_32FC1 && gy.type() == CV_32FC1 && magnitude.type() == CV_32FC1);
  CV_Assert(gx.size() == gy.size() && gx.size() == magnitude.size());
}

// The row's columns from x to the last interior one, pixel by pixel.
void labelRowFrom(int x, int y, const cv::Mat& gx, const cv::Mat& gy, const cv::Mat& magnitude,
                  double low, double high, uchar* out, std::vector<EdgePoint>& strong) {
  const float* gxRow = gx.ptr<float>(y);
  const float* gyRow = gy.ptr<float>(y);
  const float* m = magnitude.ptr<float>(y);
  const size_t stride = magnitude.step1();
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

#ifdef SCENETEXT_X86_SIMD
// The row's interior columns eight at a time; returns the first column left to labelRowFrom.
// `strongColumns` has room for the row's columns.
int labelRowByOctets(int y, const cv::Mat& gx, const cv::Mat& gy, const cv::Mat& magnitude,
                     double low, double high, uchar* out, int* strongColumns,
                     std::vector<EdgePoint>& strong) {
  const RowDecisions row = labelRowAvx2(gx.ptr<float>(y), gy.ptr<float>(y), magnitude.ptr<float>(y),
                                        static_cast<ptrdiff_t>(magnitude.step1()), 1, gx.cols - 1,
                                        low, high, out, strongColumns);
  for (int k = 0; k < row.strongCount; ++k) strong.push_back({strongColumns[k], y});
  return row.end;
}
#endif

}  // namespace

void labelLocalMaxima(const cv::Mat& gx, const cv::Mat& gy, const cv::Mat& magnitude, double low,
                      double high, cv::Mat& labels, std::vector<EdgePoint>& strong) {
  checkMaps(gx, gy, magnitude);
  labels = cv::Mat::zeros(gx.size(), CV_8UC1);
  // Candidates on the outer frame are dropped, so the scan covers the interior only; this also
  // keeps every neighbour read inside the maps.
#ifdef SCENETEXT_X86_SIMD
  const bool avx2 = haveAvx2();
  thread_local std::vector<int> strongColumns;
  if (avx2) strongColumns.resize(gx.cols);
#endif
  for (int y = 1; y < gx.rows - 1; ++y) {
    uchar* out = labels.ptr<uchar>(y);
    int x = 1;
#ifdef SCENETEXT_X86_SIMD
    if (avx2) {
      x = labelRowByOctets(y, gx, gy, magnitude, low, high, out, strongColumns.data(), strong);
    }
#endif
    labelRowFrom(x, y, gx, gy, magnitude, low, high, out, strong);
  }
}

}  // namespace scenetext::edges
