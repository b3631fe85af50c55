#include "edges/thinning.hpp"

#include <algorithm>
#include <array>

namespace scenetext::edges {
namespace {

// Neighbour bits of a pixel, row index growing downwards: x1 east, x2 north-east, x3 north,
// x4 north-west, x5 west, x6 south-west, x7 south, x8 south-east; xk is bit k - 1.
constexpr int kNeighbourPatterns = 256;

// Whether a foreground pixel with these neighbours is cleared by pass 1 or pass 2.
bool isDeletable(int neighbours, int pass) {
  const auto bit = [neighbours](int k) { return (neighbours >> (k - 1)) & 1; };
  const int x1 = bit(1), x2 = bit(2), x3 = bit(3), x4 = bit(4);
  const int x5 = bit(5), x6 = bit(6), x7 = bit(7), x8 = bit(8);
  // Exactly one 0-to-1 crossing around the pixel: removing it does not split the foreground.
  const int crossings =
      ((x1 | x2) & !x3) + ((x3 | x4) & !x5) + ((x5 | x6) & !x7) + ((x7 | x8) & !x1);
  if (crossings != 1) return false;
  // Two or three neighbours: the pixel is neither a line end nor an interior pixel.
  const int s1 = (x1 | x2) + (x3 | x4) + (x5 | x6) + (x7 | x8);
  const int s2 = (x2 | x3) + (x4 | x5) + (x6 | x7) + (x8 | x1);
  const int count = std::min(s1, s2);
  if (count < 2 || count > 3) return false;
  // Pass 1 peels south-east boundary pixels, pass 2 north-west ones.
  if (pass == 1) return !(x1 && (x2 || x3 || !x8));
  return !(x5 && (x6 || x7 || !x4));
}

// The decisions depend on the eight neighbours only, so they are tabulated once per pass.
using DeletionTable = std::array<bool, kNeighbourPatterns>;
const DeletionTable& deletionTable(int pass) {
  static const std::array<DeletionTable, 2> tables = [] {
    std::array<DeletionTable, 2> t{};
    for (int n = 0; n < kNeighbourPatterns; ++n) {
      t[0][n] = isDeletable(n, 1);
      t[1][n] = isDeletable(n, 2);
    }
    return t;
  }();
  return tables[pass - 1];
}

int neighbourBits(const uchar* above, const uchar* row, const uchar* below, int c) {
  return row[c + 1] | above[c + 1] << 1 | above[c] << 2 | above[c - 1] << 3 | row[c - 1] << 4 |
         below[c - 1] << 5 | below[c] << 6 | below[c + 1] << 7;
}

// One sub-iteration: `dst` starts as a copy of `src` and every decision reads `src` only, so the
// order of the visit does not matter. Returns whether any pixel was cleared. The frame of `src`
// is background and is never examined.
bool thinningPass(const cv::Mat& src, cv::Mat& dst, int pass) {
  const DeletionTable& deletable = deletionTable(pass);
  src.copyTo(dst);
  bool cleared = false;
  for (int r = 1; r < src.rows - 1; ++r) {
    const uchar* above = src.ptr<uchar>(r - 1);
    const uchar* in = src.ptr<uchar>(r);
    const uchar* below = src.ptr<uchar>(r + 1);
    uchar* out = dst.ptr<uchar>(r);
    for (int c = 1; c < src.cols - 1; ++c) {
      if (in[c] != 1 || !deletable[neighbourBits(above, in, below, c)]) continue;
      out[c] = 0;
      cleared = true;
    }
  }
  return cleared;
}

}  // namespace

void thinEdges(cv::Mat& t) {
  CV_Assert(t.type() == CV_32FC1);
  // A one-pixel frame of background lets the outermost pixels thin like any other.
  cv::Mat p = cv::Mat::zeros(t.rows + 2, t.cols + 2, CV_8UC1);
  for (int r = 0; r < t.rows; ++r) {
    const float* in = t.ptr<float>(r);
    uchar* out = p.ptr<uchar>(r + 1);
    for (int c = 0; c < t.cols; ++c) out[c + 1] = in[c] >= 0.5f ? 1 : 0;
  }
  // Passes only clear pixels, so an iteration that clears nothing leaves the matrix unchanged:
  // that is the stopping point.
  cv::Mat a;
  cv::Mat b;
  for (;;) {
    const bool clearedFirst = thinningPass(p, a, 1);
    const bool clearedSecond = thinningPass(a, b, 2);
    std::swap(p, b);
    if (!clearedFirst && !clearedSecond) break;
  }
  for (int r = 0; r < t.rows; ++r) {
    const uchar* in = p.ptr<uchar>(r + 1);
    float* out = t.ptr<float>(r);
    for (int c = 0; c < t.cols; ++c) out[c] = in[c + 1] ? 1.0f : 0.0f;
  }
}

}  // namespace scenetext::edges
