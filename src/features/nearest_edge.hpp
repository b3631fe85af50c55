#pragma once

// Nearest-edge transform: for every pixel of an EdgeMap, the position of an edge pixel chosen by
// the separable squared Euclidean distance transform (lower envelope of parabolas, Felzenszwalb
// and Huttenlocher), run down every column and then along every row, carrying the offsets of the
// winning positions. The row pass takes the row offset from the entry it has already rewritten
// for the winning column, so the chosen position is not always an edge pixel (edges at (2, 0) and
// (4, 1): pixel (2, 3) takes (2, 1)); stored models depend on exactly this choice.

#include <vector>

#include <opencv2/core.hpp>

namespace scenetext::features {

// The cost of a background pixel (single precision); the envelope's lower bound is its negative.
inline constexpr float kBackgroundCost = 1e20f;

// The nearest edge pixels of an 8-bit single-channel EdgeMap as flat indices: indices[i * cols
// + j] = row * cols + column of the position chosen for pixel (i, j). `indices` is resized to the
// map's pixel count. Only the value 255 marks an edge pixel. An edge pixel maps to itself. With no
// edge pixel at all the positions are some positions inside the map (which ones depends on
// rounding of 1e20 + q*q) and carry no meaning; callers must not use them.
// Precondition: a non-empty CV_8UC1 map (cv::Exception otherwise).
void nearestEdgeIndices(const cv::Mat& edges, std::vector<int>& indices);

}  // namespace scenetext::features
