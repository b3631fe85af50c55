// The reference's own reading pinned to the worked numbers of the detector's description, so that
// the library agreeing with the reference means agreeing with those numbers too.

#include <gtest/gtest.h>

#include <opencv2/core.hpp>

#include <vector>

#include "reference/cascade.hpp"
#include "reference/edge_detection.hpp"
#include "reference/features.hpp"
#include "reference/regions.hpp"

namespace scenetext::reference {
namespace {

TEST(ReferenceReading, KernelTapsAndStepGradient) {
  const GaussianKernels k = buildGaussianKernels();
  ASSERT_EQ(k.row.cols, 9);
  EXPECT_NEAR(k.row.at<float>(0, 4), 0.159155f, 1e-6f);
  EXPECT_NEAR(k.kx.at<float>(4, 5), 0.193065f, 1e-6f);  // KX(x = 1, y = 0)
  EXPECT_NEAR(k.kx.at<float>(5, 5), 0.117100f, 1e-6f);  // KX(1, 1)
  EXPECT_NEAR(k.kx.at<float>(4, 8), 0.000427f, 1e-6f);  // KX(4, 0)
  for (int y = 0; y < 9; ++y) EXPECT_EQ(k.kx.at<float>(y, 4), 0.0f);

  // A dark left half and a bright right half: gx peaks near 0.0859 on the two columns beside the
  // step, gy is 0 up to the rounding of the filter's sums.
  cv::Mat step(20, 20, CV_8UC1, cv::Scalar(0));
  step.colRange(10, 20).setTo(255);
  const GradientMaps g = computeGradients(step);
  EXPECT_NEAR(g.gx.at<float>(10, 9), 0.0859f, 1e-4f);
  EXPECT_NEAR(g.gx.at<float>(10, 10), 0.0859f, 1e-4f);
  double largestGy = 0.0;
  cv::minMaxLoc(cv::abs(g.gy), nullptr, &largestGy);
  EXPECT_LT(largestGy, 1e-7);
}

TEST(ReferenceReading, SectorsOfTheListedGradients) {
  struct Row {
    float gx, gy;
    int sector;
  };
  for (const Row& row : {Row{2, 0, 1}, Row{-2, 0, 1}, Row{1, 1, 4}, Row{1, -1, 2}}) {
    const cv::Mat gx(3, 3, CV_32FC1, cv::Scalar(row.gx));
    const cv::Mat gy(3, 3, CV_32FC1, cv::Scalar(row.gy));
    const cv::Mat plateau(3, 3, CV_32FC1, cv::Scalar(1.0f));
    for (int sector = 1; sector <= 4; ++sector) {
      std::vector<EdgePoint> points;
      suppressNonMaxima(points, sector, gx, gy, plateau);
      EXPECT_EQ(points.size(), sector == row.sector ? 1u : 0u) << row.gx << ", " << row.gy;
    }
  }
}

TEST(ReferenceReading, ThinningShapes) {
  auto thin = [](int rows, int cols, const cv::Rect& block) {
    cv::Mat t(rows, cols, CV_32FC1, cv::Scalar(0.0f));
    t(block).setTo(255.0f);
    thinEdges(t);
    return t;
  };
  const cv::Mat two = thin(4, 4, cv::Rect(1, 1, 2, 2));
  EXPECT_EQ(cv::countNonZero(two), 1);
  EXPECT_EQ(two.at<float>(2, 1), 1.0f);  // lower-left
  const cv::Mat three = thin(5, 5, cv::Rect(1, 1, 3, 3));
  EXPECT_EQ(cv::countNonZero(three), 1);
  EXPECT_EQ(three.at<float>(2, 2), 1.0f);
  const cv::Mat bar = thin(5, 9, cv::Rect(1, 1, 7, 3));
  EXPECT_EQ(cv::countNonZero(bar), 5);
  EXPECT_EQ(cv::countNonZero(bar.row(2)), 5);
}

TEST(ReferenceReading, NestingShapeAndBandExamples) {
  const FlatBoxList four{2, 2, 3, 3, 5, 2, 6, 3, 2, 5, 3, 6, 5, 5, 6, 6};
  FlatBoxList aFirst{0, 0, 20, 20, 1, 1, 10, 10};
  aFirst.insert(aFirst.end(), four.begin(), four.end());
  FlatBoxList bFirst{1, 1, 10, 10, 0, 0, 20, 20};
  bFirst.insert(bFirst.end(), four.begin(), four.end());
  filterComponentBoxes(aFirst);  // the four small boxes are then too low for the shape pass
  filterComponentBoxes(bFirst);
  EXPECT_TRUE(aFirst.empty());
  EXPECT_TRUE(bFirst.empty());

  FlatBoxList shapes{0, 0, 10, 5, 0, 0, 1, 6, 0, 0, 2, 10, 0, 0, 24, 10, 0, 0, 25, 10};
  filterComponentBoxes(shapes);
  EXPECT_EQ(shapes, (FlatBoxList{0, 0, 2, 10, 0, 0, 24, 10}));

  FlatBoxList split{5, 5, 8, 25};
  splitBoxesAtBands(split, {0, 10, 20, 30});
  EXPECT_EQ(split, (FlatBoxList{5, 5, 8, 9, 5, 10, 8, 19, 5, 20, 8, 25}));
}

TEST(ReferenceReading, GroupingExamples) {
  const std::vector<cv::Rect> three = formCandidates({0, 0, 9, 19, 15, 0, 24, 19, 30, 0, 39, 19});
  ASSERT_EQ(three.size(), 1u);
  EXPECT_EQ(three[0], cv::Rect(0, 0, 40, 20));
  EXPECT_TRUE(formCandidates({0, 0, 9, 19, 20, 0, 29, 19, 40, 0, 49, 19}).empty());
}

TEST(ReferenceReading, StripeContrastsOfAnAllOnesMap) {
  const cv::Mat ones(48, 96, CV_32FC1, cv::Scalar(1.0f));
  std::vector<float> values;
  for (const StripeLayout& layout : stripeLayoutTable()) {
    for (float v : stripeContrasts(ones, layout)) values.push_back(v);
  }
  const std::vector<float> expected{1363, 0.0611979f, 2463,       2.5621743f, 47,
                                    2353, 5871,       0.8361979f, 95,         0.0412326f};
  ASSERT_EQ(values.size(), expected.size());
  // The listed values carry six or seven significant digits.
  for (size_t i = 0; i < values.size(); ++i)
    EXPECT_NEAR(values[i], expected[i], expected[i] * 2e-6) << i;
}

TEST(ReferenceReading, NearestEdgeRules) {
  // Edges at rows 0 and 4 of one column: row 2 lies on the bound and takes row 0.
  cv::Mat column(5, 1, CV_8UC1, cv::Scalar(0));
  column.at<uchar>(0, 0) = 255;
  column.at<uchar>(4, 0) = 255;
  EXPECT_EQ(nearestEdgeTransform(column).at<cv::Vec2f>(2, 0), cv::Vec2f(0, 0));
  // Edges at (row 2, column 0) and (row 4, column 1): pixel (2, 3) takes (2, 1), no edge pixel,
  // because the row pass copies the row offset already rewritten for column 1.
  cv::Mat grid(6, 5, CV_8UC1, cv::Scalar(0));
  grid.at<uchar>(2, 0) = 255;
  grid.at<uchar>(4, 1) = 255;
  EXPECT_EQ(nearestEdgeTransform(grid).at<cv::Vec2f>(2, 3), cv::Vec2f(2, 1));
}

TEST(ReferenceReading, OrientationsAndWindows) {
  const std::vector<float> b = orientationBinBounds(16);
  EXPECT_FLOAT_EQ(b[0], 4.9087386f);
  EXPECT_FLOAT_EQ(b[7], 6.2831855f);
  EXPECT_FLOAT_EQ(b[15], 7.8539815f);
  // A bright column on the left of a dark one (dx < 0, dy = 0) folds to 2 pi = b[7]; bright
  // below dark (dx = 0, dy > 0) to 3 pi / 2, below every bound; bright above dark to b[15].
  cv::Mat left(3, 3, CV_8UC1, cv::Scalar(0));
  left.col(0).setTo(200);
  EXPECT_EQ(orientationMap(left).at<float>(1, 1), b[7]);
  cv::Mat below(3, 3, CV_8UC1, cv::Scalar(0));
  below.row(2).setTo(200);
  EXPECT_FLOAT_EQ(orientationMap(below).at<float>(1, 1), 4.712389f);
  cv::Mat above(3, 3, CV_8UC1, cv::Scalar(0));
  above.row(0).setTo(200);
  EXPECT_EQ(orientationMap(above).at<float>(1, 1), b[15]);
}

TEST(ReferenceReading, CascadeWorkedExample) {
  const classifier::StumpCascade cascade{{{3, 0.0f, 0.5f, 1, 0.8f, 0.0f},
                                          {7, 0.0f, 1.0f, -1, 0.3f, 0.0f},
                                          {-1, -1.0f, 0.4f, -1, -1.0f, -1.0f}}};
  cv::Mat features(1, 190, CV_32FC1, cv::Scalar(0.0f));
  features.at<float>(0, 3) = 0.7f;
  features.at<float>(0, 7) = 2.0f;
  EXPECT_EQ(reference::evaluateStumpCascade(features, cascade), 1);
  features.at<float>(0, 3) = 0.2f;
  EXPECT_EQ(reference::evaluateStumpCascade(features, cascade), -1);
}

TEST(ReferenceReading, FinalRegionsOfAnLAndACornerContact) {
  cv::Mat mask(10, 10, CV_8UC1, cv::Scalar(0));
  mask(cv::Rect(0, 0, 2, 6)).setTo(255);
  mask(cv::Rect(0, 4, 6, 2)).setTo(255);  // an L: one area
  mask(cv::Rect(6, 6, 2, 2)).setTo(255);  // touches the L only at a corner
  FlatBoxList boxes;
  textMaskRegions(mask, boxes);
  EXPECT_EQ(boxes, (FlatBoxList{0, 0, 5, 5, 6, 6, 7, 7}));
}

}  // namespace
}  // namespace scenetext::reference
