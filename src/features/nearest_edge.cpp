#include "features/nearest_edge.hpp"

#include <immintrin.h>

#include <algorithm>
#include <climits>
#include <cstdint>

#include "common/instruction_sets.hpp"

namespace scenetext::features {

namespace {

// Writes the offsets of position q of the line, whose chosen source is v.
void writeOffset(cv::Mat& offsets, int mode, int line, int q, int v) {
  if (mode == kColumnPass) {
    offsets.at<cv::Vec2f>(q, line)[0] = static_cast<float>(q - v);
  } else {
    cv::Vec2f& d = offsets.at<cv::Vec2f>(line, q);
    d[1] = static_cast<float>(q - v);
    d[0] = offsets.at<cv::Vec2f>(line, v)[0];
  }
}

}  // namespace

namespace {

// One line of the transform with its buffers: the envelope (v, z) and the result line. Reused
// for every line of a call, so a transform allocates its buffers once.
struct LineBuffers {
  std::vector<int> v;
  std::vector<float> z;
  std::vector<float> result;
  std::vector<int> source;
  std::vector<double> root;  // g[q] + q * q
  explicit LineBuffers(int n) { resize(n); }
  void resize(int n) {
    v.resize(n);
    z.resize(n + 1);
    result.resize(n);
    source.resize(n);
    root.resize(n);
  }
};

// The lower envelope of the parabolas rooted at g[0..n-1]: fills buffers.result[q] with the
// transformed cost and buffers.source[q] with the winning position v[k] for every q. The
// intersection of the parabolas rooted at q and p is ((g[q] + q^2) - (g[p] + p^2)) / (2q - 2p)
// in double precision (a float cost plus an int square would otherwise be added in single
// precision), rounded to single; each parabola's g[q] + q^2 is formed once.
void transformLine(const float* g, int n, LineBuffers& buffers) {
  int* v = buffers.v.data();
  float* z = buffers.z.data();
  double* root = buffers.root.data();
  for (int q = 0; q < n; ++q) root[q] = static_cast<double>(g[q]) + q * q;
  const auto intersect = [root](int q, int p) {
    return static_cast<float>((root[q] - root[p]) / static_cast<double>(2 * q - 2 * p));
  };
  int k = 0;
  v[0] = 0;
  z[0] = -kBackgroundCost;
  z[1] = kBackgroundCost;
  for (int q = 1; q < n; ++q) {
    float s = intersect(q, v[k]);
    // With costs between 0 and 1e20, s never reaches -1e20 and the bound stops the walk at k = 0;
    // the k > 0 test only keeps arbitrary costs from walking off the envelope.
    while (k > 0 && s <= z[k]) {
      --k;
      s = intersect(q, v[k]);
    }
    ++k;
    v[k] = q;
    z[k] = s;
    z[k + 1] = kBackgroundCost;
  }
  k = 0;
  for (int q = 0; q < n; ++q) {
    // Strict: a position exactly on a bound stays with the earlier source.
    while (z[k + 1] < static_cast<float>(q)) ++k;
    const int d = q - v[k];
    buffers.result[q] = g[v[k]] + static_cast<float>(d * d);
    buffers.source[q] = v[k];
  }
}

// The column pass in closed form, for maps of at most this many rows. A column's costs are 0 (edge)
// or 1e20 (background), and while q * q stays below half the spacing of doubles near 1e20 (8192),
// 1e20 + q * q rounds back to 1e20, so the intersections are exactly
//   two edge rows v < q:          (q^2 - v^2) / (2q - 2v) = (q + v) / 2,
//   two background rows:          0,
//   background q over edge v:     1e20 / (2 (q - v)), far beyond the column,
//   edge q over background v:     -1e20 / (2 (q - v)), far before it.
// So an edge pops every background parabola above it, a background parabola after the last edge
// only starts beyond the column, and the envelope's row 0 (never popped) loses to the first edge:
// every row takes the nearest edge row of its column, the upper one of two at equal distance (a
// row exactly on a bound stays with the earlier source), at cost d * d. A column without an edge
// keeps row 0 for row 0 and gives row h - 1 to every other row (all bounds are 0), at cost 1e20.
constexpr int kClosedFormColumnLimit = 91;

// The row pass without the envelope, after the closed-form column pass of a map with an edge.
// Its costs are then whole squares d * d <= 90 * 90 in every column that has an edge (the set F,
// the same for every row) and 1e20 in the others, and the envelope chooses, at every q, the
// smallest c in F that minimises g[c] + (q - c)^2:
// - A background parabola never wins. Pushed after a parabola of F, its bound lies beyond
//   1e20 / (2 * 95), and the next parabola of F pops it (their bound is below -1e20 / 190),
//   leaving the envelope as it was; after the last one of F it is never reached. At the bottom
//   (q = 0 in the background) it stays, but its bound with the first parabola of F is below
//   -1e20 / 190, so the walk leaves it before q = 0 and no later parabola can pop that one.
// - Among F every bound is x = N / D with whole N and D = 2 (c - p) <= 2 (w - 1), of magnitude
//   at most (w - 1) + 8100 / 2 < 2^13, so rounding it to single precision moves it by at most
//   2^-12 < 1 / (2 (w - 1)), less than any such x that is not whole lies from a whole number.
//   Rounding is monotone, so it keeps every comparison of a bound with a position q. It can
//   make two different bounds equal and so pop a parabola that is lowest only between them,
//   on an interval that then holds no whole number: no position loses its winner. Positions on
//   an exact bound keep the earlier source, which is the smaller c.
// The smallest minimiser is found in the window c = q - 16 .. q + 15, where a cost below 16^2
// can be beaten by no column outside it; farther from any edge the columns are searched outward.
constexpr int kWindowRowPassWidthLimit = 512;  // keeps the bounds' rounding below 1 / (2 (w - 1))
constexpr int kWindowReach = 16;               // columns q - 16 .. q + 15
constexpr int kNearReach = 8;                  // tried first: columns q - 8 .. q + 7
constexpr int kLanes = 16;                     // positions side by side
constexpr int16_t kNoEdgeInColumn = 0x4000;    // above every cost of the window that counts

// The per-call buffers of nearestEdgeIndices, kept per thread: a candidate's transform is only a
// few dozen kilobytes, but it runs for every candidate.
struct TransformBuffers {
  std::vector<float> f;     // costs, row-major h x w
  std::vector<int> dRow;    // row offsets of the chosen positions, row-major
  std::vector<int> below;   // the nearest edge row at or below each pixel
  std::vector<int> nextBelow, above;
  std::vector<float> column;
  std::vector<int16_t> rowCosts;  // one row's costs as whole numbers, between sentinels
  void resize(int h, int w) {
    const size_t n = static_cast<size_t>(h) * w;
    f.resize(n);
    dRow.resize(n);
    below.resize(n);
    nextBelow.resize(w);
    above.resize(w);
    column.resize(h);
    rowCosts.resize(static_cast<size_t>(w) + 2 * kWindowReach + kLanes);
  }
};

// Far sentinels of the column pass: the row of the nearest edge above or below where there is none.
constexpr int kFar = 1 << 20;

// The column pass eight columns at a time (AVX2), from column 0 on; each returns the first
// column it leaves to the plain loops of closedFormColumnPass, which it computes alike.
int sweepUpAvx2(const uchar* e, int i, int* nextBelow, int* here, int w);
int columnRowAvx2(const uchar* e, int i, int h, int* above, const int* down,
                  const int* nextBelow, float* cost, int* offset, int w);

// f and the row offsets after the column pass of `edges`; whether the map has an edge.
bool closedFormColumnPass(const cv::Mat& edges, TransformBuffers& b) {
  const int h = edges.rows, w = edges.cols;
  const bool avx2 = haveAvx2();
  // Rows of the nearest edge above (at or above) and below (at or below) each pixel, with far
  // sentinels where there is none, so that every choice is a plain comparison and the loops
  // run over whole rows of columns at once.
  std::fill(b.nextBelow.begin(), b.nextBelow.end(), kFar);
  for (int i = h - 1; i >= 0; --i) {
    const uchar* e = edges.ptr<uchar>(i);
    int* here = b.below.data() + static_cast<size_t>(i) * w;
    const int first = avx2 ? sweepUpAvx2(e, i, b.nextBelow.data(), here, w) : 0;
    for (int j = first; j < w; ++j) {
      b.nextBelow[j] = e[j] == 255 ? i : b.nextBelow[j];
      here[j] = b.nextBelow[j];
    }
  }
  // A column without an edge: nextBelow is still kFar after the upward sweep.
  std::fill(b.above.begin(), b.above.end(), -kFar);
  const int emptyColumnSource = h - 1;
  for (int i = 0; i < h; ++i) {
    const uchar* e = edges.ptr<uchar>(i);
    const int* down = b.below.data() + static_cast<size_t>(i) * w;
    float* cost = b.f.data() + static_cast<size_t>(i) * w;
    int* offset = b.dRow.data() + static_cast<size_t>(i) * w;
    const int first = avx2 ? columnRowAvx2(e, i, h, b.above.data(), down, b.nextBelow.data(),
                                           cost, offset, w)
                           : 0;
    for (int j = first; j < w; ++j) {
      b.above[j] = e[j] == 255 ? i : b.above[j];
      const int a = b.above[j], d = down[j];
      const bool empty = b.nextBelow[j] == kFar;
      // The upper edge wins at equal distance.
      const int nearest = i - a <= d - i ? a : d;
      const int source = empty ? (i == 0 ? 0 : emptyColumnSource) : nearest;
      const int distance = i - source;
      cost[j] = empty ? kBackgroundCost : static_cast<float>(distance * distance);
      offset[j] = distance;
    }
  }
  return std::any_of(b.nextBelow.begin(), b.nextBelow.end(), [](int row) { return row != kFar; });
}

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

SCENETEXT_BEGIN_AVX2

// Sixteen 16-bit columns stored as the sources of sixteen positions.
inline void storeSources(__m256i columns, int* sources) {
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(sources),
                      _mm256_cvtepi16_epi32(_mm256_castsi256_si128(columns)));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(sources + 8),
                      _mm256_cvtepi16_epi32(_mm256_extracti128_si256(columns, 1)));
}

