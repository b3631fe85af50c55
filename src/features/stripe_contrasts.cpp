#include "features/stripe_contrasts.hpp"

#include <cmath>

#include "features/integral_image.hpp"

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
float box(const IntegralView& s, int y0, int x0, int y1, int x1) {
  const double sum = static_cast<double>(s.at(y1, x1)) + s.at(y0, x0) - s.at(y0, x1) - s.at(y1, x0);
  return static_cast<float>(sum);
}

// The third stripe of ThreeRows and the lower part of TwoRows are two corner terms, not a box:
// S[row][0] + S[H-1][W-1]. The trained models depend on this value, so it is kept as it is.
float twoTermStripe(const IntegralView& s, int row) {
  const double sum = static_cast<double>(s.at(row, 0)) + s.at(s.rows - 1, s.cols - 1);
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

LayoutValues threeColumns(const IntegralView& s, const StripeLayout& layout) {
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

LayoutValues threeRows(const IntegralView& s, const StripeLayout& layout) {
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

LayoutValues twoColumns(const IntegralView& s, const StripeLayout& layout) {
  const int h = s.rows, w = s.cols;
  const SplitPosition p0 = splitPosition(layout.fractions[0], w);
  const float a = box(s, 0, 0, h - 1, p0.corner);
  const float b = box(s, 0, p0.corner, h - 1, w - 1);
  return {{sumContrast(static_cast<double>(a) - b), 0.0f}, 1};
}

LayoutValues twoRows(const IntegralView& s, const StripeLayout& layout) {
  const int w = s.cols;
  const SplitPosition p0 = splitPosition(layout.fractions[0], s.rows);
  const float a = box(s, 0, 0, p0.corner, w - 1);
  const float b = twoTermStripe(s, p0.corner);
  return {{sumContrast(static_cast<double>(a) - b), 0.0f}, 1};
}

LayoutValues fiveRows(const IntegralView& s, const StripeLayout& layout) {
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

cv::Mat integralImage(const cv::Mat& map) {
  CV_Assert(map.type() == CV_32FC1 && !map.empty());
  cv::Mat s(map.rows, map.cols, CV_32FC1);
  integrateMap(map.ptr<float>(0), map.step1(), s.ptr<float>(0), s.step1(), map.rows, map.cols);
  return s;
}

namespace {

LayoutValues layoutValues(const IntegralView& integral, const StripeLayout& layout) {
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

IntegralView IntegralView::of(const cv::Mat& integral) {
  CV_Assert(integral.type() == CV_32FC1 && !integral.empty());
  return {integral.ptr<float>(0), integral.rows, integral.cols, integral.step1(), 1};
}

std::vector<float> stripeContrastsOfIntegral(const cv::Mat& integral, const StripeLayout& layout) {
  const LayoutValues v = layoutValues(IntegralView::of(integral), layout);
  return std::vector<float>(v.values.begin(), v.values.begin() + v.count);
}

std::array<float, kTableValueCount> tableContrasts(const IntegralView& integral) {
  std::array<float, kTableValueCount> values{};
  int position = 0;
  for (const StripeLayout& layout : kStripeLayoutTable) {
    const LayoutValues v = layoutValues(integral, layout);
    for (int i = 0; i < v.count; ++i) values[position++] = v.values[i];
  }
  return values;
}

}  // namespace scenetext::features
