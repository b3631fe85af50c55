#pragma once

// Stripe contrasts: a feature map is cut into two, three or five stripes along its columns or
// rows; the stripe sums come from an inclusive integral image, and the stripes of one group are
// compared with those of the other. Every value of the FeatureVector is one of these contrasts.

#include <array>
#include <vector>

#include <opencv2/core.hpp>

namespace scenetext::features {

// How a layout cuts the map. Any other kind yields no value.
enum StripeKind : int {
  kThreeColumns = 1,
  kThreeRows = 2,
  kTwoColumns = 3,
  kTwoRows = 4,
  kFiveRows = 5
};

// A kind and its split fractions (single precision); kinds that need fewer than four fractions
// leave the rest 0.
struct StripeLayout {
  int kind;
  std::array<float, 4> fractions;
};

// The six layouts of every feature map, in the order the model's feature indices address:
// ThreeColumns 0.33333/0.66667, ThreeRows 0.16667/0.83333, TwoColumns 0.5, TwoRows 0.5,
// ThreeRows 0.41667/0.58333, FiveRows 0.16667/0.41667/0.58333/0.83333. Together they yield ten
// values per map (layouts 2 and 3 one each, the others two).
extern const std::array<StripeLayout, 6> kStripeLayoutTable;

// The split of a side of length L at fraction p: t = p * L in double precision (L taken as a
// single-precision number), `corner` = floor(t) for box corners, `width` = t rounded half to
// even for the normalising widths. For W = 96 and p = 0.33333: corner 31, width 32.
struct SplitPosition {
  int corner;
  int width;
};
SplitPosition splitPosition(float fraction, int sideLength);

// The inclusive integral image of a CV_32FC1 map: a new CV_32FC1 matrix of the same size with
// S[y][x] = sum of map[i][j] over i <= y, j <= x (no extra zero row or column). Each entry is
// evaluated in double precision from the already-stored single-precision neighbours and stored in
// single precision before the next one, rows top to bottom, each row left to right.
// Precondition: a non-empty CV_32FC1 map (cv::Exception otherwise).
cv::Mat integralImage(const cv::Mat& map);

// The contrasts of one layout from an integral image built with integralImage(): 0, 1 or 2
// values, never negative; where there are two, the sum contrast comes first and the mean contrast
// second. The first row and the first column of the map lie outside every stripe. A map so small
// that a normalising width is 0 gives an infinite or NaN mean contrast; the 48 x 96 maps never do.
std::vector<float> stripeContrastsOfIntegral(const cv::Mat& integral, const StripeLayout& layout);

// Read access to an integral image wherever it is stored: entry (y, x) at
// data[y * rowStride + x * columnStep] (columnStep 4 for one of four interleaved images).
struct IntegralView {
  const float* data;
  int rows;
  int cols;
  size_t rowStride;
  int columnStep;
  float at(int y, int x) const { return data[y * rowStride + static_cast<size_t>(x) * columnStep]; }
  // A CV_32FC1 integral image (cv::Exception for another type or an empty one).
  static IntegralView of(const cv::Mat& integral);
};

// The values of all six layouts of kStripeLayoutTable from one integral image, in table order:
// the ten values of one feature map.
inline constexpr int kTableValueCount = 10;
std::array<float, kTableValueCount> tableContrasts(const IntegralView& integral);

}  // namespace scenetext::features
