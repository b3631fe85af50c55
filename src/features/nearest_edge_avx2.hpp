#pragma once

// The AVX2 kernels of nearestEdgeIndices (nearest_edge_avx2.cpp, built only with the x86-64
// kernels).

#include <cstdint>

namespace scenetext::features {

// The row of the nearest edge above or below a pixel where its column has none.
inline constexpr int kFarEdgeRow = 1 << 20;

// The closed-form column pass eight columns at a time from column 0 on, row i of the EdgeMap
// at e (w columns); each returns the first column it leaves to the plain loop of the pass, which
// it computes alike. sweepUp: nextBelow[j] becomes i where e[j] is 255, and here[j] nextBelow[j].
// columnRow: above[j] becomes i where e[j] is 255, then cost and offset of the nearest edge row
// (above or down[j], the upper one at equal distance; row 0 or h - 1 where nextBelow[j] is
// kFarEdgeRow, at the background cost). Require AVX2.
int sweepUpAvx2(const unsigned char* e, int i, int* nextBelow, int* here, int w);
int columnRowAvx2(const unsigned char* e, int i, int h, int* above, const int* down,
                  const int* nextBelow, float* cost, int* offset, int w);

// Entries one row's costs need beyond its w: the sentinels on both sides of the window pass.
inline constexpr int kWindowRowCostsPadding = 48;

// The row pass of a row whose closed-form column pass left whole costs f (w <= 512 columns, some
// column with an edge): sources[q] = the smallest column c minimising f[c] + (q - c)^2, which is
// the envelope's choice there. `padded` holds w + kWindowRowCostsPadding scratch entries.
// Requires AVX2.
void windowRowPassAvx2(const float* f, int w, int16_t* padded, int* sources);

}  // namespace scenetext::features
