#include "edges/edge_detection.hpp"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

namespace scenetext::edges {
namespace {

// A colour scene with a few shapes and some noise, so that edges reach every part of it.
cv::Mat texturedScene(int width, int height) {
  cv::Mat image(height, width, CV_8UC3, cv::Scalar(90, 120, 150));
  cv::RNG rng(12345);
  cv::Mat noise(height, width, CV_8UC3);
  rng.fill(noise, cv::RNG::UNIFORM, 0, 60);
  image += noise;
  cv::rectangle(image, cv::Rect(width / 8, height / 6, width / 3, height / 3), cv::Scalar(20, 30, 240),
                cv::FILLED);
  cv::circle(image, cv::Point(width * 2 / 3, height / 2), height / 4, cv::Scalar(250, 250, 250),
             cv::FILLED);
  return image;
}

void expectValidEdgeMap(const cv::Mat& edges, cv::Size size) {
  ASSERT_EQ(edges.type(), CV_8UC1);
  ASSERT_EQ(edges.size(), size);
  ASSERT_TRUE(edges.isContinuous());
  EXPECT_EQ(cv::countNonZero((edges != 0) & (edges != 255)), 0);
  EXPECT_EQ(cv::countNonZero(edges.row(0)), 0);
  EXPECT_EQ(cv::countNonZero(edges.row(edges.rows - 1)), 0);
  EXPECT_EQ(cv::countNonZero(edges.col(0)), 0);
  EXPECT_EQ(cv::countNonZero(edges.col(edges.cols - 1)), 0);
  // One pixel thin: no 2 x 2 block of edge pixels.
  for (int r = 0; r + 1 < edges.rows; ++r)
    for (int c = 0; c + 1 < edges.cols; ++c)
      ASSERT_FALSE(edges.at<uchar>(r, c) && edges.at<uchar>(r, c + 1) && edges.at<uchar>(r + 1, c) &&
                   edges.at<uchar>(r + 1, c + 1))
          << "2x2 block at " << r << "," << c;
}

TEST(DetectEdgesTest, TexturedSceneGivesAThinFramedBinaryMap) {
  for (const cv::Size size : {cv::Size(96, 48), cv::Size(101, 37)}) {
    const cv::Mat image = texturedScene(size.width, size.height);
    const cv::Mat before = image.clone();
    const cv::Mat edges = detectEdges(image, kEdgeFraction);
    expectValidEdgeMap(edges, size);
    EXPECT_GT(cv::countNonZero(edges), 0) << size;
    EXPECT_EQ(cv::norm(image, before, cv::NORM_INF), 0.0);
  }
}

TEST(DetectEdgesTest, UniformImageHasNoEdges) {
  const cv::Mat edges = detectEdges(cv::Mat(20, 30, CV_8UC3, cv::Scalar(10, 200, 60)), kEdgeFraction);
  expectValidEdgeMap(edges, cv::Size(30, 20));
  EXPECT_EQ(cv::countNonZero(edges), 0);
  EXPECT_EQ(cv::countNonZero(detectEdges(cv::Mat::zeros(20, 30, CV_8UC1), kEdgeFraction)), 0);
}

TEST(DetectEdgesTest, FractionThatNoBinReachesGivesAnEmptyMap) {
  // With a fraction of 1 the running count never exceeds N: the high threshold is 65/64.
  EXPECT_EQ(cv::countNonZero(detectEdges(texturedScene(64, 40), 1.0f)), 0);
}

TEST(DetectEdgesTest, GreyAndColourInputOfEqualGreyAgree) {
  const cv::Mat colour = texturedScene(96, 48);
  cv::Mat grey;
  cv::cvtColor(colour, grey, cv::COLOR_BGR2GRAY);
  const cv::Mat fromColour = detectEdges(colour, kEdgeFraction);
  const cv::Mat fromGrey = detectEdges(grey, kEdgeFraction);
  EXPECT_GT(cv::countNonZero(fromColour), 0);
  EXPECT_EQ(cv::norm(fromColour, fromGrey, cv::NORM_INF), 0.0);
}

TEST(DetectEdgesTest, WidthOf802PutsEdgesWhereTheIntensityEdgeIs) {
  // A bright rectangle near the right end of a dark 802-wide strip: every edge pixel lies
  // within one pixel of the rectangle's outline, and all four sides are found.
  const cv::Rect box(700, 8, 61, 13);
  cv::Mat image(30, 802, CV_8UC3, cv::Scalar(0, 0, 0));
  image(box).setTo(cv::Scalar(255, 255, 255));
  const cv::Mat edges = detectEdges(image, kEdgeFraction);
  expectValidEdgeMap(edges, image.size());
  const cv::Rect outer(box.x - 1, box.y - 1, box.width + 2, box.height + 2);
  const cv::Rect inner(box.x + 1, box.y + 1, box.width - 2, box.height - 2);
  int left = 0, right = 0, top = 0, bottom = 0;
  for (int r = 0; r < edges.rows; ++r)
    for (int c = 0; c < edges.cols; ++c) {
      if (!edges.at<uchar>(r, c)) continue;
      ASSERT_TRUE(outer.contains({c, r}) && !inner.contains({c, r})) << r << "," << c;
      left += c <= box.x;
      right += c >= box.br().x - 1;
      top += r <= box.y;
      bottom += r >= box.br().y - 1;
    }
  EXPECT_GT(left, box.height / 2);
  EXPECT_GT(right, box.height / 2);
  EXPECT_GT(top, box.width / 2);
  EXPECT_GT(bottom, box.width / 2);
}

TEST(DetectEdgesTest, StepEdgeBecomesOneLineBesideTheStep) {
  cv::Mat image(24, 40, CV_8UC1, cv::Scalar(30));
  image.colRange(20, 40).setTo(220);
  const cv::Mat edges = detectEdges(image, kEdgeFraction);
  expectValidEdgeMap(edges, image.size());
  // Columns 19 and 20 peak equally; suppression keeps both, thinning leaves one line of them.
  EXPECT_EQ(cv::countNonZero(edges.colRange(0, 19)), 0);
  EXPECT_EQ(cv::countNonZero(edges.colRange(21, 40)), 0);
  for (int r = 2; r < 22; ++r) EXPECT_EQ(cv::countNonZero(edges.row(r)), 1) << "row " << r;
}

}  // namespace
}  // namespace scenetext::edges
