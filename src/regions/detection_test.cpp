#include "regions/detection.hpp"

#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include "edges/edge_detection.hpp"

namespace scenetext::regions {
namespace {

const classifier::StumpCascade kAcceptAll{};

cv::Mat textLine(cv::Size size, cv::Point origin) {
  cv::Mat image(size, CV_8UC3, cv::Scalar(235, 235, 235));
  cv::putText(image, "HOTEL PARK", origin, cv::FONT_HERSHEY_SIMPLEX, 1.6, cv::Scalar(20, 20, 20), 3,
              cv::LINE_AA);
  return image;
}

struct DetectionRun {
  BoxList boxes;
  cv::Mat textMask, boxMask;
};

DetectionRun detect(const cv::Mat& image, const BandBoundaryList& bands,
                    const classifier::StumpCascade& model = kAcceptAll) {
  DetectionRun run;
  const cv::Mat edges = edges::detectEdges(image, edges::kEdgeFraction);
  detectTextRegions(run.boxes, run.textMask, run.boxMask, image, edges, bands, model);
  return run;
}

TEST(DetectTextRegionsTest, ImageWithoutEdgesFindsNothing) {
  const cv::Mat plain(40, 64, CV_8UC3, cv::Scalar(10, 200, 30));
  DetectionRun run = detect(plain, {0, 40});
  EXPECT_TRUE(run.boxes.empty());
  ASSERT_EQ(run.textMask.size(), plain.size());
  ASSERT_EQ(run.boxMask.size(), plain.size());
  EXPECT_EQ(cv::countNonZero(run.textMask), 0);
  EXPECT_EQ(cv::countNonZero(run.boxMask), 0);
}

TEST(DetectTextRegionsTest, AcceptAllModelBoxesARenderedTextLine) {
  const cv::Mat image = textLine(cv::Size(400, 120), cv::Point(40, 80));
  DetectionRun run = detect(image, {0, 120});
  ASSERT_FALSE(run.boxes.empty());
  // The line's ink spans roughly x 40..330, y 45..82: some final box covers its middle.
  bool covered = false;
  for (const Box& box : run.boxes) {
    covered |= box.left <= 185 && box.right >= 185 && box.top <= 65 && box.bottom >= 65;
    EXPECT_GE(box.top, 30);
    EXPECT_LE(box.bottom, 95);
  }
  EXPECT_TRUE(covered);
  // Every TextMask pixel lies inside a final box, and the BoxMask fills exactly the boxes.
  EXPECT_EQ(cv::countNonZero(run.textMask & ~run.boxMask), 0);
  cv::Mat painted = cv::Mat::zeros(image.size(), CV_8UC1);
  for (const Box& box : run.boxes) {
    painted(cv::Rect(box.left, box.top, box.right - box.left + 1, box.bottom - box.top + 1)) = 255;
  }
  EXPECT_EQ(cv::norm(painted, run.boxMask, cv::NORM_INF), 0);
}

TEST(DetectTextRegionsTest, RowsOutsideEveryBandStayZero) {
  const cv::Mat image = textLine(cv::Size(400, 120), cv::Point(40, 80));
  DetectionRun whole = detect(image, {0, 120});
  DetectionRun inner = detect(image, {20, 100});
  EXPECT_EQ(cv::countNonZero(inner.textMask.rowRange(0, 20)), 0);
  EXPECT_EQ(cv::countNonZero(inner.textMask.rowRange(100, 120)), 0);
  // The text lies well inside rows 20..99, so the band sees the same candidates.
  EXPECT_EQ(cv::norm(inner.textMask, whole.textMask, cv::NORM_INF), 0);
  DetectionRun none = detect(image, {0});
  EXPECT_EQ(cv::countNonZero(none.textMask), 0);
}

TEST(BandBoxesTest, TakesBoxesWhollyInsideTheBandShiftedToItsTop) {
  BoxList boxes{{1, 10, 5, 19}, {2, 10, 6, 20}, {3, 9, 7, 15}, {4, 12, 8, 14}};
  EXPECT_EQ(bandBoxes(boxes, 10, 19), (BoxList{{1, 0, 5, 9}, {4, 2, 8, 4}}));
  EXPECT_EQ(bandBoxes(boxes, 0, 1000), boxes);
}

}  // namespace
}  // namespace scenetext::regions
