#include "edges/edge_detection.hpp"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

namespace scenetext::edges {
namespace {

// A colour scene with noise and a few shapes, so that edges reach every part of it.
cv::Mat texturedScene(int width, int height) {
  cv::Mat image(height, width, CV_8UC3, cv::Scalar(90, 120, 150));
  cv::Mat noise(height, width, CV_8UC3);
  cv::RNG(12345).fill(noise, cv::RNG::UNIFORM, 0, 60);
  image += noise;
  cv::rectangle(image, cv::Rect(width / 8, height / 6, width / 3, height / 3),
                cv::Scalar(20, 30, 240), cv::FILLED);
  cv::circle(image, cv::Point(width * 2 / 3, height / 2), height / 4, cv::Scalar::all(250),
             cv::FILLED);
  return image;
}

// Type, size, values 0 and 255 only, a frame of 0, no 2 x 2 block of edge pixels.
void expectValidEdgeMap(const cv::Mat& edges, cv::Size size) {
  ASSERT_EQ(edges.type(), CV_8UC1);
  ASSERT_EQ(edges.size(), size);
  EXPECT_TRUE(edges.isContinuous());
  EXPECT_EQ(cv::countNonZero((edges != 0) & (edges != 255)), 0);
  const cv::Rect interior(1, 1, size.width - 2, size.height - 2);
  EXPECT_EQ(cv::countNonZero(edges), cv::countNonZero(edges(interior)));
  cv::Mat blocks;
  cv::boxFilter(edges / 255, blocks, CV_32F, cv::Size(2, 2), cv::Point(0, 0), false,
                cv::BORDER_CONSTANT);
  EXPECT_EQ(cv::countNonZero(blocks >= 4.0f), 0);
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

TEST(DetectEdgesTest, EmptyMapsForUniformImagesAndAnUnreachableFraction) {
  const cv::Mat uniform(20, 30, CV_8UC3, cv::Scalar(10, 200, 60));  // all magnitudes are 1.0
  expectValidEdgeMap(detectEdges(uniform, kEdgeFraction), cv::Size(30, 20));
  EXPECT_EQ(cv::countNonZero(detectEdges(uniform, kEdgeFraction)), 0);
  EXPECT_EQ(cv::countNonZero(detectEdges(cv::Mat::zeros(20, 30, CV_8UC1), kEdgeFraction)), 0);
  // A fraction of 1: the running count never exceeds N, so the high threshold is 65/64.
  EXPECT_EQ(cv::countNonZero(detectEdges(texturedScene(64, 40), 1.0f)), 0);
  // Images without interior pixels.
  for (const cv::Size size : {cv::Size(1, 1), cv::Size(7, 2), cv::Size(2, 9)}) {
    const cv::Mat edges = detectEdges(texturedScene(size.width, size.height), kEdgeFraction);
    EXPECT_EQ(edges.size(), size);
    EXPECT_EQ(cv::countNonZero(edges), 0) << size;
  }
}

TEST(DetectEdgesTest, RegionOfALargerImageIsAnImageOfItsOwn) {
  // Nothing outside the region, not even for the border of the filters, is looked at.
  const cv::Mat scene = texturedScene(120, 70);
  const cv::Rect patch(13, 11, 96, 48);
  const cv::Mat edges = detectEdges(scene(patch), kEdgeFraction);
  EXPECT_GT(cv::countNonZero(edges), 0);
  EXPECT_EQ(cv::norm(edges, detectEdges(scene(patch).clone(), kEdgeFraction), cv::NORM_INF), 0.0);
}

TEST(DetectEdgesTest, GreyAndColourInputOfEqualGreyAgree) {
  const cv::Mat colour = texturedScene(96, 48);
  cv::Mat grey;
  cv::cvtColor(colour, grey, cv::COLOR_BGR2GRAY);
  const cv::Mat fromColour = detectEdges(colour, kEdgeFraction);
  EXPECT_GT(cv::countNonZero(fromColour), 0);
  EXPECT_EQ(cv::norm(fromColour, detectEdges(grey, kEdgeFraction), cv::NORM_INF), 0.0);
}

TEST(DetectEdgesTest, StepBecomesOneLineBesideIt) {
  // Columns 19 and 20 peak equally; suppression keeps both, thinning leaves one line.
  cv::Mat image(24, 40, CV_8UC1, cv::Scalar(30));
  image.colRange(20, 40).setTo(220);
  const cv::Mat edges = detectEdges(image, kEdgeFraction);
  expectValidEdgeMap(edges, image.size());
  EXPECT_EQ(cv::countNonZero(edges.colRange(19, 21)), cv::countNonZero(edges));
  for (int r = 2; r < 22; ++r) EXPECT_EQ(cv::countNonZero(edges.row(r)), 1) << "row " << r;
}

TEST(DetectEdgesTest, WidthOf802PutsEdgesWhereTheIntensityEdgeIs) {
  // A bright rectangle near the right end of a dark 802-wide strip: every edge pixel lies
  // within one pixel of its outline, and each side is found along most of its length.
  const cv::Rect box(700, 8, 61, 13);
  cv::Mat image(30, 802, CV_8UC3, cv::Scalar::all(0));
  image(box).setTo(cv::Scalar::all(255));
  const cv::Mat edges = detectEdges(image, kEdgeFraction);
  expectValidEdgeMap(edges, image.size());
  const cv::Rect outer(box.x - 1, box.y - 1, box.width + 2, box.height + 2);
  const cv::Rect inner(box.x + 1, box.y + 1, box.width - 2, box.height - 2);
  EXPECT_EQ(cv::countNonZero(edges(outer)) - cv::countNonZero(edges(inner)),
            cv::countNonZero(edges));
  EXPECT_GT(cv::countNonZero(edges(outer).colRange(0, 2)), box.height / 2);  // left
  EXPECT_GT(cv::countNonZero(edges(outer).colRange(outer.width - 2, outer.width)), box.height / 2);
  EXPECT_GT(cv::countNonZero(edges(outer).rowRange(0, 2)), box.width / 2);  // top
  EXPECT_GT(cv::countNonZero(edges(outer).rowRange(outer.height - 2, outer.height)), box.width / 2);
}

}  // namespace
}  // namespace scenetext::edges
