#pragma once

// Non-maximum suppression of gradient magnitudes in four sectors of gradient direction.

#include <opencv2/core.hpp>

#include <array>
#include <vector>

namespace scenetext::edges {

// A pixel position: x is the column, y the row.
struct EdgePoint {
  int x;
  int y;
};

// Appends to `points`, in row-major order, the interior pixels (never row 0, column 0, the last
// row or the last column) whose gradient lies in `sector` (1..4) and whose magnitude is >= the
// magnitudes interpolated at both neighbouring positions along the gradient. Sectors:
//   1: (gy <= 0 and gx > -gy) or (gy >= 0 and gx < -gy)   mostly horizontal, opposite signs
//   2: (gx > 0 and gx <= -gy) or (gx < 0 and gx >= -gy)   mostly vertical, opposite signs
//   3: (gx <= 0 and gy < gx) or (gx >= 0 and gy > gx)     mostly vertical, equal signs
//   4: (gy < 0 and gy >= gx) or (gy > 0 and gy <= gx)     mostly horizontal, equal signs
// A non-zero gradient is in exactly one sector, a zero gradient in none. `gx`, `gy` and
// `magnitude` are CV_32FC1 of one size; a NaN magnitude comparison drops the pixel.
void suppressNonMaxima(std::vector<EdgePoint>& points, int sector, const cv::Mat& gx,
                       const cv::Mat& gy, const cv::Mat& magnitude);

// The four sectors in one scan, kept to the pixels whose magnitude (promoted to double) is
// > `floor`: points[s - 1] receives exactly those of the points that suppressNonMaxima appends
// for sector s, in the same order. A floor of -infinity keeps them all.
using SectorPoints = std::array<std::vector<EdgePoint>, 4>;
void suppressNonMaximaAllSectors(SectorPoints& points, const cv::Mat& gx, const cv::Mat& gy,
                                 const cv::Mat& magnitude, double floor);

// The edge detector's candidate labels in one scan: a new CV_8UC1 `labels` of the maps' size,
// 1 on every pixel that suppressNonMaxima keeps for its gradient's sector and whose magnitude
// (promoted to double) is > low, 0 elsewhere; those also > high are appended to `strong` in
// row-major order. The same pixels as the four sector lists with both thresholds applied.
void labelLocalMaxima(const cv::Mat& gx, const cv::Mat& gy, const cv::Mat& magnitude, double low,
                      double high, cv::Mat& labels, std::vector<EdgePoint>& strong);

}  // namespace scenetext::edges
