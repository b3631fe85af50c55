#pragma once

// Nearest-edge transform: for every pixel of an EdgeMap, the position of an edge pixel chosen by
// the separable squared Euclidean distance transform (lower envelope of parabolas, Felzenszwalb
// and Huttenlocher), run down every column and then along every row, carrying the offsets of the
// winning positions. The row pass takes the row offset from the entry it has already rewritten
// for the winning column, so the chosen position is not always an edge pixel (edges at (2, 0) and
// (4, 1): pixel (2, 3) takes (2, 1)); stored models depend on exactly this choice.

#include <span>
#include <vector>

#include <opencv2/core.hpp>

namespace scenetext::features {

// The cost of a background pixel (single precision); the envelope's lower bound is its negative.
inline constexpr float kBackgroundCost = 1e20f;

// Pass directions of distanceTransform1D.
inline constexpr int kColumnPass = 0;
inline constexpr int kRowPass = 1;

// Transforms one line g of n >= 1 single-precision costs and returns the n transformed costs
// (squared distance to the chosen source plus its cost). `offsets` is the H x W CV_32FC2 grid of
// (dRow, dCol); the pass writes the offsets of this line into it:
// - mode 0 (kColumnPass): g is column `line` (rows 0..H-1); offsets(q, line)[0] = q - source;
// - mode 1 (kRowPass): g is row `line` (columns 0..W-1); offsets(line, q)[1] = q - source, then
//   offsets(line, q)[0] = offsets(line, source)[0], read in place in ascending q.
// A position exactly on a bound between two parabolas keeps the earlier source.
// Precondition: g.size() equals the grid's rows (mode 0) or columns (mode 1), `line` lies inside
// the grid, mode is 0 or 1 (cv::Exception otherwise).
std::vector<float> distanceTransform1D(std::span<const float> g, int mode, cv::Mat& offsets, int line);

// The NearestEdgeField of an 8-bit single-channel EdgeMap: a new CV_32FC2 matrix of its size with
// (row, column) of the chosen edge pixel per pixel, whole numbers stored in single precision.
// Only the value 255 marks an edge pixel. An edge pixel maps to itself. With no edge pixel at all
// the positions are some positions inside the map (which ones depends on rounding of 1e20 + q*q)
// and carry no meaning; callers must not use them.
// Precondition: a non-empty CV_8UC1 map (cv::Exception otherwise).
cv::Mat nearestEdgeTransform(const cv::Mat& edges);

// The same positions as flat indices: indices[i * cols + j] = row * cols + column of the position
// nearestEdgeTransform gives pixel (i, j). `indices` is resized to the map's pixel count.
void nearestEdgeIndices(const cv::Mat& edges, std::vector<int>& indices);

}  // namespace scenetext::features
