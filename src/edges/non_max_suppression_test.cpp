#include "edges/non_max_suppression.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace scenetext::edges {
namespace {

struct Field {
  cv::Mat gx;
  cv::Mat gy;
  cv::Mat magnitude;
};

// Maps of rows x cols with one gradient everywhere and a magnitude plateau of 1.
Field uniformField(int rows, int cols, float gx, float gy) {
  return {cv::Mat(rows, cols, CV_32FC1, cv::Scalar(gx)), cv::Mat(rows, cols, CV_32FC1, cv::Scalar(gy)),
          cv::Mat(rows, cols, CV_32FC1, cv::Scalar(1.0))};
}

std::vector<EdgePoint> run(int sector, const Field& f) {
  std::vector<EdgePoint> points;
  suppressNonMaxima(points, sector, f.gx, f.gy, f.magnitude);
  return points;
}

// On a plateau every interior pixel ties with its neighbours and is kept (the comparisons are
// non-strict), so the 3 x 3 interior of a 5 x 5 field shows which sector owns a gradient.
struct SectorCase {
  float gx;
  float gy;
  int sector;  // 0: none
};

TEST(SuppressNonMaximaTest, SectorsPartitionTheGradientsOnTheirBoundaries) {
  const SectorCase cases[] = {
      {2, 0, 1},  {-2, 0, 1}, {3, -1, 1}, {-3, 1, 1},  // mostly horizontal, opposite signs
      {1, -1, 2}, {-1, 1, 2}, {1, -3, 2}, {-1, 3, 2},  // mostly vertical, opposite signs
      {0, 1, 3},  {0, -1, 3}, {1, 3, 3},  {-1, -3, 3}, // mostly vertical, equal signs
      {1, 1, 4},  {-1, -1, 4}, {3, 1, 4}, {-3, -1, 4}, // mostly horizontal, equal signs
      {0, 0, 0},
  };
  for (const SectorCase& c : cases) {
    const Field field = uniformField(5, 5, c.gx, c.gy);
    for (int sector = 1; sector <= 4; ++sector) {
      const std::vector<EdgePoint> points = run(sector, field);
      const size_t expected = sector == c.sector ? 9 : 0;
      EXPECT_EQ(points.size(), expected) << "gx " << c.gx << " gy " << c.gy << " sector " << sector;
    }
  }
}

TEST(SuppressNonMaximaTest, InteriorPointsComeOutInRowMajorOrderNeverOnTheFrame) {
  const std::vector<EdgePoint> points = run(1, uniformField(4, 5, 2, 0));
  ASSERT_EQ(points.size(), 6u);
  int i = 0;
  for (int y = 1; y <= 2; ++y) {
    for (int x = 1; x <= 3; ++x, ++i) {
      EXPECT_EQ(points[i].x, x);
      EXPECT_EQ(points[i].y, y);
    }
  }
}

TEST(SuppressNonMaximaTest, MapsWithoutInteriorGiveNothing) {
  for (const cv::Size size : {cv::Size(2, 5), cv::Size(5, 2), cv::Size(1, 1)}) {
    EXPECT_TRUE(run(1, uniformField(size.height, size.width, 2, 0)).empty()) << size;
  }
}

TEST(SuppressNonMaximaTest, AppendsToTheList) {
  std::vector<EdgePoint> points = {{7, 7}};
  const Field field = uniformField(3, 3, 2, 0);
  suppressNonMaxima(points, 1, field.gx, field.gy, field.magnitude);
  ASSERT_EQ(points.size(), 2u);
  EXPECT_EQ(points[0].x, 7);
  EXPECT_EQ(points[1].x, 1);
  EXPECT_EQ(points[1].y, 1);
}

// With d = 0 or d = 1 the centre of a 3 x 3 field is compared with exactly two neighbours: a
// larger magnitude there drops it, a larger magnitude anywhere else does not.
struct NeighbourCase {
  float gx;
  float gy;
  int sector;
  cv::Point compared[2];  // offsets (dx, dy) of the two neighbours that count
};

TEST(SuppressNonMaximaTest, ComparesWithTheNeighboursAlongTheGradient) {
  const NeighbourCase cases[] = {
      {2, 0, 1, {{1, 0}, {-1, 0}}},     // d = 0: east and west
      {-2, 0, 1, {{1, 0}, {-1, 0}}},
      {1, 1, 4, {{-1, -1}, {1, 1}}},    // d = 1: north-west and south-east
      {1, -1, 2, {{1, -1}, {-1, 1}}},   // d = 1: north-east and south-west
      {0, 1, 3, {{0, -1}, {0, 1}}},     // d = 0: north and south
  };
  for (const NeighbourCase& c : cases) {
    for (int dy = -1; dy <= 1; ++dy) {
      for (int dx = -1; dx <= 1; ++dx) {
        if (dx == 0 && dy == 0) continue;
        Field field = uniformField(3, 3, c.gx, c.gy);
        field.magnitude.at<float>(1 + dy, 1 + dx) = 2.0f;
        const bool counts = cv::Point(dx, dy) == c.compared[0] || cv::Point(dx, dy) == c.compared[1];
        EXPECT_EQ(run(c.sector, field).size(), counts ? 0u : 1u)
            << "gx " << c.gx << " gy " << c.gy << " neighbour " << dx << "," << dy;
      }
    }
  }
}

TEST(SuppressNonMaximaTest, InterpolatesBetweenDiagonalAndStraightNeighbours) {
  // Sector 1 with d = |gy/gx| = 0.5: m1 = 0.5 m(x+1, y-1) + 0.5 m(x+1, y) = 1.5.
  Field field = uniformField(3, 3, 2, -1);
  field.magnitude.setTo(0);
  field.magnitude.at<float>(0, 2) = 3.0f;
  field.magnitude.at<float>(1, 1) = 1.5f;
  EXPECT_EQ(run(1, field).size(), 1u);  // equal to m1 is kept
  field.magnitude.at<float>(1, 1) = std::nextafter(1.5f, 0.0f);
  EXPECT_TRUE(run(1, field).empty());
}

TEST(SuppressNonMaximaTest, QuotientAndInterpolationAreRoundedToSinglePrecision) {
  // Sector 1 with gx = 3, gy = -1: d = |(-1)/3| with the quotient rounded to float first
  // (0.333333343). A centre equal to m1 as specified ties with it and is kept.
  const double d = std::fabs(-1.0f / 3.0f);
  {
    // m1 = (1 - d) * 1 rounds to 0.666666627; with the quotient taken in double it would be
    // 0.666666687 and the centre would be dropped.
    Field field = uniformField(3, 3, 3, -1);
    field.magnitude.setTo(0);
    field.magnitude.at<float>(1, 2) = 1.0f;  // straight, east
    const float centre = static_cast<float>(d * 0.0 + (1.0 - d) * 1.0);
    ASSERT_GT(static_cast<float>((1.0 - 1.0 / 3.0) * 1.0), centre);
    field.magnitude.at<float>(1, 1) = centre;
    EXPECT_EQ(run(1, field).size(), 1u) << "quotient";
  }
  {
    // m1 = d * 1 + (1 - d) * 2 is not a float; compared in double the centre would fall below it.
    Field field = uniformField(3, 3, 3, -1);
    field.magnitude.setTo(0);
    field.magnitude.at<float>(0, 2) = 1.0f;  // diagonal, north-east
    field.magnitude.at<float>(1, 2) = 2.0f;  // straight, east
    const double m1 = d * 1.0 + (1.0 - d) * 2.0;
    const float centre = static_cast<float>(m1);
    ASSERT_LT(static_cast<double>(centre), m1);
    field.magnitude.at<float>(1, 1) = centre;
    EXPECT_EQ(run(1, field).size(), 1u) << "interpolation";
  }
}

TEST(SuppressNonMaximaTest, NaNMagnitudeIsDropped) {
  Field field = uniformField(3, 3, 2, 0);
  field.magnitude.at<float>(1, 1) = std::numeric_limits<float>::quiet_NaN();
  EXPECT_TRUE(run(1, field).empty());
  field = uniformField(3, 3, 2, 0);
  field.magnitude.at<float>(1, 2) = std::numeric_limits<float>::quiet_NaN();
  EXPECT_TRUE(run(1, field).empty());
}

TEST(SuppressNonMaximaTest, OneScanOfAllSectorsEqualsFourScans) {
  // Random whole-number gradients (|gx| = |gy| and zeros happen often) and a random magnitude.
  cv::RNG rng(99);
  Field field;
  for (cv::Mat* g : {&field.gx, &field.gy}) {
    cv::Mat whole(17, 23, CV_32S);
    rng.fill(whole, cv::RNG::UNIFORM, -3, 4);
    whole.convertTo(*g, CV_32F);
  }
  field.magnitude.create(17, 23, CV_32FC1);
  rng.fill(field.magnitude, cv::RNG::UNIFORM, 0.0f, 1.0f);
  SectorPoints all;
  suppressNonMaximaAllSectors(all, field.gx, field.gy, field.magnitude);
  size_t total = 0;
  for (int sector = 1; sector <= 4; ++sector) {
    const std::vector<EdgePoint> single = run(sector, field);
    const std::vector<EdgePoint>& fromAll = all[sector - 1];
    ASSERT_EQ(fromAll.size(), single.size()) << "sector " << sector;
    for (size_t i = 0; i < single.size(); ++i) {
      EXPECT_EQ(fromAll[i].x, single[i].x);
      EXPECT_EQ(fromAll[i].y, single[i].y);
    }
    total += single.size();
  }
  EXPECT_GT(total, 20u);
}

}  // namespace
}  // namespace scenetext::edges
