#include "straightforward/nearest_edge.hpp"

namespace scenetext::features {
namespace {

// The lower envelope of the parabolas rooted at g[0..n-1]: the winning position of every q.
std::vector<int> envelopeSources(std::span<const float> g) {
  const int n = static_cast<int>(g.size());
  const auto intersect = [&](int q, int p) {
    const double rootQ = static_cast<double>(g[q]) + q * q;
    const double rootP = static_cast<double>(g[p]) + p * p;
    return static_cast<float>((rootQ - rootP) / static_cast<double>(2 * q - 2 * p));
  };
  std::vector<int> v(n);
  std::vector<float> z(n + 1);
  int k = 0;
  v[0] = 0;
  z[0] = -kBackgroundCost;
  z[1] = kBackgroundCost;
  for (int q = 1; q < n; ++q) {
    float s = intersect(q, v[k]);
    while (k > 0 && s <= z[k]) {
      --k;
      s = intersect(q, v[k]);
    }
    ++k;
    v[k] = q;
    z[k] = s;
    z[k + 1] = kBackgroundCost;
  }
  std::vector<int> sources(n);
  k = 0;
  for (int q = 0; q < n; ++q) {
    while (z[k + 1] < static_cast<float>(q)) ++k;  // strict: a bound keeps the earlier source
    sources[q] = v[k];
  }
  return sources;
}

}  // namespace

std::vector<float> distanceTransform1D(std::span<const float> g, int mode, cv::Mat& offsets,
                                       int line) {
  const int n = static_cast<int>(g.size());
  CV_Assert(offsets.type() == CV_32FC2 && (mode == kColumnPass || mode == kRowPass));
  CV_Assert(n >= 1 && n == (mode == kColumnPass ? offsets.rows : offsets.cols));
  CV_Assert(line >= 0 && line < (mode == kColumnPass ? offsets.cols : offsets.rows));
  const std::vector<int> sources = envelopeSources(g);
  std::vector<float> result(n);
  for (int q = 0; q < n; ++q) {
    const int v = sources[q];
    result[q] = g[v] + static_cast<float>((q - v) * (q - v));
    if (mode == kColumnPass) {
      offsets.at<cv::Vec2f>(q, line)[0] = static_cast<float>(q - v);
    } else {
      cv::Vec2f& d = offsets.at<cv::Vec2f>(line, q);
      d[1] = static_cast<float>(q - v);
      d[0] = offsets.at<cv::Vec2f>(line, v)[0];
    }
  }
  return result;
}

cv::Mat nearestEdgeTransform(const cv::Mat& edges) {
  std::vector<int> indices;
  nearestEdgeIndices(edges, indices);
  const int w = edges.cols;
  cv::Mat nearest(edges.size(), CV_32FC2);
  for (int i = 0; i < edges.rows; ++i) {
    for (int j = 0; j < w; ++j) {
      const int at = indices[static_cast<size_t>(i) * w + j];
      nearest.at<cv::Vec2f>(i, j) =
          cv::Vec2f(static_cast<float>(at / w), static_cast<float>(at % w));
    }
  }
  return nearest;
}

}  // namespace scenetext::features
