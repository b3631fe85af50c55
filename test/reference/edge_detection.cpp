#include "reference/edge_detection.hpp"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace scenetext::reference {

namespace {

// Taps of the sampled Gaussian are kept while exp(-d^2/2), in single precision, exceeds this.
constexpr double kSmallestTap = 0.0001;
// Largest half-width examined.
constexpr int kLargestHalfWidth = 30;
// Histogram of the normalised magnitude: 64 bins over [-1/126, 125/126).
constexpr int kBins = 64;
constexpr float kHistogramLower = static_cast<float>(-1.0 / 126.0);
constexpr float kHistogramUpper = static_cast<float>(125.0 / 126.0);
// Low threshold as a fraction of the high one.
constexpr double kLowRatio = 0.4;

float magnitudeAt(const cv::Mat& m, int x, int y) { return m.at<float>(y, x); }

bool inSector(int sector, float gx, float gy) {
  switch (sector) {
    case 1:
      return (gy <= 0 && gx > -gy) || (gy >= 0 && gx < -gy);
    case 2:
      return (gx > 0 && gx <= -gy) || (gx < 0 && gx >= -gy);
    case 3:
      return (gx <= 0 && gy < gx) || (gx >= 0 && gy > gx);
    case 4:
      return (gy < 0 && gy >= gx) || (gy > 0 && gy <= gx);
    default:
      return false;
  }
}

// d * a + (1 - d) * b in double, in the order written, rounded to single precision.
float interpolate(float d, float a, float b) {
  const double dd = d;
  return static_cast<float>(dd * static_cast<double>(a) + (1.0 - dd) * static_cast<double>(b));
}

// Decides one interior candidate of `sector` at (x, y).
bool isLocalMaximum(int sector, int x, int y, const cv::Mat& gxMap, const cv::Mat& gyMap,
                    const cv::Mat& m) {
  const float gx = gxMap.at<float>(y, x);
  const float gy = gyMap.at<float>(y, x);
  float d = 0.0f;
  float m1 = 0.0f;
  float m2 = 0.0f;
  if (sector == 1) {
    const float q = gy / gx;
    d = std::fabs(q);
    m1 = interpolate(d, magnitudeAt(m, x + 1, y - 1), magnitudeAt(m, x + 1, y));
    m2 = interpolate(d, magnitudeAt(m, x - 1, y + 1), magnitudeAt(m, x - 1, y));
  } else if (sector == 2) {
    const float q = gx / gy;
    d = std::fabs(q);
    m1 = interpolate(d, magnitudeAt(m, x + 1, y - 1), magnitudeAt(m, x, y - 1));
    m2 = interpolate(d, magnitudeAt(m, x - 1, y + 1), magnitudeAt(m, x, y + 1));
  } else if (sector == 3) {
    const float q = gx / gy;
    d = std::fabs(q);
    m1 = interpolate(d, magnitudeAt(m, x - 1, y - 1), magnitudeAt(m, x, y - 1));
    m2 = interpolate(d, magnitudeAt(m, x + 1, y + 1), magnitudeAt(m, x, y + 1));
  } else {
    const float q = gy / gx;
    d = std::fabs(q);
    m1 = interpolate(d, magnitudeAt(m, x - 1, y - 1), magnitudeAt(m, x - 1, y));
    m2 = interpolate(d, magnitudeAt(m, x + 1, y + 1), magnitudeAt(m, x + 1, y));
  }
  const float here = magnitudeAt(m, x, y);
  return here >= m1 && here >= m2;
}

// One pass of the thinning: reads `source` only, writes cleared pixels into a copy of it.
cv::Mat thinningPass(const cv::Mat& source, int pass) {
  cv::Mat destination = source.clone();
  for (int r = 0; r < source.rows; ++r) {
    for (int c = 0; c < source.cols; ++c) {
      if (source.at<float>(r, c) != 1.0f) continue;
      auto n = [&](int dr, int dc) { return static_cast<int>(source.at<float>(r + dr, c + dc)); };
      const int x1 = n(0, 1), x2 = n(-1, 1), x3 = n(-1, 0), x4 = n(-1, -1);
      const int x5 = n(0, -1), x6 = n(1, -1), x7 = n(1, 0), x8 = n(1, 1);
      const int crossing =
          ((x1 || x2) && !x3) + ((x3 || x4) && !x5) + ((x5 || x6) && !x7) + ((x7 || x8) && !x1);
      const int s1 = (x1 || x2) + (x3 || x4) + (x5 || x6) + (x7 || x8);
      const int s2 = (x2 || x3) + (x4 || x5) + (x6 || x7) + (x8 || x1);
      const int count = std::min(s1, s2);
      const bool passRule = pass == 1 ? !(x1 && (x2 || x3 || !x8)) : !(x5 && (x6 || x7 || !x4));
      if (crossing == 1 && (count == 2 || count == 3) && passRule) {
        destination.at<float>(r, c) = 0.0f;
      }
    }
  }
  return destination;
}

// Index of the first bin at which the single-precision running count exceeds N * fraction, + 1;
// 65 when none does.
int thresholdBin(const cv::Mat& normalised, float edgeFraction) {
  const int histSize[] = {kBins};
  const float range[] = {kHistogramLower, kHistogramUpper};
  const float* ranges[] = {range};
  const int channels[] = {0};
  cv::Mat histogram;
  cv::calcHist(&normalised, 1, channels, cv::Mat(), histogram, 1, histSize, ranges, true, false);
  const int n = normalised.rows * normalised.cols;
  const double limit = static_cast<double>(n) * static_cast<double>(edgeFraction);
  float total = 0.0f;
  for (int i = 0; i < kBins; ++i) {
    total = total + histogram.at<float>(i);
    if (static_cast<double>(total) > limit) return i + 1;
  }
  return kBins + 1;
}

}  // namespace

