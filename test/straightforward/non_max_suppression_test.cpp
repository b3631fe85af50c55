#include "straightforward/non_max_suppression.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace scenetext::edges {
namespace {

struct Field {
  cv::Mat gx, gy, magnitude;
};

// One gradient everywhere and a magnitude plateau of 1.
Field uniformField(int rows, int cols, float gx, float gy) {
  return {cv::Mat(rows, cols, CV_32FC1, cv::Scalar(gx)),
          cv::Mat(rows, cols, CV_32FC1, cv::Scalar(gy)),
          cv::Mat(rows, cols, CV_32FC1, cv::Scalar(1.0))};
}

std::vector<EdgePoint> run(int sector, const Field& f) {
  std::vector<EdgePoint> points;
  suppressNonMaxima(points, sector, f.gx, f.gy, f.magnitude);
  return points;
}

TEST(SuppressNonMaximaTest, SectorsPartitionTheGradientsOnTheirBoundaries) {
  // On a plateau every interior pixel ties with its neighbours and is kept (non-strict
  // comparisons), so the 3 x 3 interior of a 5 x 5 field shows which sector owns a gradient.
  const struct {
    float gx, gy;
    int sector;
  } cases[] = {
      {2, 0, 1},  {-2, 0, 1},  {3, -1, 1}, {-3, 1, 1},  {1, -1, 2}, {-1, 1, 2},
      {1, -3, 2}, {-1, 3, 2},  {0, 1, 3},  {0, -1, 3},  {1, 3, 3},  {-1, -3, 3},
      {1, 1, 4},  {-1, -1, 4}, {3, 1, 4},  {-3, -1, 4}, {0, 0, 0},
  };
  for (const auto& c : cases) {
    const Field field = uniformField(5, 5, c.gx, c.gy);
    for (int sector = 1; sector <= 4; ++sector)
      EXPECT_EQ(run(sector, field).size(), sector == c.sector ? 9u : 0u)
          << "gx " << c.gx << " gy " << c.gy << " sector " << sector;
  }
}

TEST(SuppressNonMaximaTest, InteriorPointsInRowMajorOrder) {
  const std::vector<EdgePoint> points = run(1, uniformField(4, 5, 2, 0));
  ASSERT_EQ(points.size(), 6u);
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(points[i].x, 1 + i % 3);
    EXPECT_EQ(points[i].y, 1 + i / 3);
  }
  for (const cv::Size size : {cv::Size(2, 5), cv::Size(5, 2)})
    EXPECT_TRUE(run(1, uniformField(size.height, size.width, 2, 0)).empty()) << size;
}

TEST(SuppressNonMaximaTest, ComparesWithTheTwoNeighboursAlongTheGradient) {
  // With d = 0 or 1 the centre of a 3 x 3 field meets exactly two neighbours: a larger
  // magnitude there drops it, anywhere else it does not.
  const struct {
    float gx, gy;
    int sector;
    cv::Point a, b;
  } cases[] = {
      {2, 0, 1, {1, 0}, {-1, 0}},   {-2, 0, 1, {1, 0}, {-1, 0}},  // d = 0: east and west
      {1, 1, 4, {-1, -1}, {1, 1}},                                // d = 1: north-west, south-east
      {1, -1, 2, {1, -1}, {-1, 1}},                               // d = 1: north-east, south-west
      {0, 1, 3, {0, -1}, {0, 1}},                                 // d = 0: north and south
  };
  for (const auto& c : cases)
    for (int dy = -1; dy <= 1; ++dy)
      for (int dx = -1; dx <= 1; ++dx) {
        if (dx == 0 && dy == 0) continue;
        Field field = uniformField(3, 3, c.gx, c.gy);
        field.magnitude.at<float>(1 + dy, 1 + dx) = 2.0f;
        const bool compared = cv::Point(dx, dy) == c.a || cv::Point(dx, dy) == c.b;
        EXPECT_EQ(run(c.sector, field).size(), compared ? 0u : 1u)
            << "gx " << c.gx << " gy " << c.gy << " neighbour " << dx << "," << dy;
      }
}

