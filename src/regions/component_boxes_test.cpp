#include "regions/component_boxes.hpp"

#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include <string>

#include "regions/test_support.hpp"

namespace scenetext::regions {
namespace {

TEST(ContourBoxesTest, RingGivesOuterAndHoleBorderBoxes) {
  cv::Mat edges = cv::Mat::zeros(10, 12, CV_8UC1);
  cv::rectangle(edges, cv::Point(2, 2), cv::Point(8, 6), cv::Scalar(255));
  EXPECT_EQ(contourBoxes(edges, 12, 10), (BoxList{{2, 2, 8, 6}, {2, 2, 8, 6}}));
}

TEST(ContourBoxesTest, SinglePixelAndEmptyMap) {
  cv::Mat edges = cv::Mat::zeros(6, 6, CV_8UC1);
  EXPECT_TRUE(contourBoxes(edges, 6, 6).empty());
  edges.at<uchar>(4, 3) = 255;
  EXPECT_EQ(contourBoxes(edges, 6, 6), (BoxList{{3, 4, 3, 4}}));
}

// A horizontal line from (6, 3) to (9, 3); its contour starts at the left end.
TEST(ContourBoxesTest, PointsBeyondTheBoundsAreIgnoredButTheFirstIsAlwaysTaken) {
  cv::Mat edges = cv::Mat::zeros(8, 12, CV_8UC1);
  cv::line(edges, cv::Point(6, 3), cv::Point(9, 3), cv::Scalar(255));
  struct Row {
    int width, height;
    Box expected;
  };
  const Row rows[] = {
      {12, 8, {6, 3, 9, 3}}, {9, 8, {6, 3, 9, 3}},  // x == width is inside the bounds
      {8, 8, {6, 3, 6, 3}},                         // the right end is outside
      {5, 8, {6, 3, 6, 3}},  // the first point is outside, yet starts the box
      {12, 2, {6, 3, 6, 3}},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(contourBoxes(edges, row.width, row.height), BoxList{row.expected})
        << "bounds " << row.width << " x " << row.height;
  }
}

// Four 9 x 9 boxes in a row that fit strictly inside `kBig`.
constexpr Box kSmall[4] = {{10, 10, 18, 18}, {30, 10, 38, 18}, {50, 10, 58, 18}, {70, 10, 78, 18}};
constexpr Box kBig{0, 0, 100, 50};
constexpr Box kOuter{0, 0, 200, 100};  // strictly encloses kInner
constexpr Box kInner{5, 5, 100, 50};   // strictly encloses the four small boxes

TEST(FilterComponentBoxesTest, NestingPass) {
  const auto [s0, s1, s2, s3] = kSmall;
  struct Row {
    std::string name;
    BoxList input;
    BoxList expected;
  };
  const Row rows[] = {
      {"three enclosed", {kBig, s0, s1, s2}, {kBig, s0, s1, s2}},
      {"four enclosed", {kBig, s0, s1, s2, s3}, {s0, s1, s2, s3}},
      {"enclosed before and after", {s0, s1, kBig, s2, s3}, {s0, s1, s2, s3}},
      {"shared side", {kBig, s0, s1, s2, {0, 10, 8, 18}}, {kBig, s0, s1, s2, {0, 10, 8, 18}}},
      {"identical boxes", {kBig, s0, kBig, s1, s2}, {kBig, s0, kBig, s1, s2}},
      {"outer listed first", {kOuter, kInner, s0, s1, s2, s3}, {s0, s1, s2, s3}},
      {"inner listed first", {kInner, kOuter, s0, s1, s2, s3}, {s0, s1, s2, s3}},
  };
  for (const Row& row : rows) {
    BoxList boxes = row.input;
    filterComponentBoxes(boxes);
    EXPECT_EQ(boxes, row.expected) << row.name;
  }
}

TEST(FilterComponentBoxesTest, NestingLimitIsAParameter) {
  const auto [s0, s1, s2, s3] = kSmall;
  BoxList boxes{kBig, s0, s1, s2, s3};
  filterComponentBoxes(boxes, 5);
  EXPECT_EQ(boxes, (BoxList{kBig, s0, s1, s2, s3}));
  filterComponentBoxes(boxes, 4);
  EXPECT_EQ(boxes, (BoxList{s0, s1, s2, s3}));
}

// w and h are differences: (0, 0, w, h) has width w and height h.
TEST(FilterComponentBoxesTest, ShapePass) {
  struct Row {
    int w, h;
    bool kept;
  };
  const Row rows[] = {
      {5, 5, false},    // too low
      {4, 6, true},     // the lowest kept height
      {1, 6, false},    // 5 * 1 < 6
      {2, 10, true},    // 5 * 2 is not less than 10
      {24, 10, true},   // 2.4 * 10 is not less than 24
      {25, 10, false},  // 2.4 * 10 < 25
      {15, 6, false},   // 2.4 * 6 = 14.4 < 15
  };
  for (const Row& row : rows) {
    BoxList boxes{{3, 7, 3 + row.w, 7 + row.h}};
    filterComponentBoxes(boxes);
    EXPECT_EQ(boxes.size(), row.kept ? 1u : 0u) << "w " << row.w << ", h " << row.h;
  }
}

}  // namespace
}  // namespace scenetext::regions