// The row pass by the smallest minimiser (see kWindowRowPassWidthLimit) for one row whose column
// pass left whole costs f: the chosen column of every position. Sixteen positions at a time, one
// per 16-bit lane, try the offsets -8 .. 7, and where some lane's best is not below 8^2 the rest
// of -16 .. 15; of equal costs the smallest column is kept. A lane whose best is not below 16^2
// is finished by nearestColumnBeyondWindow.
void windowRowPass(const float* f, int w, int16_t* padded, int* sources) {
  int16_t* costs = padded + kWindowReach;
  std::fill(padded, costs, kNoEdgeInColumn);
  for (int c = 0; c < w; ++c) {
    costs[c] = f[c] == kBackgroundCost ? kNoEdgeInColumn : static_cast<int16_t>(f[c]);
  }
  std::fill(costs + w, costs + w + kWindowReach + kLanes, kNoEdgeInColumn);
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
      const __m256i cost = _mm256_add_epi16(
          _mm256_loadu_si256(reinterpret_cast<const __m256i*>(costs + q0 + o)),
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
    const __m256i columnsNear =
        _mm256_add_epi16(_mm256_add_epi16(_mm256_set1_epi16(static_cast<int16_t>(q0)), laneIndex),
                         leastOffset);
    const int lanes = std::min(kLanes, w - q0);
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
    const __m256i columns =
        _mm256_add_epi16(_mm256_add_epi16(_mm256_set1_epi16(static_cast<int16_t>(q0)), laneIndex),
                         leastOffset);
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

// Eight columns' rows from column j on: `row` where the EdgeMap holds an edge, `previous` elsewhere.
inline __m256i rowWhereEdge(const uchar* e, int j, __m256i row, const int* previous) {
  const __m256i v = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(e + j)));
  return _mm256_blendv_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(previous + j)), row,
                            _mm256_cmpeq_epi32(v, _mm256_set1_epi32(255)));
}