cv::Mat makeGreyPlane(const cv::Mat& image, int width, int height) {
  cv::Mat grey(height, width, CV_8UC1);
  if (image.channels() == 1) {
    cv::resize(image, grey, grey.size(), 0, 0, cv::INTER_LINEAR);
    return grey;
  }
  cv::Mat resampled(height, width, image.type());
  cv::resize(image, resampled, resampled.size(), 0, 0, cv::INTER_LINEAR);
  cv::cvtColor(resampled, grey, cv::COLOR_BGR2GRAY);
  return grey;
}

GaussianKernels buildGaussianKernels() {
  int h = 1;
  for (int d = 1; d <= kLargestHalfWidth; ++d) {
    if (static_cast<float>(std::exp(-static_cast<double>(d * d) / 2.0)) > kSmallestTap) h = d;
  }
  const int n = 2 * h + 1;
  GaussianKernels k;
  k.row.create(1, n, CV_32FC1);
  for (int j = -h; j <= h; ++j) {
    k.row.at<float>(0, j + h) =
        static_cast<float>(std::exp(-static_cast<double>(j * j) / 2.0) / (2.0 * CV_PI));
  }
  k.column.create(n, 1, CV_32FC1);
  for (int j = 0; j < n; ++j) k.column.at<float>(j, 0) = k.row.at<float>(0, j);
  // Built as the mirror of -x exp(-(x^2 + y^2)/2) / pi, then transposed element by element.
  cv::Mat unmirrored(n, n, CV_32FC1);
  for (int y = -h; y <= h; ++y) {
    for (int x = -h; x <= h; ++x) {
      unmirrored.at<float>(y + h, x + h) =
          static_cast<float>((-x * std::exp(-static_cast<double>(x * x + y * y) / 2.0)) / CV_PI);
    }
  }
  cv::flip(unmirrored, k.kx, 1);
  k.ky.create(n, n, CV_32FC1);
  for (int r = 0; r < n; ++r) {
    for (int c = 0; c < n; ++c) k.ky.at<float>(r, c) = k.kx.at<float>(c, r);
  }
  return k;
}

GradientMaps computeGradients(const cv::Mat& grey) {
  const GaussianKernels k = buildGaussianKernels();
  cv::Mat f(grey.rows, grey.cols, CV_32FC1);
  for (int r = 0; r < grey.rows; ++r) {
    for (int c = 0; c < grey.cols; ++c) {
      f.at<float>(r, c) = static_cast<float>(grey.at<uchar>(r, c) / 255.0);
    }
  }
  const cv::Point anchor(-1, -1);
  cv::filter2D(f, f, CV_32F, k.row, anchor, 0, cv::BORDER_REPLICATE);
  cv::filter2D(f, f, CV_32F, k.column, anchor, 0, cv::BORDER_REPLICATE);
  GradientMaps g;
  cv::filter2D(f, g.gx, CV_32F, k.kx, anchor, 0, cv::BORDER_REPLICATE);
  cv::filter2D(f, g.gy, CV_32F, k.ky, anchor, 0, cv::BORDER_REPLICATE);
  cv::Mat squareX;
  cv::Mat squareY;
  cv::pow(g.gx, 2.0, squareX);
  cv::pow(g.gy, 2.0, squareY);
  cv::add(squareX, squareY, squareX);
  cv::pow(squareX, 0.5, g.magnitude);
  return g;
}

