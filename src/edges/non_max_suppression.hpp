#pragma once

// Non-maximum suppression of gradient magnitudes in four sectors of gradient direction, with the
// two thresholds of the edge detector applied in the same scan.

#include <opencv2/core.hpp>

#include <vector>

namespace scenetext::edges {

// A pixel position: x is the column, y the row.
struct EdgePoint {
  int x;
  int y;
};

// The edge detector's candidate labels: a new CV_8UC1 `labels` of the maps' size, 1 on every
// interior pixel (never row 0, column 0, the last row or the last column) whose magnitude is
// >= the magnitudes interpolated at both neighbouring positions along its gradient's sector and
// (promoted to double) > low, 0 elsewhere; those also > high are appended to `strong` in
// row-major order. Sectors:
//   1: (gy <= 0 and gx > -gy) or (gy >= 0 and gx < -gy)   mostly horizontal, opposite signs
//   2: (gx > 0 and gx <= -gy) or (gx < 0 and gx >= -gy)   mostly vertical, opposite signs
//   3: (gx <= 0 and gy < gx) or (gx >= 0 and gy > gx)     mostly vertical, equal signs
//   4: (gy < 0 and gy >= gx) or (gy > 0 and gy <= gx)     mostly horizontal, equal signs
// A non-zero gradient is in exactly one sector, a zero gradient in none. The weight d is
// |gy / gx| (sectors 1 and 4) or |gx / gy| (2 and 3), the quotient rounded to single precision;
// the neighbour magnitudes are d * diagonal + (1 - d) * straight in double, rounded to single
// precision, with the diagonal north-east (1, 2) or north-west (3, 4) and the straight neighbour
// east (1), north (2, 3) or west (4), and the second neighbour opposite. `gx`, `gy` and
// `magnitude` are CV_32FC1 of one size; a NaN magnitude comparison drops the pixel.
void labelLocalMaxima(const cv::Mat& gx, const cv::Mat& gy, const cv::Mat& magnitude, double low,
                      double high, cv::Mat& labels, std::vector<EdgePoint>& strong);

}  // namespace scenetext::edges
