#include "features/nearest_edge.hpp"

#include <algorithm>

namespace scenetext::features {

namespace {

// The intersection of the parabolas rooted at q and v, formed in double precision (a float cost
// plus an int square would otherwise be added in single precision) and rounded to single.
float intersection(std::span<const float> g, int q, int v) {
  const double s = ((static_cast<double>(g[q]) + q * q) - (static_cast<double>(g[v]) + v * v)) /
                   static_cast<double>(2 * q - 2 * v);
  return static_cast<float>(s);
}

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

std::vector<float> distanceTransform1D(std::span<const float> g, int mode, cv::Mat& offsets, int line) {
  const int n = static_cast<int>(g.size());
  CV_Assert(offsets.type() == CV_32FC2 && (mode == kColumnPass || mode == kRowPass));
  CV_Assert(n >= 1 && n == (mode == kColumnPass ? offsets.rows : offsets.cols));
  CV_Assert(line >= 0 && line < (mode == kColumnPass ? offsets.cols : offsets.rows));

  std::vector<int> v(n);
  std::vector<float> z(n + 1);
  int k = 0;
  v[0] = 0;
  z[0] = -kBackgroundCost;
  z[1] = kBackgroundCost;
  for (int q = 1; q < n; ++q) {
    float s = intersection(g, q, v[k]);
    // With costs between 0 and 1e20, s never reaches -1e20 and the bound stops the walk at k = 0;
    // the k > 0 test only keeps arbitrary costs from walking off the envelope.
    while (k > 0 && s <= z[k]) {
      --k;
      s = intersection(g, q, v[k]);
    }
    ++k;
    v[k] = q;
    z[k] = s;
    z[k + 1] = kBackgroundCost;
  }

  std::vector<float> result(n);
  k = 0;
  for (int q = 0; q < n; ++q) {
    // Strict: a position exactly on a bound stays with the earlier source.
    while (z[k + 1] < static_cast<float>(q)) ++k;
    const int d = q - v[k];
    result[q] = g[v[k]] + static_cast<float>(d * d);
    writeOffset(offsets, mode, line, q, v[k]);
  }
  return result;
}

cv::Mat nearestEdgeTransform(const cv::Mat& edges) {
  CV_Assert(edges.type() == CV_8UC1 && !edges.empty());
  const int h = edges.rows, w = edges.cols;
  cv::Mat f(h, w, CV_32FC1);
  for (int i = 0; i < h; ++i) {
    for (int j = 0; j < w; ++j) f.at<float>(i, j) = edges.at<uchar>(i, j) == 255 ? 0.0f : kBackgroundCost;
  }
  cv::Mat offsets(h, w, CV_32FC2, cv::Scalar::all(0));

  std::vector<float> column(h);
  for (int j = 0; j < w; ++j) {
    for (int i = 0; i < h; ++i) column[i] = f.at<float>(i, j);
    const std::vector<float> out = distanceTransform1D(column, kColumnPass, offsets, j);
    for (int i = 0; i < h; ++i) f.at<float>(i, j) = out[i];
  }
  for (int i = 0; i < h; ++i) {
    const std::vector<float> out =
        distanceTransform1D(std::span<const float>(f.ptr<float>(i), w), kRowPass, offsets, i);
    std::copy(out.begin(), out.end(), f.ptr<float>(i));
  }

  cv::Mat nearest(h, w, CV_32FC2);
  for (int i = 0; i < h; ++i) {
    for (int j = 0; j < w; ++j) {
      const cv::Vec2f d = offsets.at<cv::Vec2f>(i, j);
      nearest.at<cv::Vec2f>(i, j) = cv::Vec2f(static_cast<float>(i) - d[0], static_cast<float>(j) - d[1]);
    }
  }
  return nearest;
}

}  // namespace scenetext::features
