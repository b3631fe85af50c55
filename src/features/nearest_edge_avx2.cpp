// The nearest-edge transform's AVX2 kernels: the closed-form column pass eight columns at a time
// and the row pass by windows of sixteen positions. Only intrinsics and plain pointers here: an
// inline function of a library header compiled in this file for AVX2 could be the copy the
// linker keeps for the whole program.

#include "features/nearest_edge_avx2.hpp"

#include <immintrin.h>

#include <climits>
#include <cstdint>

#include "features/nearest_edge.hpp"

namespace scenetext::features {
namespace {

constexpr int kWindowReach = 16;             // columns q - 16 .. q + 15
constexpr int kNearReach = 8;                // tried first: columns q - 8 .. q + 7
constexpr int kLanes = 16;                   // positions side by side
constexpr int16_t kNoEdgeInColumn = 0x4000;  // above every cost of the window that counts
static_assert(kWindowRowCostsPadding == 2 * kWindowReach + kLanes);

// The smallest column c minimising costs[c] + (q - c)^2 (whole costs, kNoEdgeInColumn for a
// column without an edge) given the least cost `best` at `bestColumn` among the columns
// q - kWindowReach .. q + kWindowReach - 1: the search goes on outward and stops once the
// distance alone exceeds the best cost. Some column of the row has an edge.
int nearestColumnBeyondWindow(const int16_t* costs, int w, int q, int best, int bestColumn) {
  if (best >= kNoEdgeInColumn) {  // no column of the window has an edge
    best = INT_MAX;
    bestColumn = -1;
  }
  const auto consider = [&](int c, int r) {
    if (c < 0 || c >= w || costs[c] == kNoEdgeInColumn) return;
    const int cost = costs[c] + r * r;
    if (cost < best || (cost == best && c < bestColumn)) {
      best = cost;
      bestColumn = c;
    }
  };
  consider(q + kWindowReach, kWindowReach);
  for (int r = kWindowReach + 1; r * r <= best && (q - r >= 0 || q + r < w); ++r) {
    consider(q - r, r);
    consider(q + r, r);
  }
  return bestColumn;
}

// Sixteen 16-bit columns stored as the sources of sixteen positions.
void storeSources(__m256i columns, int* sources) {
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(sources),
                      _mm256_cvtepi16_epi32(_mm256_castsi256_si128(columns)));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(sources + 8),
                      _mm256_cvtepi16_epi32(_mm256_extracti128_si256(columns, 1)));
}

// Eight columns' rows from column j on: `row` where the EdgeMap holds an edge, `previous`
// elsewhere.
__m256i rowWhereEdge(const unsigned char* e, int j, __m256i row, const int* previous) {
  const __m256i v = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(e + j)));
  return _mm256_blendv_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(previous + j)), row,
                            _mm256_cmpeq_epi32(v, _mm256_set1_epi32(255)));
}

}  // namespace

// The row pass by the smallest minimiser (see kWindowRowPassWidthLimit) for one row whose column
// pass left whole costs f: the chosen column of every position. Sixteen positions at a time, one
// per 16-bit lane, try the offsets -8 .. 7, and where some lane's best is not below 8^2 the rest
// of -16 .. 15; of equal costs the smallest column is kept. A lane whose best is not below 16^2
// is finished by nearestColumnBeyondWindow.
void windowRowPassAvx2(const float* f, int w, int16_t* padded, int* sources) {
  int16_t* costs = padded + kWindowReach;
  for (int16_t* c = padded; c < costs; ++c) *c = kNoEdgeInColumn;
  for (int c = 0; c < w; ++c) {
    costs[c] = f[c] == kBackgroundCost ? kNoEdgeInColumn : static_cast<int16_t>(f[c]);
  }
  for (int c = w; c < w + kWindowReach + kLanes; ++c) costs[c] = kNoEdgeInColumn;
  const __m256i bound = _mm256_set1_epi16(kWindowReach * kWindowReach);
  const __m256i nearBound = _mm256_set1_epi16(kNearReach * kNearReach);
  const __m256i laneIndex = _mm256_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
  alignas(32) int16_t best[kLanes], column[kLanes];
  for (int q0 = 0; q0 < w; q0 += kLanes) {
    __m256i least = _mm256_set1_epi16(INT16_MAX);
    __m256i leastOffset = _mm256_setzero_si256();
    // Offset o's costs; a lane takes o where they are cheaper (or, for an offset tried after a
    // larger one, no dearer: the smaller column wins a tie).
    const auto tryOffset = [&](int o, bool winsTies) {
      const __m256i cost =
          _mm256_add_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(costs + q0 + o)),
                           _mm256_set1_epi16(static_cast<int16_t>(o * o)));
      const __m256i keep =
          winsTies ? _mm256_cmpgt_epi16(cost, least) : _mm256_cmpgt_epi16(least, cost);
      least = _mm256_min_epi16(least, cost);
      const __m256i offset = _mm256_set1_epi16(static_cast<int16_t>(o));
      leastOffset = winsTies ? _mm256_blendv_epi8(offset, leastOffset, keep)
                             : _mm256_blendv_epi8(leastOffset, offset, keep);
    };
    // The columns q - 8 .. q + 7 first: near an edge a cost below 8^2 settles every lane.