int sweepUpAvx2(const uchar* e, int i, int* nextBelow, int* here, int w) {
  const __m256i row = _mm256_set1_epi32(i);
  int j = 0;
  for (; j + 8 <= w; j += 8) {
    const __m256i below = rowWhereEdge(e, j, row, nextBelow);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(nextBelow + j), below);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(here + j), below);
  }
  return j;
}

int columnRowAvx2(const uchar* e, int i, int h, int* above, const int* down,
                  const int* nextBelow, float* cost, int* offset, int w) {
  const __m256i row = _mm256_set1_epi32(i);
  const __m256i far = _mm256_set1_epi32(kFar);
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

SCENETEXT_END_TARGET

// The column pass line by line, for maps too tall for the closed form.
void columnPassByLines(const cv::Mat& edges, TransformBuffers& b, LineBuffers& line) {
  const int h = edges.rows, w = edges.cols;
  for (int i = 0; i < h; ++i) {
    const uchar* e = edges.ptr<uchar>(i);
    for (int j = 0; j < w; ++j) b.f[i * w + j] = e[j] == 255 ? 0.0f : kBackgroundCost;
  }
  for (int j = 0; j < w; ++j) {
    for (int i = 0; i < h; ++i) b.column[i] = b.f[i * w + j];
    transformLine(b.column.data(), h, line);
    for (int i = 0; i < h; ++i) {
      b.f[i * w + j] = line.result[i];
      b.dRow[i * w + j] = i - line.source[i];
    }
  }
}


}  // namespace

