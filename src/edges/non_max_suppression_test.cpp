#include "edges/non_max_suppression.hpp"

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

// The labelled pixels with every threshold passed (low and high below every magnitude).
int keptCount(const Field& f) {
  cv::Mat labels;
  std::vector<EdgePoint> strong;
  const double below = -std::numeric_limits<double>::infinity();
  labelLocalMaxima(f.gx, f.gy, f.magnitude, below, below, labels, strong);
  EXPECT_EQ(cv::countNonZero(labels), static_cast<int>(strong.size()));
  return cv::countNonZero(labels);
}

TEST(LabelLocalMaximaTest, PlateauKeepsTheInteriorOfEveryNonZeroGradient) {
  // Every interior pixel ties with its neighbours and is kept (non-strict comparisons); a zero
  // gradient is in no sector. Rows wider than eight pixels take every path of the scan.
  for (const cv::Size size : {cv::Size(5, 5), cv::Size(29, 4)}) {
    const int interior = (size.width - 2) * (size.height - 2);
    for (const cv::Point2f g : {cv::Point2f(2, 0), cv::Point2f(1, -3), cv::Point2f(-1, -1),
                                cv::Point2f(0, 1), cv::Point2f(-3, 1)}) {
      EXPECT_EQ(keptCount(uniformField(size.height, size.width, g.x, g.y)), interior)
          << size << " gradient " << g;
    }
    EXPECT_EQ(keptCount(uniformField(size.height, size.width, 0, 0)), 0) << size;
  }
  for (const cv::Size size : {cv::Size(2, 5), cv::Size(5, 2)})
    EXPECT_EQ(keptCount(uniformField(size.height, size.width, 2, 0)), 0) << size;
}

TEST(LabelLocalMaximaTest, ComparesWithTheTwoNeighboursAlongTheGradient) {
  // With d = 0 or 1 the centre of a 3 x 3 field meets exactly two neighbours: a larger
  // magnitude there drops it, anywhere else it does not.
  const struct {
    float gx, gy;
    cv::Point a, b;
  } cases[] = {
      {2, 0, {1, 0}, {-1, 0}},   {-2, 0, {1, 0}, {-1, 0}},  // d = 0: east and west
      {1, 1, {-1, -1}, {1, 1}},                             // d = 1: north-west, south-east
      {1, -1, {1, -1}, {-1, 1}},                            // d = 1: north-east, south-west
      {0, 1, {0, -1}, {0, 1}},                              // d = 0: north and south
  };
  for (const auto& c : cases)
    for (int dy = -1; dy <= 1; ++dy)
      for (int dx = -1; dx <= 1; ++dx) {
        if (dx == 0 && dy == 0) continue;
        Field field = uniformField(3, 3, c.gx, c.gy);
        field.magnitude.at<float>(1 + dy, 1 + dx) = 2.0f;
        const bool compared = cv::Point(dx, dy) == c.a || cv::Point(dx, dy) == c.b;
        EXPECT_EQ(keptCount(field), compared ? 0 : 1)
            << "gx " << c.gx << " gy " << c.gy << " neighbour " << dx << "," << dy;
      }
}

TEST(LabelLocalMaximaTest, InterpolationRoundsToSinglePrecision) {
  // Sector 1 with gx = 3, gy = -1: d = |(-1)/3| with the quotient rounded to float first. Each
  // centre equals m1 as specified, so it ties and is kept; one step lower it is dropped.
  const double d = std::fabs(-1.0f / 3.0f);
  const struct { float northEast, east; } cases[] = {{0, 1}, {1, 2}, {3, 0}};
  for (const auto& c : cases) {
    Field field = uniformField(3, 3, 3, -1);
    field.magnitude.setTo(0);
    field.magnitude.at<float>(0, 2) = c.northEast;
    field.magnitude.at<float>(1, 2) = c.east;
    const float centre = static_cast<float>(d * c.northEast + (1.0 - d) * c.east);
    field.magnitude.at<float>(1, 1) = centre;
    EXPECT_EQ(keptCount(field), 1) << c.northEast << "," << c.east;
    field.magnitude.at<float>(1, 1) = std::nextafter(centre, 0.0f);
    EXPECT_EQ(keptCount(field), 0) << c.northEast << "," << c.east;
  }
}

TEST(LabelLocalMaximaTest, NaNMagnitudeIsDropped) {
  Field field = uniformField(3, 3, 2, 0);
  field.magnitude.at<float>(1, 2) = std::numeric_limits<float>::quiet_NaN();
  EXPECT_EQ(keptCount(field), 0);
}

}  // namespace
}  // namespace scenetext::edges
