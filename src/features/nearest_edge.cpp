#include "features/nearest_edge.hpp"

#include <algorithm>
#include <cstdint>

#include "common/instruction_sets.hpp"
#include "features/nearest_edge_avx2.hpp"

namespace scenetext::features {

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
// (windowRowPassAvx2 in nearest_edge_avx2.cpp).
constexpr int kWindowRowPassWidthLimit = 512;  // keeps the bounds' rounding below 1 / (2 (w - 1))

// The per-call buffers of nearestEdgeIndices, kept per thread: a candidate's transform is only a
// few dozen kilobytes, but it runs for every candidate.
struct TransformBuffers {
  std::vector<float> f;    // costs, row-major h x w
  std::vector<int> dRow;   // row offsets of the chosen positions, row-major
  std::vector<int> below;  // the nearest edge row at or below each pixel
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
    rowCosts.resize(static_cast<size_t>(w) + kWindowRowCostsPadding);
  }
};

constexpr int kFar = kFarEdgeRow;

// f and the row offsets after the column pass of `edges`; whether the map has an edge.
bool closedFormColumnPass(const cv::Mat& edges, TransformBuffers& b) {
  const int h = edges.rows, w = edges.cols;
  // Rows of the nearest edge above (at or above) and below (at or below) each pixel, with far
  // sentinels where there is none, so that every choice is a plain comparison and the loops
  // run over whole rows of columns at once.
  std::fill(b.nextBelow.begin(), b.nextBelow.end(), kFar);
  for (int i = h - 1; i >= 0; --i) {
    const uchar* e = edges.ptr<uchar>(i);
    int* here = b.below.data() + static_cast<size_t>(i) * w;
    int j = 0;
#ifdef SCENETEXT_X86_SIMD
    if (haveAvx2()) j = sweepUpAvx2(e, i, b.nextBelow.data(), here, w);
#endif
    for (; j < w; ++j) {
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
    int j = 0;
#ifdef SCENETEXT_X86_SIMD
    if (haveAvx2()) {
      j = columnRowAvx2(e, i, h, b.above.data(), down, b.nextBelow.data(), cost, offset, w);
    }
#endif
    for (; j < w; ++j) {
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

// The row pass of one row: the chosen column of every position into line.source. With whole
// costs the window pass (AVX2) gives the envelope's choices without the envelope.
void rowPass(const float* costs, int w, [[maybe_unused]] bool wholeCosts,
             [[maybe_unused]] TransformBuffers& b, LineBuffers& line) {
#ifdef SCENETEXT_X86_SIMD
  if (wholeCosts && w <= kWindowRowPassWidthLimit && haveAvx2()) {
    return windowRowPassAvx2(costs, w, b.rowCosts.data(), line.source.data());
  }
#endif
  transformLine(costs, w, line);
}

}  // namespace

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
  indices.resize(static_cast<size_t>(h) * w);
  for (int i = 0; i < h; ++i) {
    int* rowOffsets = b.dRow.data() + static_cast<size_t>(i) * w;
    int* out = indices.data() + static_cast<size_t>(i) * w;
    const float* costs = b.f.data() + static_cast<size_t>(i) * w;
    rowPass(costs, w, wholeCosts, b, line);
    for (int q = 0; q < w; ++q) {
      const int source = line.source[q];
      // Read in place in ascending q: left of q the row offset is the one rewritten in this pass.
      rowOffsets[q] = rowOffsets[source];
      // Column q - (q - source) = source of row i - rowOffsets[q].
      out[q] = (i - rowOffsets[q]) * w + source;
    }
  }
}

}  // namespace scenetext::features