std::vector<float> distanceTransform1D(std::span<const float> g, int mode, cv::Mat& offsets,
                                       int line) {
  const int n = static_cast<int>(g.size());
  CV_Assert(offsets.type() == CV_32FC2 && (mode == kColumnPass || mode == kRowPass));
  CV_Assert(n >= 1 && n == (mode == kColumnPass ? offsets.rows : offsets.cols));
  CV_Assert(line >= 0 && line < (mode == kColumnPass ? offsets.cols : offsets.rows));
  LineBuffers buffers(n);
  transformLine(g.data(), n, buffers);
  // In the row pass the offsets are rewritten in ascending q, so a source left of q gives the row
  // offset already rewritten in this pass.
  for (int q = 0; q < n; ++q) writeOffset(offsets, mode, line, q, buffers.source[q]);
  return buffers.result;
}

void nearestEdgeIndices(const cv::Mat& edges, std::vector<int>& indices) {
  CV_Assert(edges.type() == CV_8UC1 && !edges.empty());
  const int h = edges.rows, w = edges.cols;
  thread_local TransformBuffers b;
  thread_local LineBuffers line(0);
  b.resize(h, w);
  line.resize(std::max(h, w));
  bool wholeCosts = false;
  if (h <= kClosedFormColumnLimit) {
    wholeCosts = closedFormColumnPass(edges, b);
  } else {
    columnPassByLines(edges, b, line);
  }
  const bool byWindow = wholeCosts && w <= kWindowRowPassWidthLimit && haveAvx2();
  indices.resize(static_cast<size_t>(h) * w);
  for (int i = 0; i < h; ++i) {
    int* rowOffsets = b.dRow.data() + static_cast<size_t>(i) * w;
    int* out = indices.data() + static_cast<size_t>(i) * w;
    const float* costs = b.f.data() + static_cast<size_t>(i) * w;
    if (byWindow) {
      windowRowPass(costs, w, b.rowCosts.data(), line.source.data());
    } else {
      transformLine(costs, w, line);
    }
    for (int q = 0; q < w; ++q) {
      const int source = line.source[q];
      // Read in place in ascending q: left of q the row offset is the one rewritten in this pass.
      rowOffsets[q] = rowOffsets[source];
      // Column q - (q - source) = source of row i - rowOffsets[q].
      out[q] = (i - rowOffsets[q]) * w + source;
    }
  }
}

cv::Mat nearestEdgeTransform(const cv::Mat& edges) {
  std::vector<int> indices;
  nearestEdgeIndices(edges, indices);
  const int w = edges.cols;
  cv::Mat nearest(edges.size(), CV_32FC2);
  for (int i = 0; i < edges.rows; ++i) {
    cv::Vec2f* out = nearest.ptr<cv::Vec2f>(i);
    const int* at = indices.data() + static_cast<size_t>(i) * w;
    // Whole numbers: i - dRow and j - dCol in single precision are these exactly.
    for (int j = 0; j < w; ++j) {
      out[j] = cv::Vec2f(static_cast<float>(at[j] / w), static_cast<float>(at[j] % w));
    }
  }
  return nearest;
}

}  // namespace scenetext::features
