#include "regions/final_regions.hpp"

#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include <string>
#include <vector>

#include "regions/test_support.hpp"

namespace scenetext::regions {
namespace {

cv::Mat maskWith(int height, int width, const std::vector<cv::Rect>& rects) {
  cv::Mat mask = cv::Mat::zeros(height, width, CV_8UC1);
  for (const cv::Rect& r : rects) mask(r).setTo(255);
  return mask;
}

TEST(TextMaskRegionsTest, AreasAndTheirBoxes) {
  struct Row {
    std::string name;
    std::vector<cv::Rect> rects;  // (x, y, width, height)
    BoxList expected;
  };
  const Row rows[] = {
      {"empty", {}, {}},
      {"single pixel", {{7, 4, 1, 1}}, {{7, 4, 7, 4}}},
      {"overlapping", {{1, 1, 5, 3}, {3, 2, 6, 4}}, {{1, 1, 8, 5}}},
      {"side by side, L-shaped", {{0, 0, 3, 2}, {3, 0, 2, 6}}, {{0, 0, 4, 5}}},
      {"one above the other", {{2, 0, 4, 2}, {0, 2, 3, 3}}, {{0, 0, 5, 4}}},
      {"corner to corner", {{0, 0, 3, 3}, {3, 3, 2, 2}}, {{0, 0, 2, 2}, {3, 3, 4, 4}}},
      {"same top row, left to right",
       {{8, 2, 2, 2}, {0, 2, 3, 5}, {4, 2, 1, 1}},
       {{0, 2, 2, 6}, {4, 2, 4, 2}, {8, 2, 9, 3}}},
      {"higher top row first", {{0, 3, 2, 2}, {9, 1, 2, 6}}, {{9, 1, 10, 6}, {0, 3, 1, 4}}},
  };
  for (const Row& row : rows) {
    const cv::Mat mask = maskWith(8, 12, row.rects);
    BoxList boxes;
    textMaskRegions(mask, boxes);
    EXPECT_EQ(boxes, row.expected) << row.name;
    // The mask of the boxes covers every text pixel.
    const cv::Mat boxMask = fillBoxMask(boxes, 8, 12);
    EXPECT_EQ(cv::countNonZero(mask & ~boxMask), 0) << row.name;
  }
}

// 300 areas of varied shape, one per cell of a 20 x 15 grid, so labels run past 255 (the label
// at which the fill writes the value the area already holds) and past 256.
TEST(TextMaskRegionsTest, MoreThan255AreasAreAllLabelled) {
  cv::Mat mask = cv::Mat::zeros(60, 80, CV_8UC1);
  BoxList expected;
  for (int row = 0; row < 15; ++row) {
    for (int col = 0; col < 20; ++col) {
      const int k = row * 20 + col;
      const cv::Rect r(col * 4, row * 4, 1 + k % 3, 1 + (k / 3) % 3);
      mask(r).setTo(255);
      expected.push_back({r.x, r.y, r.x + r.width - 1, r.y + r.height - 1});
    }
  }
  BoxList boxes;
  textMaskRegions(mask, boxes);
  ASSERT_EQ(boxes.size(), expected.size());
  for (std::size_t k = 0; k < boxes.size(); ++k)
    EXPECT_EQ(boxes[k], expected[k]) << "area " << k + 1;
}

TEST(TextMaskRegionsTest, AppendsAfterExistingBoxes) {
  BoxList boxes{{1, 2, 3, 4}};
  textMaskRegions(maskWith(5, 5, {{2, 2, 2, 1}}), boxes);
  EXPECT_EQ(boxes, (BoxList{{1, 2, 3, 4}, {2, 2, 3, 2}}));
}

TEST(FillBoxMaskTest, PaintsEveryBoxInclusiveAndClipsAtTheBorder) {
  const cv::Mat mask = fillBoxMask({{1, 1, 2, 3}, {2, 3, 4, 3}, {3, -2, 9, 0}, {6, 6, 8, 8}}, 5, 6);
  ASSERT_EQ(mask.type(), CV_8UC1);
  ASSERT_EQ(mask.size(), cv::Size(6, 5));
  const cv::Mat expected = maskWith(5, 6, {{1, 1, 2, 3}, {2, 3, 3, 1}, {3, 0, 3, 1}});
  EXPECT_EQ(cv::countNonZero(mask != expected), 0);
  EXPECT_EQ(cv::countNonZero(fillBoxMask({}, 3, 4)), 0);
}

}  // namespace
}  // namespace scenetext::regions
