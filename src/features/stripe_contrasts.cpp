#include "features/stripe_contrasts.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

namespace scenetext::features {

// Five-decimal literals, not exact thirds, sixths and twelfths: the stored models were trained on
// the splits these single-precision numbers give.
const std::array<StripeLayout, 6> kStripeLayoutTable = {{
    {kThreeColumns, {0.33333f, 0.66667f, 0.0f, 0.0f}},
    {kThreeRows, {0.16667f, 0.83333f, 0.0f, 0.0f}},
    {kTwoColumns, {0.5f, 0.0f, 0.0f, 0.0f}},
    {kTwoRows, {0.5f, 0.0f, 0.0f, 0.0f}},
    {kThreeRows, {0.41667f, 0.58333f, 0.0f, 0.0f}},
    {kFiveRows, {0.16667f, 0.41667f, 0.58333f, 0.83333f}},
}};

namespace {

// Sum of the map over rows y0+1..y1 and columns x0+1..x1: four corner reads, summed in double
// and stored in single precision.
float box(const cv::Mat& s, int y0, int x0, int y1, int x1) {
  const double sum = static_cast<double>(s.at<float>(y1, x1)) + s.at<float>(y0, x0) -
                     s.at<float>(y0, x1) - s.at<float>(y1, x0);
  return static_cast<float>(sum);
}

// The third stripe of ThreeRows and the lower part of TwoRows are two corner terms, not a box:
// S[row][0] + S[H-1][W-1]. The trained models depend on this value, so it is kept as it is.
float twoTermStripe(const cv::Mat& s, int row) {
  const double sum = static_cast<double>(s.at<float>(row, 0)) + s.at<float>(s.rows - 1, s.cols - 1);
  return static_cast<float>(sum);
}

// The one or two values of a layout, without a heap allocation.
struct LayoutValues {
  std::array<float, 2> values;
  int count;
};

float sumContrast(double difference) { return std::fabs(static_cast<float>(difference)); }

// Each group's sum is divided by the side length (a single-precision number) and then by the
// group's integer width; each mean is rounded to single precision, and so is their difference.
float meanContrast(double sumA, int widthA, double sumB, int widthB, int side) {
  const double sideLength = static_cast<float>(side);
  const float meanA = static_cast<float>(sumA / sideLength / static_cast<double>(widthA));
  const float meanB = static_cast<float>(sumB / sideLength / static_cast<double>(widthB));
  return std::fabs(static_cast<float>(static_cast<double>(meanA) - meanB));
}

LayoutValues threeColumns(const cv::Mat& s, const StripeLayout& layout) {
  const int h = s.rows, w = s.cols;
  const SplitPosition p0 = splitPosition(layout.fractions[0], w);
  const SplitPosition p1 = splitPosition(layout.fractions[1], w);
  const float a = box(s, 0, 0, h - 1, p0.corner);
  const float b = box(s, 0, p0.corner, h - 1, p1.corner);
  const float d = box(s, 0, p1.corner, h - 1, w - 1);
  const double outer = static_cast<double>(a) + d;
  return {{sumContrast(outer - b),
           meanContrast(outer, p0.width + w - p1.width, b, p1.width - p0.width, h)},
          2};
}

LayoutValues threeRows(const cv::Mat& s, const StripeLayout& layout) {
  const int h = s.rows, w = s.cols;
  const SplitPosition p0 = splitPosition(layout.fractions[0], h);
  const SplitPosition p1 = splitPosition(layout.fractions[1], h);
  const float a = box(s, 0, 0, p0.corner, w - 1);
  const float b = box(s, p0.corner, 0, p1.corner, w - 1);
  const float d = twoTermStripe(s, p1.corner);
  const double outer = static_cast<double>(a) + d;
  return {{sumContrast(outer - b),
           meanContrast(outer, p0.width + h - p1.width, b, p1.width - p0.width, w)},
          2};
}

LayoutValues twoColumns(const cv::Mat& s, const StripeLayout& layout) {
  const int h = s.rows, w = s.cols;
  const SplitPosition p0 = splitPosition(layout.fractions[0], w);
  const float a = box(s, 0, 0, h - 1, p0.corner);
  const float b = box(s, 0, p0.corner, h - 1, w - 1);
  return {{sumContrast(static_cast<double>(a) - b), 0.0f}, 1};
}

LayoutValues twoRows(const cv::Mat& s, const StripeLayout& layout) {
  const int w = s.cols;
  const SplitPosition p0 = splitPosition(layout.fractions[0], s.rows);
  const float a = box(s, 0, 0, p0.corner, w - 1);
  const float b = twoTermStripe(s, p0.corner);
  return {{sumContrast(static_cast<double>(a) - b), 0.0f}, 1};
}

LayoutValues fiveRows(const cv::Mat& s, const StripeLayout& layout) {
  const int h = s.rows, w = s.cols;
  std::array<SplitPosition, 4> p;
  for (int k = 0; k < 4; ++k) p[k] = splitPosition(layout.fractions[k], h);
  const float p0 = box(s, 0, 0, p[0].corner, w - 1);
  const float p1 = box(s, p[0].corner, 0, p[1].corner, w - 1);
  const float p2 = box(s, p[1].corner, 0, p[2].corner, w - 1);
  const float p3 = box(s, p[2].corner, 0, p[3].corner, w - 1);
  const float p4 = box(s, p[3].corner, 0, h - 1, w - 1);
  const double even = static_cast<double>(p0) + p2 + p4;
  const double odd = static_cast<double>(p1) + p3;
  const int evenWidth = p[0].width - p[1].width + p[2].width - p[3].width + h;
  const int oddWidth = (p[1].width - p[0].width) + (p[3].width - p[2].width);
  return {{sumContrast(static_cast<double>(p0) + p2 + p4 - p1 - p3),
           meanContrast(even, evenWidth, odd, oddWidth, w)},
          2};
}

}  // namespace

SplitPosition splitPosition(float fraction, int sideLength) {
  const double t =
      static_cast<double>(fraction) * static_cast<double>(static_cast<float>(sideLength));
  // nearbyint under the default rounding mode rounds ties to even.
  return {static_cast<int>(std::floor(t)), static_cast<int>(std::nearbyint(t))};
}

namespace {

// Rows computed together by the integral image. Within a row every entry waits for its left
// neighbour (a chain of a conversion, three additions and a rounding), but the rows of a group
// are independent once the row above is known, so a group runs its rows side by side, each one
// column behind the row above it, and the processor overlaps their chains.
constexpr int kIntegralRowGroup = 8;

// S[y][x] = m + ((S[y-1][x] + S[y][x-1]) - S[y-1][x-1]), in double, stored in single precision.
inline float interiorEntry(float m, float above, float left, float aboveLeft) {
  return static_cast<float>(m + ((static_cast<double>(above) + left) - aboveLeft));
}

// Entries of rows y0 .. y0 + Rows - 1 (y0 >= 1) of S, whose row y0 - 1 is complete; row y0 + r
// handles column t - r at step t. The map's element is element(m[y][x]).
template <int Rows, typename Element>
void integrateRowGroup(const cv::Mat& m, cv::Mat& s, int y0, const Element& element) {
  const int cols = m.cols;
  const float* in[Rows];
  float* out[Rows];
  float left[Rows] = {};
  for (int r = 0; r < Rows; ++r) {
    in[r] = m.ptr<float>(y0 + r);
    out[r] = s.ptr<float>(y0 + r);
  }
  // The row above row r is out[r - 1] (or row y0 - 1 of S for r = 0).
  const float* firstAbove = s.ptr<float>(y0 - 1);
  const auto above = [&](int r) { return r == 0 ? firstAbove : out[r - 1]; };
  const auto entry = [&](int r, int x) {
    const float v = element(in[r][x]);
    const float* up = above(r);
    left[r] = x == 0 ? static_cast<float>(static_cast<double>(up[0]) + v)
                     : interiorEntry(v, up[x], left[r], up[x - 1]);
    out[r][x] = left[r];
  };
  const int steps = cols + Rows - 1;
  int t = 0;
  // Until step Rows - 1 some row is still at column 0 or not yet started.
  for (; t < std::min(Rows, steps); ++t) {
    for (int r = 0; r < Rows; ++r) {
      if (t - r >= 0 && t - r < cols) entry(r, t - r);
    }
  }
  // Steady state: every row of the group is at a column between 1 and cols - 1.
  for (; t < cols; ++t) {
#pragma GCC unroll 8
    for (int r = 0; r < Rows; ++r) {
      const int x = t - r;
      const float* up = above(r);
      left[r] = interiorEntry(element(in[r][x]), up[x], left[r], up[x - 1]);
      out[r][x] = left[r];
    }
  }
  for (; t < steps; ++t) {
    for (int r = 0; r < Rows; ++r) {
      if (t - r >= 0 && t - r < cols) entry(r, t - r);
    }
  }
}

template <typename Element>
cv::Mat integrate(const cv::Mat& m, const Element& element) {
  cv::Mat s(m.rows, m.cols, CV_32FC1);
  const float* in = m.ptr<float>(0);
  float* out = s.ptr<float>(0);
  out[0] = element(in[0]);
  for (int x = 1; x < m.cols; ++x) {
    out[x] = static_cast<float>(static_cast<double>(out[x - 1]) + element(in[x]));
  }
  int y0 = 1;
  for (; y0 + kIntegralRowGroup <= m.rows; y0 += kIntegralRowGroup) {
    integrateRowGroup<kIntegralRowGroup>(m, s, y0, element);
  }
  // The rows left over (7 of the 47 below row 0 of a 48-row map) as one smaller group.
  switch (m.rows - y0) {
    case 0:
      break;
    case 1:
      integrateRowGroup<1>(m, s, y0, element);
      break;
    case 2:
      integrateRowGroup<2>(m, s, y0, element);
      break;
    case 3:
      integrateRowGroup<3>(m, s, y0, element);
      break;
    case 4:
      integrateRowGroup<4>(m, s, y0, element);
      break;
    case 5:
      integrateRowGroup<5>(m, s, y0, element);
      break;
    case 6:
      integrateRowGroup<6>(m, s, y0, element);
      break;
    default:
      integrateRowGroup<7>(m, s, y0, element);
      break;
  }
  return s;
}

}  // namespace

cv::Mat integralImage(const cv::Mat& map) {
  CV_Assert(map.type() == CV_32FC1 && !map.empty());
  return integrate(map, [](float v) { return v; });
}

cv::Mat windowedIntegralImage(const cv::Mat& map, float lower, float upper) {
  CV_Assert(map.type() == CV_32FC1 && !map.empty());
  // The window test selects the value or +0 through a bit mask rather than a branch, which the
  // scattered band pixels would mispredict.
  return integrate(map, [lower, upper](float v) {
    const uint32_t keep = 0u - static_cast<uint32_t>((lower <= v) & (v <= upper));
    return std::bit_cast<float>(std::bit_cast<uint32_t>(v) & keep);
  });
}

namespace {

LayoutValues layoutValues(const cv::Mat& integral, const StripeLayout& layout) {
  switch (layout.kind) {
    case kThreeColumns:
      return threeColumns(integral, layout);
    case kThreeRows:
      return threeRows(integral, layout);
    case kTwoColumns:
      return twoColumns(integral, layout);
    case kTwoRows:
      return twoRows(integral, layout);
    case kFiveRows:
      return fiveRows(integral, layout);
    default:
      return {{0.0f, 0.0f}, 0};
  }
}

}  // namespace

std::vector<float> stripeContrastsOfIntegral(const cv::Mat& integral, const StripeLayout& layout) {
  CV_Assert(integral.type() == CV_32FC1 && !integral.empty());
  const LayoutValues v = layoutValues(integral, layout);
  return std::vector<float>(v.values.begin(), v.values.begin() + v.count);
}

std::array<float, kTableValueCount> tableContrastsOfIntegral(const cv::Mat& integral) {
  CV_Assert(integral.type() == CV_32FC1 && !integral.empty());
  std::array<float, kTableValueCount> values{};
  int position = 0;
  for (const StripeLayout& layout : kStripeLayoutTable) {
    const LayoutValues v = layoutValues(integral, layout);
    for (int i = 0; i < v.count; ++i) values[position++] = v.values[i];
  }
  return values;
}

std::vector<float> stripeContrasts(const cv::Mat& map, const StripeLayout& layout) {
  return stripeContrastsOfIntegral(integralImage(map), layout);
}

}  // namespace scenetext::features
