#include "straightforward/non_max_suppression.hpp"

#include <cmath>

namespace scenetext::edges {
namespace {

// The sector test as written, on the single-precision values.
bool inSector(int sector, float gx, float gy) {
  switch (sector) {
    case 1:
      return (gy <= 0 && gx > -gy) || (gy >= 0 && gx < -gy);
    case 2:
      return (gx > 0 && gx <= -gy) || (gx < 0 && gx >= -gy);
    case 3:
      return (gx <= 0 && gy < gx) || (gx >= 0 && gy > gx);
    default:
      return (gy < 0 && gy >= gx) || (gy > 0 && gy <= gx);
  }
}

// d * diagonal + (1 - d) * straight in double, in this order, stored in single precision.
float interpolate(double d, float diagonal, float straight) {
  return static_cast<float>(d * diagonal + (1.0 - d) * straight);
}

// The two interpolated neighbours of interior pixel (x, y) of a gradient in `sector`.
bool isLocalMaximum(int sector, const cv::Mat& magnitude, int x, int y, float fx, float fy) {
  const auto m = [&](int dx, int dy) { return magnitude.at<float>(y + dy, x + dx); };
  // The quotient is rounded to single precision before its absolute value is taken.
  const bool gyOverGx = sector == 1 || sector == 4;
  const float quotient = gyOverGx ? fy / fx : fx / fy;
  const double d = std::fabs(quotient);
  // Sectors 1 and 2 mix towards the north-east, 3 and 4 towards the north-west; the straight
  // neighbour is east (1), north (2, 3) or west (4); the second neighbour lies opposite.
  const int diagonalDx = sector <= 2 ? 1 : -1;
  const int straightDx = sector == 1 ? 1 : sector == 4 ? -1 : 0;
  const int straightDy = sector == 2 || sector == 3 ? -1 : 0;
  const float m1 = interpolate(d, m(diagonalDx, -1), m(straightDx, straightDy));
  const float m2 = interpolate(d, m(-diagonalDx, 1), m(-straightDx, -straightDy));
  return m(0, 0) >= m1 && m(0, 0) >= m2;
}

}  // namespace

void suppressNonMaxima(std::vector<EdgePoint>& points, int sector, const cv::Mat& gx,
                       const cv::Mat& gy, const cv::Mat& magnitude) {
  CV_Assert(sector >= 1 && sector <= 4);
  CV_Assert(gx.type() == CV_32FC1 && gy.type() == CV_32FC1 && magnitude.type() == CV_32FC1);
  CV_Assert(gx.size() == gy.size() && gx.size() == magnitude.size());
  for (int y = 1; y < gx.rows - 1; ++y) {
    for (int x = 1; x < gx.cols - 1; ++x) {
      const float fx = gx.at<float>(y, x), fy = gy.at<float>(y, x);
      if (inSector(sector, fx, fy) && isLocalMaximum(sector, magnitude, x, y, fx, fy)) {
        points.push_back({x, y});
      }
    }
  }
}

}  // namespace scenetext::edges
