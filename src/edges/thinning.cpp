#include "edges/thinning.hpp"

#include <algorithm>

namespace scenetext::edges {
namespace {

// Whether the foreground pixel at (r, c) of the padded 0/1 matrix `src` is cleared by pass 1 or
// pass 2. Neighbours, row index growing downwards: x1 east, x2 north-east, x3 north, x4
// north-west, x5 west, x6 south-west, x7 south, x8 south-east.
bool isDeletable(const cv::Mat& src, int r, int c, int pass) {
  const uchar* above = src.ptr<uchar>(r - 1);
  const uchar* row = src.ptr<uchar>(r);
  const uchar* below = src.ptr<uchar>(r + 1);
  const int x1 = row[c + 1], x2 = above[c + 1], x3 = above[c], x4 = above[c - 1];
  const int x5 = row[c - 1], x6 = below[c - 1], x7 = below[c], x8 = below[c + 1];

  // Exactly one 0-to-1 crossing around the pixel: removing it does not split the foreground.
  const int crossings =
      ((x1 | x2) & !x3) + ((x3 | x4) & !x5) + ((x5 | x6) & !x7) + ((x7 | x8) & !x1);
  if (crossings != 1) return false;
  // Two or three neighbours: the pixel is neither a line end nor an interior pixel.
  const int s1 = (x1 | x2) + (x3 | x4) + (x5 | x6) + (x7 | x8);
  const int s2 = (x2 | x3) + (x4 | x5) + (x6 | x7) + (x8 | x1);
  const int neighbours = std::min(s1, s2);
  if (neighbours < 2 || neighbours > 3) return false;
  // Pass 1 peels south-east boundary pixels, pass 2 north-west ones.
  if (pass == 1) return !(x1 && (x2 || x3 || !x8));
  return !(x5 && (x6 || x7 || !x4));
}

// One sub-iteration: `dst` starts as a copy of `src` and every decision reads `src` only, so the
// order of the visit does not matter. Returns whether any pixel was cleared. The frame of `src`
// is background and is never examined.
bool thinningPass(const cv::Mat& src, cv::Mat& dst, int pass) {
  src.copyTo(dst);
  bool cleared = false;
  for (int r = 1; r < src.rows - 1; ++r) {
    const uchar* in = src.ptr<uchar>(r);
    uchar* out = dst.ptr<uchar>(r);
    for (int c = 1; c < src.cols - 1; ++c) {
      if (in[c] != 1 || !isDeletable(src, r, c, pass)) continue;
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
