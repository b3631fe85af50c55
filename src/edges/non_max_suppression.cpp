#include "edges/non_max_suppression.hpp"

#include <cmath>

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

// The sector tests exactly as written on the single-precision values.
bool inSector(int sector, float gx, float gy) {
  switch (sector) {
    case 1: return (gy <= 0 && gx > -gy) || (gy >= 0 && gx < -gy);
    case 2: return (gx > 0 && gx <= -gy) || (gx < 0 && gx >= -gy);
    case 3: return (gx <= 0 && gy < gx) || (gx >= 0 && gy > gx);
    default: return (gy < 0 && gy >= gx) || (gy > 0 && gy <= gx);
  }
}

// d * diagonal + (1 - d) * straight in double, in this order, stored in single precision.
float interpolate(double d, float diagonal, float straight) {
  return static_cast<float>(d * diagonal + (1.0 - d) * straight);
}

}  // namespace

void suppressNonMaxima(std::vector<EdgePoint>& points, int sector, const cv::Mat& gx,
                       const cv::Mat& gy, const cv::Mat& magnitude) {
  CV_Assert(sector >= 1 && sector <= 4);
  CV_Assert(gx.type() == CV_32FC1 && gy.type() == CV_32FC1 && magnitude.type() == CV_32FC1);
  CV_Assert(gx.size() == gy.size() && gx.size() == magnitude.size());
  const SectorGeometry& geometry = kSectors[sector - 1];
  // Candidates on the outer frame are dropped, so the scan covers the interior only; this also
  // keeps every neighbour read inside the maps.
  for (int y = 1; y < gx.rows - 1; ++y) {
    const float* gxRow = gx.ptr<float>(y);
    const float* gyRow = gy.ptr<float>(y);
    const float* m = magnitude.ptr<float>(y);
    const float* diagonalAhead = magnitude.ptr<float>(y + geometry.diagonalDy);
    const float* straightAhead = magnitude.ptr<float>(y + geometry.straightDy);
    const float* diagonalBehind = magnitude.ptr<float>(y - geometry.diagonalDy);
    const float* straightBehind = magnitude.ptr<float>(y - geometry.straightDy);
    const int ddx = geometry.diagonalDx;
    const int sdx = geometry.straightDx;
    for (int x = 1; x < gx.cols - 1; ++x) {
      const float fx = gxRow[x];
      const float fy = gyRow[x];
      if (!inSector(sector, fx, fy)) continue;
      // The quotient is rounded to single precision before its absolute value is taken.
      const float quotient = geometry.weightIsGyOverGx ? fy / fx : fx / fy;
      const double d = std::fabs(quotient);
      const float m1 = interpolate(d, diagonalAhead[x + ddx], straightAhead[x + sdx]);
      const float m2 = interpolate(d, diagonalBehind[x - ddx], straightBehind[x - sdx]);
      if (m[x] >= m1 && m[x] >= m2) points.push_back({x, y});
    }
  }
}

}  // namespace scenetext::edges