#pragma GCC unroll 16
    for (int o = -kNearReach; o < kNearReach; ++o) tryOffset(o, false);
    const __m256i columnsNear = _mm256_add_epi16(
        _mm256_add_epi16(_mm256_set1_epi16(static_cast<int16_t>(q0)), laneIndex), leastOffset);
    const int lanes = w - q0 < kLanes ? w - q0 : kLanes;
    if (lanes == kLanes && _mm256_movemask_epi8(_mm256_cmpgt_epi16(nearBound, least)) == -1) {
      storeSources(columnsNear, sources + q0);
      continue;
    }
    // Then the rest of the window: the smaller columns from the nearest outward, the larger ones
    // in ascending order.
#pragma GCC unroll 8
    for (int o = -kNearReach - 1; o >= -kWindowReach; --o) tryOffset(o, true);
#pragma GCC unroll 8
    for (int o = kNearReach; o < kWindowReach; ++o) tryOffset(o, false);
    const __m256i columns = _mm256_add_epi16(
        _mm256_add_epi16(_mm256_set1_epi16(static_cast<int16_t>(q0)), laneIndex), leastOffset);
    if (lanes == kLanes && _mm256_movemask_epi8(_mm256_cmpgt_epi16(bound, least)) == -1) {
      storeSources(columns, sources + q0);
      continue;
    }
    _mm256_store_si256(reinterpret_cast<__m256i*>(best), least);
    _mm256_store_si256(reinterpret_cast<__m256i*>(column), columns);
    for (int lane = 0; lane < lanes; ++lane) {
      const int q = q0 + lane;
      sources[q] = best[lane] < kWindowReach * kWindowReach
                       ? column[lane]
                       : nearestColumnBeyondWindow(costs, w, q, best[lane], column[lane]);
    }
  }
}

int sweepUpAvx2(const unsigned char* e, int i, int* nextBelow, int* here, int w) {
  const __m256i row = _mm256_set1_epi32(i);
  int j = 0;
  for (; j + 8 <= w; j += 8) {
    const __m256i below = rowWhereEdge(e, j, row, nextBelow);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(nextBelow + j), below);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(here + j), below);
  }
  return j;
}

int columnRowAvx2(const unsigned char* e, int i, int h, int* above, const int* down,
                  const int* nextBelow, float* cost, int* offset, int w) {
  const __m256i row = _mm256_set1_epi32(i);
  const __m256i far = _mm256_set1_epi32(kFarEdgeRow);
  const __m256i emptyColumnSource = _mm256_set1_epi32(i == 0 ? 0 : h - 1);
  const __m256 background = _mm256_set1_ps(kBackgroundCost);
  int j = 0;
  for (; j + 8 <= w; j += 8) {
    const __m256i a = rowWhereEdge(e, j, row, above);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(above + j), a);
    const __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(down + j));
    const __m256i empty = _mm256_cmpeq_epi32(
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(nextBelow + j)), far);
    // The upper edge wins at equal distance: the lower only when strictly nearer.
    const __m256i lowerNearer =
        _mm256_cmpgt_epi32(_mm256_sub_epi32(row, a), _mm256_sub_epi32(d, row));
    const __m256i source =
        _mm256_blendv_epi8(_mm256_blendv_epi8(a, d, lowerNearer), emptyColumnSource, empty);
    const __m256i distance = _mm256_sub_epi32(row, source);
    const __m256 squared = _mm256_cvtepi32_ps(_mm256_mullo_epi32(distance, distance));
    _mm256_storeu_ps(cost + j, _mm256_blendv_ps(squared, background, _mm256_castsi256_ps(empty)));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(offset + j), distance);
  }
  return j;
}

}  // namespace scenetext::features
