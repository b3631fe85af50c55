#include "reference/features.hpp"

#include <opencv2/imgproc.hpp>

#include <cmath>

#include "reference/edge_detection.hpp"

namespace scenetext::reference {

namespace {

// The RegionPatch: 96 wide, 48 high.
constexpr int kPatchWidth = 96;
constexpr int kPatchHeight = 48;
constexpr int kFeatureCount = 190;
// Every caller of the edge detector passes this fraction.
constexpr float kEdgeFraction = 0.9f;
// Orientation families: 16 bin bounds, windows three bounds wide.
constexpr int kBinCount = 16;
constexpr int kBandSpan = 3;
// Cost of a background pixel in the distance transform.
constexpr float kInfinity = 1e20f;

// Corner index F and normalising width N of fraction p over a side of length L.
struct Split {
  int corner;
  int width;
};

Split splitAt(float p, int length) {
  const double t = static_cast<double>(p) * static_cast<double>(static_cast<float>(length));
  return {static_cast<int>(std::floor(t)), static_cast<int>(std::nearbyint(t))};
}

// S[y1][x1] + S[y0][x0] - S[y0][x1] - S[y1][x0] in double, stored in single precision.
float box(const cv::Mat& s, int y0, int x0, int y1, int x1) {
  const double v = static_cast<double>(s.at<float>(y1, x1)) + s.at<float>(y0, x0) -
                   s.at<float>(y0, x1) - s.at<float>(y1, x0);
  return static_cast<float>(v);
}

// Two corner terms only, stored in single precision.
float twoTerm(const cv::Mat& s, int row, int h, int w) {
  return static_cast<float>(static_cast<double>(s.at<float>(row, 0)) + s.at<float>(h - 1, w - 1));
}

// A stripe sum divided by the side (as a single-precision number), then by the integer width.
float mean(double stripeSum, int side, int width) {
  return static_cast<float>(stripeSum / static_cast<double>(static_cast<float>(side)) /
                            static_cast<double>(width));
}

float meanContrast(float first, float second) {
  return std::fabs(static_cast<float>(static_cast<double>(first) - static_cast<double>(second)));
}

float sumContrast(double value) { return std::fabs(static_cast<float>(value)); }

std::vector<float> threeColumns(const cv::Mat& s, const StripeLayout& l, int h, int w) {
  const Split p0 = splitAt(l.fractions[0], w);
  const Split p1 = splitAt(l.fractions[1], w);
  const float a = box(s, 0, 0, h - 1, p0.corner);
  const float b = box(s, 0, p0.corner, h - 1, p1.corner);
  const float d = box(s, 0, p1.corner, h - 1, w - 1);
  const double outer = static_cast<double>(a) + static_cast<double>(d);
  return {sumContrast(outer - b),
          meanContrast(mean(outer, h, p0.width + w - p1.width), mean(b, h, p1.width - p0.width))};
}

std::vector<float> threeRows(const cv::Mat& s, const StripeLayout& l, int h, int w) {
  const Split p0 = splitAt(l.fractions[0], h);
  const Split p1 = splitAt(l.fractions[1], h);
  const float a = box(s, 0, 0, p0.corner, w - 1);
  const float b = box(s, p0.corner, 0, p1.corner, w - 1);
  const float d = twoTerm(s, p1.corner, h, w);
  const double outer = static_cast<double>(a) + static_cast<double>(d);
  return {sumContrast(outer - b),
          meanContrast(mean(outer, w, p0.width + h - p1.width), mean(b, w, p1.width - p0.width))};
}

std::vector<float> twoColumns(const cv::Mat& s, const StripeLayout& l, int h, int w) {
  const Split p0 = splitAt(l.fractions[0], w);
  const float a = box(s, 0, 0, h - 1, p0.corner);
  const float b = box(s, 0, p0.corner, h - 1, w - 1);
  return {sumContrast(static_cast<double>(a) - static_cast<double>(b))};
}

std::vector<float> twoRows(const cv::Mat& s, const StripeLayout& l, int h, int w) {
  const Split p0 = splitAt(l.fractions[0], h);
  const float a = box(s, 0, 0, p0.corner, w - 1);
  const float b = twoTerm(s, p0.corner, h, w);
  return {sumContrast(static_cast<double>(a) - static_cast<double>(b))};
}

std::vector<float> fiveRows(const cv::Mat& s, const StripeLayout& l, int h, int w) {
  const Split q0 = splitAt(l.fractions[0], h);
  const Split q1 = splitAt(l.fractions[1], h);
  const Split q2 = splitAt(l.fractions[2], h);
  const Split q3 = splitAt(l.fractions[3], h);
  const float p0 = box(s, 0, 0, q0.corner, w - 1);
  const float p1 = box(s, q0.corner, 0, q1.corner, w - 1);
  const float p2 = box(s, q1.corner, 0, q2.corner, w - 1);
  const float p3 = box(s, q2.corner, 0, q3.corner, w - 1);
  const float p4 = box(s, q3.corner, 0, h - 1, w - 1);
  const double even = static_cast<double>(p0) + static_cast<double>(p2) + static_cast<double>(p4);
  const double odd = static_cast<double>(p1) + static_cast<double>(p3);
  const double all = static_cast<double>(p0) + static_cast<double>(p2) + static_cast<double>(p4) -
                     static_cast<double>(p1) - static_cast<double>(p3);
  const int evenWidth = q0.width - q1.width + q2.width - q3.width + h;
  const int oddWidth = (q1.width - q0.width) + (q3.width - q2.width);
  return {sumContrast(all), meanContrast(mean(even, w, evenWidth), mean(odd, w, oddWidth))};
}

}  // namespace

std::array<StripeLayout, 6> stripeLayoutTable() {
  return {{{1, {0.33333f, 0.66667f, 0.0f, 0.0f}},
           {2, {0.16667f, 0.83333f, 0.0f, 0.0f}},
           {3, {0.5f, 0.0f, 0.0f, 0.0f}},
           {4, {0.5f, 0.0f, 0.0f, 0.0f}},
           {2, {0.41667f, 0.58333f, 0.0f, 0.0f}},
           {5, {0.16667f, 0.41667f, 0.58333f, 0.83333f}}}};
}

cv::Mat integralImage(const cv::Mat& m) {
  cv::Mat s(m.rows, m.cols, CV_32FC1);
  for (int y = 0; y < m.rows; ++y) {
    for (int x = 0; x < m.cols; ++x) {
      const double here = m.at<float>(y, x);
      double v = 0.0;
      if (y == 0 && x == 0) {
        v = here;
      } else if (y == 0) {
        v = static_cast<double>(s.at<float>(0, x - 1)) + here;
      } else if (x == 0) {
        v = static_cast<double>(s.at<float>(y - 1, 0)) + here;
      } else {
        v = here + ((static_cast<double>(s.at<float>(y - 1, x)) + s.at<float>(y, x - 1)) -
                    s.at<float>(y - 1, x - 1));
      }
      s.at<float>(y, x) = static_cast<float>(v);
    }
  }
  return s;
}

std::vector<float> stripeContrasts(const cv::Mat& map, const StripeLayout& layout) {
  const cv::Mat s = integralImage(map);
  const int h = map.rows;
  const int w = map.cols;
  switch (layout.kind) {
    case 1:
      return threeColumns(s, layout, h, w);
    case 2:
      return threeRows(s, layout, h, w);
    case 3:
      return twoColumns(s, layout, h, w);
    case 4:
      return twoRows(s, layout, h, w);
    case 5:
      return fiveRows(s, layout, h, w);
    default:
      return {};
  }
}

std::vector<cv::Mat> gradientFeatureMaps(const cv::Mat& patch) {
  const GradientMaps g = computeGradientMaps(patch);
  return {g.gx, g.gy, g.magnitude};
}

cv::Mat edgeProjectionMap(const cv::Mat& patch) {
  const cv::Mat e = detectEdges(patch, kEdgeFraction);
  cv::Mat rowCounts(e.rows, 1, CV_32FC1, cv::Scalar(0.0));
  cv::Mat columnCounts(1, e.cols, CV_32FC1, cv::Scalar(0.0));
  cv::Mat p(e.rows, e.cols, CV_32FC1, cv::Scalar(0.0));
  for (int i = 0; i < e.rows; ++i) {
    for (int j = 0; j < e.cols; ++j) {
      if (e.at<uchar>(i, j) != 0) {
        rowCounts.at<float>(i, 0) = rowCounts.at<float>(i, 0) + 1.0f;
        columnCounts.at<float>(0, j) = columnCounts.at<float>(0, j) + 1.0f;
      }
    }
  }
  for (int i = 0; i < e.rows; ++i) {
    for (int j = 0; j < e.cols; ++j) {
      p.at<float>(i, j) = rowCounts.at<float>(i, 0) * columnCounts.at<float>(0, j);
    }
  }
  return p;
}

std::vector<float> distanceTransform1D(const std::vector<float>& g, int mode, cv::Mat& offsets,
                                       int line) {
  const int n = static_cast<int>(g.size());
  std::vector<int> v(n);
  std::vector<float> z(n + 1);
  int k = 0;
  v[0] = 0;
  z[0] = -kInfinity;
  z[1] = kInfinity;
  auto intersection = [&](int q) {
    const int vk = v[k];
    const double numerator = (static_cast<double>(g[q]) + static_cast<double>(q * q)) -
                             (static_cast<double>(g[vk]) + static_cast<double>(vk * vk));
    return static_cast<float>(numerator / static_cast<double>(2 * q - 2 * vk));
  };
  for (int q = 1; q <= n - 1; ++q) {
    float s = intersection(q);
    while (s <= z[k]) {
      k = k - 1;
      s = intersection(q);
    }
    k = k + 1;
    v[k] = q;
    z[k] = s;
    z[k + 1] = kInfinity;
  }
  std::vector<float> result(n);
  k = 0;
  for (int q = 0; q <= n - 1; ++q) {
    while (z[k + 1] < q) k = k + 1;
    const int source = v[k];
    result[q] = g[source] + static_cast<float>((q - source) * (q - source));
    if (mode == 0) {
      offsets.at<cv::Vec2f>(q, line)[0] = static_cast<float>(q - source);
    } else {
      offsets.at<cv::Vec2f>(line, q)[1] = static_cast<float>(q - source);
      offsets.at<cv::Vec2f>(line, q)[0] = offsets.at<cv::Vec2f>(line, source)[0];
    }
  }
  return result;
}

cv::Mat nearestEdgeTransform(const cv::Mat& edges) {
  const int h = edges.rows;
  const int w = edges.cols;
  cv::Mat f(h, w, CV_32FC1);
  cv::Mat d(h, w, CV_32FC2, cv::Scalar(0.0, 0.0));
  for (int i = 0; i < h; ++i) {
    for (int j = 0; j < w; ++j) f.at<float>(i, j) = edges.at<uchar>(i, j) == 255 ? 0.0f : kInfinity;
  }
  for (int j = 0; j < w; ++j) {
    std::vector<float> column(h);
    for (int i = 0; i < h; ++i) column[i] = f.at<float>(i, j);
    const std::vector<float> out = distanceTransform1D(column, 0, d, j);
    for (int i = 0; i < h; ++i) f.at<float>(i, j) = out[i];
  }
  for (int i = 0; i < h; ++i) {
    std::vector<float> row(w);
    for (int j = 0; j < w; ++j) row[j] = f.at<float>(i, j);
    const std::vector<float> out = distanceTransform1D(row, 1, d, i);
    for (int j = 0; j < w; ++j) f.at<float>(i, j) = out[j];
  }
  cv::Mat nearest(h, w, CV_32FC2);
  for (int i = 0; i < h; ++i) {
    for (int j = 0; j < w; ++j) {
      const cv::Vec2f offset = d.at<cv::Vec2f>(i, j);
      nearest.at<cv::Vec2f>(i, j) =
          cv::Vec2f(static_cast<float>(i) - offset[0], static_cast<float>(j) - offset[1]);
    }
  }
  return nearest;
}

cv::Mat orientationMap(const cv::Mat& grey) {
  cv::Mat image;
  grey.convertTo(image, CV_32F);
  cv::Mat dxMap;
  cv::Mat dyMap;
  cv::Sobel(image, dxMap, CV_32F, 1, 0, 3, 1, 0, cv::BORDER_REPLICATE);
  cv::Sobel(image, dyMap, CV_32F, 0, 1, 3, 1, 0, cv::BORDER_REPLICATE);
  cv::Mat g(grey.rows, grey.cols, CV_32FC1);
  for (int y = 0; y < grey.rows; ++y) {
    for (int x = 0; x < grey.cols; ++x) {
      const float dx = dxMap.at<float>(y, x);
      const float dy = dyMap.at<float>(y, x);
      float t = 0.0f;
      if (!(dx == 0 && dy == 0)) {
        t = static_cast<float>(std::atan2(static_cast<double>(dy), static_cast<double>(dx)));
        if (static_cast<double>(t) <= -CV_PI / 2) {
          t = static_cast<float>(static_cast<double>(t) + 3 * CV_PI);
        } else if (static_cast<double>(t) > CV_PI / 2) {
          t = static_cast<float>(static_cast<double>(t) + CV_PI);
        }
      }
      g.at<float>(y, x) = t;
    }
  }
  return g;
}

std::vector<float> orientationBinBounds(int binCount) {
  std::vector<float> b(binCount);
  for (int j = 0; j < binCount; ++j) {
    b[j] = static_cast<float>((j + 1) * CV_PI / binCount + 3 * CV_PI / 2);
  }
  return b;
}

std::vector<cv::Mat> orientationBandMaps(const cv::Mat& patch, int binCount, int bandSpan) {
  cv::Mat grey;
  if (patch.channels() == 1) {
    grey = patch.clone();
  } else {
    cv::cvtColor(patch, grey, cv::COLOR_BGR2GRAY);
  }
  const cv::Mat e = detectEdges(grey, kEdgeFraction);
  const cv::Mat g = orientationMap(grey);
  const cv::Mat n = nearestEdgeTransform(e);
  bool anyEdge = false;
  for (int y = 0; y < e.rows; ++y) {
    for (int x = 0; x < e.cols; ++x) anyEdge = anyEdge || e.at<uchar>(y, x) == 255;
  }
  // Without an edge pixel there is no orientation to carry: every map stays 0.
  cv::Mat o(patch.rows, patch.cols, CV_32FC1, cv::Scalar(0.0));
  if (anyEdge) {
    for (int y = 0; y < o.rows; ++y) {
      for (int x = 0; x < o.cols; ++x) {
        const cv::Vec2f at = n.at<cv::Vec2f>(y, x);
        o.at<float>(y, x) = g.at<float>(static_cast<int>(at[0]), static_cast<int>(at[1]));
      }
    }
  }
  std::vector<cv::Mat> maps{o};
  const std::vector<float> b = orientationBinBounds(binCount);
  for (int window = 0; window <= binCount - bandSpan; ++window) {
    cv::Mat m(o.rows, o.cols, CV_32FC1, cv::Scalar(0.0));
    for (int y = 0; y < o.rows; ++y) {
      for (int x = 0; x < o.cols; ++x) {
        const float v = o.at<float>(y, x);
        if (b[window] <= v && v <= b[window + bandSpan - 1]) m.at<float>(y, x) = v;
      }
    }
    maps.push_back(m);
  }
  return maps;
}

cv::Mat computeFeatureVector(const cv::Mat& region) {
  cv::Mat patch(kPatchHeight, kPatchWidth, region.type());
  cv::resize(region, patch, patch.size(), 0, 0, cv::INTER_LINEAR);
  const std::array<StripeLayout, 6> layouts = stripeLayoutTable();
  cv::Mat features(1, kFeatureCount, CV_32FC1, cv::Scalar(0.0));
  int position = 0;
  for (int family = 0; family < 3; ++family) {
    std::vector<cv::Mat> maps;
    if (family == 0) maps = gradientFeatureMaps(patch);
    if (family == 1) maps = {edgeProjectionMap(patch)};
    if (family == 2) maps = orientationBandMaps(patch, kBinCount, kBandSpan);
    for (const cv::Mat& map : maps) {
      for (const StripeLayout& layout : layouts) {
        for (float value : stripeContrasts(map, layout)) features.at<float>(0, position++) = value;
      }
    }
  }
  CV_Assert(position == kFeatureCount);
  return features;
}

}  // namespace scenetext::reference
