#include "features/stripe_contrasts.hpp"

#include <gtest/gtest.h>

#include <opencv2/core.hpp>

#include <cmath>
#include <cstring>

#include "straightforward/stripe_contrasts.hpp"

namespace scenetext::features {
namespace {

constexpr int kRows = 48;
constexpr int kCols = 96;

std::vector<float> allTenValues(const cv::Mat& map) {
  std::vector<float> values;
  for (const StripeLayout& layout : kStripeLayoutTable) {
    const std::vector<float> v = stripeContrasts(map, layout);
    values.insert(values.end(), v.begin(), v.end());
  }
  return values;
}

// On an all-ones 48 x 96 map every box value is its pixel count. The first row and column lie
// outside every box (TwoColumns: 47 * 48 - 47 * 47 = 47, not 0), and the third stripe of
// ThreeRows is S[F][0] + S[47][95] = (F + 1) + 4608: layout 1 gives |760 + 4648 - 2945| = 2463.
TEST(StripeContrasts, AllOnesMapGivesTheKnownTenValues) {
  const cv::Mat ones(kRows, kCols, CV_32FC1, cv::Scalar(1));
  const std::vector<float> values = allTenValues(ones);
  const std::vector<float> expected = {1363, 0.0611979f, 2463,       2.5621743f, 47,
                                       2353, 5871,       0.8361979f, 95,         0.0412326f};
  ASSERT_EQ(values.size(), expected.size());
  // The quoted fractions carry seven decimals (the last mean is 0.04123264 before rounding).
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_NEAR(values[i], expected[i], 1e-7 + 1e-6 * expected[i]) << "value " << i;
  }
  // Layout 0's mean contrast to the last bit: 2914 / 48 / 64 rounded to single precision, against
  // 1551 / 48 / 32 = 1.009765625 (exact), the difference rounded again.
  const float outerMean = static_cast<float>(2914.0 / 48.0 / 64.0);
  EXPECT_EQ(values[1], static_cast<float>(1.009765625 - outerMean));
  // The integral parts are exact.
  EXPECT_EQ(values[0], 1363.0f);
  EXPECT_EQ(values[2], 2463.0f);
  EXPECT_EQ(values[4], 47.0f);
  EXPECT_EQ(values[5], 2353.0f);
  EXPECT_EQ(values[6], 5871.0f);
  EXPECT_EQ(values[8], 95.0f);
}

TEST(StripeContrasts, ZeroMapGivesTenZeros) {
  const cv::Mat zeros(kRows, kCols, CV_32FC1, cv::Scalar(0));
  const std::vector<float> values = allTenValues(zeros);
  ASSERT_EQ(values.size(), 10u);
  for (float v : values) EXPECT_EQ(v, 0.0f);
}

TEST(StripeContrasts, UnknownKindGivesNoValue) {
  const cv::Mat ones(kRows, kCols, CV_32FC1, cv::Scalar(1));
  for (int kind : {0, 6, -1, 100}) {
    EXPECT_TRUE(stripeContrasts(ones, {kind, {0.5f, 0.5f, 0.5f, 0.5f}}).empty()) << "kind " << kind;
  }
}

TEST(StripeContrasts, ValuesAreNeverNegativeAndTenPerMap) {
  cv::Mat map(kRows, kCols, CV_32FC1);
  cv::RNG rng(7);
  rng.fill(map, cv::RNG::UNIFORM, -5.0, 5.0);
  const std::vector<float> values = allTenValues(map);
  ASSERT_EQ(values.size(), 10u);
  for (float v : values) EXPECT_GE(v, 0.0f);
}

TEST(StripeContrasts, SharedIntegralImageGivesTheSameValues) {
  cv::Mat map(kRows, kCols, CV_32FC1);
  cv::RNG rng(11);
  rng.fill(map, cv::RNG::UNIFORM, -300.0, 300.0);
  const cv::Mat integral = integralImage(map);
  for (const StripeLayout& layout : kStripeLayoutTable) {
    EXPECT_EQ(stripeContrastsOfIntegral(integral, layout), stripeContrasts(map, layout));
  }
}

// The split positions of every layout on a 48 x 96 map: boxes use F = floor(p * L), widths use N
// = p * L rounded half to even. They differ where p * L lies just below an integer
// (0.33333 * 96 = 31.99968: F = 31, N = 32).
TEST(StripeContrasts, SplitPositionTableFor48x96) {
  struct Row {
    int layout;
    std::vector<int> corners;
    std::vector<int> widths;
  };
  const std::vector<Row> table = {
      {0, {31, 64}, {32, 64}}, {1, {8, 39}, {8, 40}},   {2, {48}, {48}},
      {3, {24}, {24}},         {4, {20, 27}, {20, 28}}, {5, {8, 20, 27, 39}, {8, 20, 28, 40}},
  };
  for (const Row& row : table) {
    const StripeLayout& layout = kStripeLayoutTable[row.layout];
    const bool columns = layout.kind == kThreeColumns || layout.kind == kTwoColumns;
    for (size_t k = 0; k < row.corners.size(); ++k) {
      const SplitPosition split = splitPosition(layout.fractions[k], columns ? kCols : kRows);
      EXPECT_EQ(split.corner, row.corners[k]) << "layout " << row.layout << " fraction " << k;
      EXPECT_EQ(split.width, row.widths[k]) << "layout " << row.layout << " fraction " << k;
    }
  }
}

TEST(StripeContrasts, SplitWidthRoundsHalfToEven) {
  EXPECT_EQ(splitPosition(0.5f, 5).width, 2);  // 2.5
  EXPECT_EQ(splitPosition(0.5f, 7).width, 4);  // 3.5
  EXPECT_EQ(splitPosition(0.5f, 7).corner, 3);
}

TEST(IntegralImage, IsInclusiveWithoutAZeroBorder) {
  const cv::Mat map = (cv::Mat_<float>(2, 3) << 1, 2, 3, 4, 5, 6);
  const cv::Mat s = integralImage(map);
  ASSERT_EQ(s.size(), map.size());
  ASSERT_EQ(s.type(), CV_32FC1);
  const cv::Mat expected = (cv::Mat_<float>(2, 3) << 1, 3, 6, 5, 12, 21);
  EXPECT_EQ(cv::countNonZero(s != expected), 0);
}

// Each entry is evaluated in double and rounded once: S[1][1] = -2 + ((2^24 + 2) + 1 - 0) is
// exactly 2^24 + 1, a tie that rounds to even, 2^24. Rounding (2^24 + 2) + 1 to single precision
// first would give 2^24 + 4 and then 2^24 + 2.
TEST(IntegralImage, EachEntryIsRoundedOnceFromDouble) {
  const cv::Mat map = (cv::Mat_<float>(2, 2) << 0, 16777218.0f, 1, -2);
  const cv::Mat s = integralImage(map);
  EXPECT_EQ(s.at<float>(0, 1), 16777218.0f);
  EXPECT_EQ(s.at<float>(1, 0), 1.0f);
  EXPECT_EQ(s.at<float>(1, 1), 16777216.0f);
}

// The integral image entry by entry, rows top to bottom and each row left to right, as the
// definition reads; the library computes several rows side by side and must give the same bits.
cv::Mat literalIntegral(const cv::Mat& m) {
  cv::Mat s(m.size(), CV_32FC1);
  for (int y = 0; y < m.rows; ++y) {
    for (int x = 0; x < m.cols; ++x) {
      const double v = m.at<float>(y, x);
      if (y == 0 && x == 0) {
        s.at<float>(y, x) = static_cast<float>(v);
      } else if (y == 0) {
        s.at<float>(y, x) = static_cast<float>(s.at<float>(y, x - 1) + v);
      } else if (x == 0) {
        s.at<float>(y, x) = static_cast<float>(s.at<float>(y - 1, x) + v);
      } else {
        s.at<float>(y, x) = static_cast<float>(
            v + ((static_cast<double>(s.at<float>(y - 1, x)) + s.at<float>(y, x - 1)) -
                 s.at<float>(y - 1, x - 1)));
      }
    }
  }
  return s;
}

bool sameBits(const cv::Mat& a, const cv::Mat& b) {
  if (a.size() != b.size() || a.type() != b.type()) return false;
  for (int y = 0; y < a.rows; ++y) {
    if (std::memcmp(a.ptr(y), b.ptr(y), a.cols * a.elemSize()) != 0) return false;
  }
  return true;
}

// Values over many orders of magnitude and both signs, so that nearly every entry rounds.
cv::Mat roughMap(int rows, int cols, uint64_t seed) {
  cv::Mat m(rows, cols, CV_32FC1);
  cv::RNG rng(seed);
  for (int y = 0; y < rows; ++y) {
    for (int x = 0; x < cols; ++x) {
      m.at<float>(y, x) =
          static_cast<float>(rng.uniform(-1.0, 1.0) * std::pow(10.0, rng.uniform(-3, 8)));
    }
  }
  return m;
}

TEST(IntegralImage, EqualsTheEntryByEntryDefinitionOnEveryShape) {
  // Shapes around the group of rows computed together: fewer columns than rows in a group,
  // one row or column, and the 48 x 96 maps.
  const cv::Size sizes[] = {{1, 1}, {1, 9},  {9, 1},   {3, 7},    {7, 3},
                            {8, 9}, {9, 17}, {96, 48}, {100, 52}, {5, 40}};
  uint64_t seed = 1;
  for (const cv::Size& size : sizes) {
    const cv::Mat map = roughMap(size.height, size.width, seed++);
    EXPECT_TRUE(sameBits(integralImage(map), literalIntegral(map))) << size;
  }
}

}  // namespace
}  // namespace scenetext::features
