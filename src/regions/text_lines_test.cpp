#include "regions/text_lines.hpp"

#include <gtest/gtest.h>

#include <vector>

#include "regions/final_regions.hpp"
#include "regions/test_support.hpp"

namespace scenetext::regions {
namespace {

TEST(PaintTextMaskTest, PaintsEveryAcceptedRectangleWhole) {
  const cv::Mat mask = paintTextMask({20, 10}, {{{2, 1, 3, 2}, 0.5}, {{10, 5, 1, 1}, 0.0}});
  EXPECT_EQ(mask.size(), cv::Size(20, 10));
  EXPECT_EQ(cv::countNonZero(mask), 6 + 1);
  EXPECT_EQ(mask.at<uchar>(2, 4), 255);
  EXPECT_EQ(mask.at<uchar>(5, 10), 255);
  EXPECT_EQ(mask.at<uchar>(3, 4), 0);
}

TEST(TextLinesTest, EachLineCombinesTheRectanglesOfItsArea) {
  // Two overlapping rectangles make the first line (top row 2); a lone one lower down the second;
  // one at the very top, further right, is listed first.
  const std::vector<ScoredCandidate> accepted{
      {{2, 4, 10, 3}, 0.5}, {{8, 2, 10, 4}, 0.5}, {{3, 20, 5, 2}, 0.0}, {{30, 0, 4, 2}, 1.0}};
  const TextLines lines = textLines(paintTextMask({40, 30}, accepted), accepted);
  const BoxList expectedBoxes{{30, 0, 33, 1}, {2, 2, 17, 6}, {3, 20, 7, 21}};
  EXPECT_EQ(lines.boxes, expectedBoxes);
  // 1 - 1/2 (1 - c1)(1 - c2)...
  ASSERT_EQ(lines.scores.size(), 3u);
  EXPECT_EQ(lines.scores[0], 1.0);
  EXPECT_EQ(lines.scores[1], 1.0 - 0.5 * 0.5 * 0.5);
  EXPECT_EQ(lines.scores[2], 0.5);
  // The boxes are those of the final regions.
  BoxList regions;
  textMaskRegions(paintTextMask({40, 30}, accepted), regions);
  EXPECT_EQ(lines.boxes, regions);
}

TEST(TextLinesTest, NoAcceptedRectangleNoLine) {
  const TextLines lines = textLines(cv::Mat::zeros(8, 8, CV_8UC1), {});
  EXPECT_TRUE(lines.boxes.empty());
  EXPECT_TRUE(lines.scores.empty());
}

TEST(AcceptedCandidatesTest, JudgesEachDistinctRectangleOnceInOrder) {
  const cv::Mat image(30, 40, CV_8UC3, cv::Scalar(10, 20, 30));
  const std::vector<cv::Rect> candidates{{1, 1, 8, 5}, {20, 3, 6, 6}, {1, 1, 8, 5}};
  const std::vector<ScoredCandidate> all = acceptedCandidates(image, candidates, {});
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[0].rect, candidates[0]);
  EXPECT_EQ(all[1].rect, candidates[1]);
  // A cascade without stages accepts with nothing to clear.
  EXPECT_EQ(all[0].clearance, 1.0);
  // One stage that no sum can reach rejects everything.
  const classifier::StumpCascade rejectAll{{classifier::makeThresholdRecord(1.0f)}};
  EXPECT_TRUE(acceptedCandidates(image, candidates, rejectAll).empty());
}

}  // namespace
}  // namespace scenetext::regions