void suppressNonMaxima(std::vector<EdgePoint>& points, int sector, const cv::Mat& gx,
                       const cv::Mat& gy, const cv::Mat& magnitude) {
  std::vector<EdgePoint> candidates;
  for (int y = 0; y < gx.rows; ++y) {
    for (int x = 0; x < gx.cols; ++x) {
      if (inSector(sector, gx.at<float>(y, x), gy.at<float>(y, x))) candidates.push_back({x, y});
    }
  }
  std::vector<EdgePoint> interior;
  for (const EdgePoint& p : candidates) {
    if (p.x != 0 && p.y != 0 && p.x != gx.cols - 1 && p.y != gx.rows - 1) interior.push_back(p);
  }
  if (interior.empty()) return;
  for (const EdgePoint& p : interior) {
    if (isLocalMaximum(sector, p.x, p.y, gx, gy, magnitude)) points.push_back(p);
  }
}

void thinEdges(cv::Mat& t) {
  const int rows = t.rows + 2;
  const int cols = t.cols + 2;
  cv::Mat p(rows, cols, CV_32FC1, cv::Scalar(0.0));
  for (int r = 0; r < t.rows; ++r) {
    for (int c = 0; c < t.cols; ++c) {
      p.at<float>(r + 1, c + 1) = t.at<float>(r, c) >= 0.5f ? 1.0f : 0.0f;
    }
  }
  for (;;) {
    const cv::Mat a = thinningPass(p, 1);
    const cv::Mat b = thinningPass(a, 2);
    cv::Mat equal;
    cv::compare(b, p, equal, cv::CMP_EQ);
    const bool converged = cv::countNonZero(equal) == rows * cols;
    b.copyTo(p);
    if (converged) break;
  }
  for (int r = 0; r < t.rows; ++r) {
    for (int c = 0; c < t.cols; ++c) t.at<float>(r, c) = p.at<float>(r + 1, c + 1);
  }
}

cv::Mat detectEdges(const cv::Mat& image, float edgeFraction) {
  const int width = image.cols;
  const int height = image.rows;
  const cv::Mat grey = makeGreyPlane(image, width, height);
  const GradientMaps g = computeGradients(grey);

  cv::Mat m = g.magnitude.clone();
  double maxValue = 0.0;
  cv::minMaxLoc(m, nullptr, &maxValue);
  if (maxValue != 0.0) {
    for (int r = 0; r < height; ++r) {
      for (int c = 0; c < width; ++c) {
        m.at<float>(r, c) = static_cast<float>(static_cast<double>(m.at<float>(r, c)) / maxValue);
      }
    }
  }

  const int k = thresholdBin(m, edgeFraction);
  const double high = k / 64.0;
  const double low = kLowRatio * high;

  cv::Mat e(height, width, CV_8UC1, cv::Scalar(0));
  std::vector<EdgePoint> strong;
  for (int sector = 1; sector <= 4; ++sector) {
    std::vector<EdgePoint> points;
    suppressNonMaxima(points, sector, g.gx, g.gy, m);
    for (const EdgePoint& p : points) {
      const float v = m.at<float>(p.y, p.x);
      if (v > low) {
        e.at<uchar>(p.y, p.x) = 1;
        if (v > high) strong.push_back(p);
      }
    }
  }

  // A seed that an earlier fill already relabelled finds nothing to change, and OpenCV 4 clears a
  // mask of the whole image on every call, so such seeds are passed over.
  for (const EdgePoint& p : strong) {
    if (e.at<uchar>(p.y, p.x) == 2) continue;
    cv::floodFill(e, cv::Point(p.x, p.y), cv::Scalar(2), nullptr, cv::Scalar(0), cv::Scalar(0), 8);
  }
  for (int r = 0; r < height; ++r) {
    for (int c = 0; c < width; ++c) e.at<uchar>(r, c) = e.at<uchar>(r, c) == 2 ? 255 : 0;
  }

  cv::Mat t(height, width, CV_32FC1);
  for (int r = 0; r < height; ++r) {
    for (int c = 0; c < width; ++c) t.at<float>(r, c) = e.at<uchar>(r, c);
  }
  thinEdges(t);
  for (int r = 0; r < height; ++r) {
    for (int c = 0; c < width; ++c) {
      e.at<uchar>(r, c) = static_cast<uchar>(static_cast<int>(t.at<float>(r, c) * 255) & 0xFF);
    }
  }

  cv::Mat result(height, width, CV_8UC1, cv::Scalar(0));
  for (int r = 0; r < height; ++r) {
    for (int c = 0; c < width; ++c) result.at<uchar>(r, c) = e.at<uchar>(r, c);
  }
  return result;
}

GradientMaps computeGradientMaps(const cv::Mat& image) {
  const int width = (image.cols + 3) / 4 * 4;
  const int height = (image.rows + 3) / 4 * 4;
  const cv::Mat grey = makeGreyPlane(image, width, height);
  const GradientMaps g = computeGradients(grey);
  GradientMaps out;
  out.gx = g.gx.clone();
  out.gy = g.gy.clone();
  out.magnitude = g.magnitude.clone();
  return out;
}

}  // namespace scenetext::reference