TEST(SuppressNonMaximaTest, InterpolationRoundsToSinglePrecision) {
  // Sector 1 with gx = 3, gy = -1: d = |(-1)/3| with the quotient rounded to float first. Each
  // centre equals m1 as specified, so it ties and is kept; rounded otherwise it would be below.
  const double d = std::fabs(-1.0f / 3.0f);
  // `otherwise` is m1 under the other reading (0: none differs).
  const struct {
    float northEast, east;
    double otherwise;
  } cases[] = {
      {0, 1, static_cast<float>(1.0 - 1.0 / 3.0)},  // quotient in double: 0.666666687
      {1, 2, d * 1.0 + (1.0 - d) * 2.0},            // m1 compared in double, unrounded
      {3, 0, 0.0},
  };
  for (const auto& c : cases) {
    Field field = uniformField(3, 3, 3, -1);
    field.magnitude.setTo(0);
    field.magnitude.at<float>(0, 2) = c.northEast;
    field.magnitude.at<float>(1, 2) = c.east;
    const float centre = static_cast<float>(d * c.northEast + (1.0 - d) * c.east);
    field.magnitude.at<float>(1, 1) = centre;
    EXPECT_EQ(run(1, field).size(), 1u) << c.northEast << "," << c.east;
    field.magnitude.at<float>(1, 1) = std::nextafter(centre, 0.0f);
    EXPECT_TRUE(run(1, field).empty()) << c.northEast << "," << c.east;
    if (c.otherwise > 0) {
      EXPECT_GT(c.otherwise, centre) << "the case would not tell";
    }
  }
}

TEST(SuppressNonMaximaTest, NaNMagnitudeIsDropped) {
  Field field = uniformField(3, 3, 2, 0);
  field.magnitude.at<float>(1, 2) = std::numeric_limits<float>::quiet_NaN();
  EXPECT_TRUE(run(1, field).empty());
}

// The labels of one scan against the four sector lists with the two thresholds applied. Whole
// numbers and signed zeros put many gradients on sector boundaries (|gx| = |gy|, gx = 0, gy = -0),
// where a pixel in two sectors or in none would show.
TEST(LabelLocalMaximaTest, EqualsTheFourSectorListsWithBothThresholds) {
  cv::RNG rng(7);
  for (int trial = 0; trial < 20; ++trial) {
    Field field;
    for (cv::Mat* g : {&field.gx, &field.gy}) {
      cv::Mat whole(19, 26, CV_32S);
      rng.fill(whole, cv::RNG::UNIFORM, -3, 4);
      whole.convertTo(*g, CV_32F);
      for (int k = 0; k < 40; ++k) g->at<float>(rng.uniform(0, 19), rng.uniform(0, 26)) = -0.0f;
    }
    field.magnitude.create(19, 26, CV_32FC1);
    rng.fill(field.magnitude, cv::RNG::UNIFORM, 0.0f, 1.0f);
    const double low = 0.2, high = 0.6;
    cv::Mat expected = cv::Mat::zeros(19, 26, CV_8UC1);
    cv::Mat expectedStrong = cv::Mat::zeros(19, 26, CV_8UC1);
    for (int sector = 1; sector <= 4; ++sector) {
      for (const EdgePoint& p : run(sector, field)) {
        const double v = field.magnitude.at<float>(p.y, p.x);
        if (v > low) ++expected.at<uchar>(p.y, p.x);
        if (v > high) expectedStrong.at<uchar>(p.y, p.x) = 1;
      }
    }
    ASSERT_LE(cv::norm(expected, cv::NORM_INF), 1.0) << "a pixel in two sectors";
    cv::Mat labels;
    std::vector<EdgePoint> strong;
    labelLocalMaxima(field.gx, field.gy, field.magnitude, low, high, labels, strong);
    EXPECT_EQ(cv::norm(labels, expected, cv::NORM_INF), 0.0) << "trial " << trial;
    cv::Mat strongMap = cv::Mat::zeros(19, 26, CV_8UC1);
    for (size_t i = 0; i < strong.size(); ++i) {
      strongMap.at<uchar>(strong[i].y, strong[i].x) = 1;
      if (i > 0) {
        EXPECT_LT(strong[i - 1].y * 26 + strong[i - 1].x, strong[i].y * 26 + strong[i].x);
      }
    }
    EXPECT_EQ(cv::norm(strongMap, expectedStrong, cv::NORM_INF), 0.0) << "trial " << trial;
  }
}

}  // namespace
}  // namespace scenetext::edges
