#pragma once

// The nearest-edge transform as it is defined, one line of the one-dimensional squared distance
// transform at a time, and the field of positions it yields: the forms nearestEdgeIndices (its
// closed-form column pass and window row pass among them) is held to.

#include <span>
#include <vector>

#include <opencv2/core.hpp>

#include "features/nearest_edge.hpp"

namespace scenetext::features {

// Pass directions of distanceTransform1D.
inline constexpr int kColumnPass = 0;
inline constexpr int kRowPass = 1;

// Transforms one line g of n >= 1 single-precision costs and returns the n transformed costs
// (squared distance to the chosen source plus its cost), by the lower envelope of the parabolas
// rooted at g, their intersections ((g[q] + q^2) - (g[p] + p^2)) / (2q - 2p) formed in double and
// rounded to single precision. `offsets` is the H x W CV_32FC2 grid of (dRow, dCol); the pass
// writes the offsets of this line into it:
// - mode 0 (kColumnPass): g is column `line` (rows 0..H-1); offsets(q, line)[0] = q - source;
// - mode 1 (kRowPass): g is row `line` (columns 0..W-1); offsets(line, q)[1] = q - source, then
//   offsets(line, q)[0] = offsets(line, source)[0], read in place in ascending q.
// A position exactly on a bound between two parabolas keeps the earlier source.
// Precondition: g.size() equals the grid's rows (mode 0) or columns (mode 1), `line` lies inside
// the grid, mode is 0 or 1 (cv::Exception otherwise).
std::vector<float> distanceTransform1D(std::span<const float> g, int mode, cv::Mat& offsets,
                                       int line);

// The NearestEdgeField of an 8-bit single-channel EdgeMap (nearestEdgeIndices): a new CV_32FC2
// matrix of its size with (row, column) of the chosen edge pixel per pixel.
cv::Mat nearestEdgeTransform(const cv::Mat& edges);

}  // namespace scenetext::features
