#include "features/nearest_edge.hpp"

#include <algorithm>

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

// The per-call buffers of nearestEdgeIndices, kept per thread: a candidate's transform is only a
// few dozen kilobytes, but it runs for every candidate.
struct TransformBuffers {
  std::vector<float> f;     // costs, row-major h x w
  std::vector<int> dRow;    // row offsets of the chosen positions, row-major
  std::vector<int> below;   // the nearest edge row at or below each pixel
  std::vector<int> nextBelow, above;
  std::vector<float> column;
  void resize(int h, int w) {
    const size_t n = static_cast<size_t>(h) * w;
    f.resize(n);
    dRow.resize(n);
    below.resize(n);
    nextBelow.resize(w);
    above.resize(w);
    column.resize(h);
  }
};

// f and the row offsets after the column pass of `edges`.
void closedFormColumnPass(const cv::Mat& edges, TransformBuffers& b) {
  const int h = edges.rows, w = edges.cols;
  // Rows of the nearest edge above (at or above) and below (at or below) each pixel, with far
  // sentinels where there is none, so that every choice is a plain comparison and the loops
  // run over whole rows of columns at once.
  constexpr int kFar = 1 << 20;
  std::fill(b.nextBelow.begin(), b.nextBelow.end(), kFar);
  for (int i = h - 1; i >= 0; --i) {
    const uchar* e = edges.ptr<uchar>(i);
    int* here = b.below.data() + static_cast<size_t>(i) * w;
    for (int j = 0; j < w; ++j) {
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
    for (int j = 0; j < w; ++j) {
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
  if (h <= kClosedFormColumnLimit) {
    closedFormColumnPass(edges, b);
  } else {
    columnPassByLines(edges, b, line);
  }
  indices.resize(static_cast<size_t>(h) * w);
  for (int i = 0; i < h; ++i) {
    int* rowOffsets = b.dRow.data() + static_cast<size_t>(i) * w;
    int* out = indices.data() + static_cast<size_t>(i) * w;
    transformLine(b.f.data() + static_cast<size_t>(i) * w, w, line);
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
