#include "regions/band_classification.hpp"

#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <random>

#include "features/feature_vector.hpp"
#include "regions/test_support.hpp"

namespace scenetext::regions {
namespace {

const classifier::StumpCascade kAcceptAll{};
// One stage without stumps: its sum 0 never reaches the threshold 1.
const classifier::StumpCascade kRejectAll{
    {classifier::StumpRecord{-1, -1.0f, 1.0f, -1, -1.0f, -1.0f}}};

TEST(FormCandidatesTest, OnlyTheMiddleOfThreeEvenlySpacedBoxesSeeds) {
  // Middle seed: cx = 19, gaps 11 (left) and 12 (right). The outer boxes see each other as too far.
  BoxList boxes{{0, 0, 9, 19}, {15, 0, 24, 19}, {30, 0, 39, 19}};
  EXPECT_EQ(formCandidates(boxes), std::vector<cv::Rect>{cv::Rect(0, 0, 40, 20)});
}

TEST(FormCandidatesTest, CentreDistanceReachesOneColumnFurtherToTheRight) {
  // Middle seed cx = 24: the right box is at |24 - 44 + 1| = 19 <= 20, the left at 21 > 20.
  BoxList boxes{{0, 0, 9, 9}, {20, 0, 29, 9}, {40, 0, 49, 9}};
  NeighbourSet neighbours;
  collectNeighbours(boxes, neighbours, boxes[1]);
  EXPECT_TRUE(neighbours.leftPositions.empty());
  EXPECT_EQ(neighbours.rightPositions, std::vector<int>{2});
  EXPECT_TRUE(formCandidates(boxes).empty());
  // Twice the factor reaches both; the outer boxes still lack a companion on one side.
  EXPECT_EQ(formCandidates(boxes, 4), std::vector<cv::Rect>{cv::Rect(0, 0, 50, 10)});
}

TEST(FormCandidatesTest, NearestGapsMayDifferByHalfTheSeedWidth) {
  // Left gap 10, right gap 20: refused for a seed 19 wide (10 > 9.5), formed for 20 wide.
  for (int width : {19, 20}) {
    BoxList boxes{{91, 0, 100, 19}, {100, 0, 99 + width, 19}, {128, 0, 137, 19}};
    std::optional<cv::Rect> rect = seedCandidate(boxes, 1);
    if (width == 19) {
      EXPECT_FALSE(rect.has_value());
    } else {
      ASSERT_TRUE(rect.has_value());
      EXPECT_EQ(*rect, cv::Rect(91, 0, 47, 20));
    }
  }
}

struct NeighbourRow {
  const char* what;
  Box seed;
  Box other;
  int side;  // -1 left, +1 right, 0 not a neighbour
  float gap;
};

TEST(CollectNeighboursTest, EachTestInTurn) {
  const NeighbourRow rows[] = {
      {"height 3/2 of an even seed passes", {20, 0, 29, 19}, {35, 0, 44, 29}, 1, 12},
      {"height 3/2 + 1 fails", {20, 0, 29, 19}, {35, 0, 44, 30}, 0, 0},
      {"height 2 next to 3 is below 0.6667", {20, 0, 22, 2}, {25, 0, 27, 1}, 0, 0},
      {"ends one row above the centre row", {20, 10, 29, 29}, {35, 0, 44, 18}, 0, 0},
      {"reaches the centre row", {20, 10, 29, 29}, {35, 0, 44, 19}, 1, 12},
      {"equal centre is a right neighbour", {10, 0, 19, 9}, {10, 0, 18, 9}, 1, -3},
      {"spans the seed on both sides", {10, 0, 19, 9}, {8, 0, 21, 9}, 0, 0},
      {"lies inside the seed horizontally", {10, 0, 29, 19}, {12, 0, 27, 19}, 0, 0},
      {"an identical box is the seed itself", {10, 0, 19, 9}, {10, 0, 19, 9}, 0, 0},
      {"left neighbour gap from the centre", {20, 0, 29, 9}, {5, 0, 14, 9}, -1, 11},
  };
  for (const NeighbourRow& row : rows) {
    BoxList boxes{row.seed, row.other};
    NeighbourSet neighbours;
    collectNeighbours(boxes, neighbours, row.seed);
    const size_t left = neighbours.leftPositions.size();
    const size_t right = neighbours.rightPositions.size();
    ASSERT_EQ(neighbours.leftGaps.size(), left);
    ASSERT_EQ(neighbours.rightGaps.size(), right);
    ASSERT_LE(left + right, 1u) << row.what;
    const int side = left ? -1 : right ? 1 : 0;
    EXPECT_EQ(side, row.side) << row.what;
    if (left) {
      EXPECT_EQ(neighbours.leftGaps[0], row.gap) << row.what;
    }
    if (right) {
      EXPECT_EQ(neighbours.rightGaps[0], row.gap) << row.what;
    }
  }
}

TEST(MergeNeighboursTest, UnitesAllNeighboursNotOnlyTheNearest) {
  // The box at x 0-9 is too far; both left boxes and the right one join.
  BoxList boxes{{30, 5, 39, 20}, {0, 2, 9, 18}, {12, 0, 21, 19}, {18, 3, 27, 17}, {45, 4, 54, 25}};
  NeighbourSet neighbours;
  collectNeighbours(boxes, neighbours, boxes[0]);
  EXPECT_EQ(mergeNeighbours(boxes[0], boxes, neighbours), (Box{12, 0, 54, 25}));
}

TEST(ClassifyCandidateTest, PaintsExactlyTheAcceptedRectangle) {
  cv::Mat band(30, 50, CV_8UC3, cv::Scalar(200, 200, 200));
  cv::rectangle(band, cv::Rect(10, 5, 20, 10), cv::Scalar(0, 0, 0), cv::FILLED);
  cv::Mat result = cv::Mat::zeros(30, 50, CV_8UC1);
  const cv::Rect rect(8, 4, 25, 13);
  EXPECT_EQ(classifyCandidate(rect, result, band, kRejectAll), -1);
  EXPECT_EQ(cv::countNonZero(result), 0);
  EXPECT_EQ(classifyCandidate(rect, result, band, kAcceptAll), 1);
  EXPECT_EQ(cv::countNonZero(result), rect.area());
  EXPECT_EQ(cv::countNonZero(result(rect)), rect.area());
}

TEST(DistinctCandidatesTest, KeepsTheFirstOfEachRectangleInOrder) {
  const cv::Rect a(0, 0, 4, 4), b(1, 0, 4, 4), c(0, 1, 4, 4);
  EXPECT_EQ(distinctCandidates({a, b, a, c, b, a}), (std::vector<cv::Rect>{a, b, c}));
  EXPECT_TRUE(distinctCandidates({}).empty());
}

// Two lines of four dark letters on a light band; every letter has two identical boxes (the
// outer and the hole contour of its stroke). Each inner letter of a line forms a rectangle of
// its own three letters, and each rectangle comes once per copy of its seed.
struct TwoLineBand {
  cv::Mat image{60, 120, CV_8UC3, cv::Scalar(210, 220, 230)};
  BoxList boxes;
  TwoLineBand() {
    for (int line = 0; line < 2; ++line) {
      for (int letter = 0; letter < 4; ++letter) {
        const cv::Rect r(6 + 16 * letter + 3 * line, 6 + 28 * line, 10, 16 + 2 * line);
        cv::rectangle(image, r, cv::Scalar(20 + 50 * letter, 30, 40 + 60 * line), 2);
        const Box box{r.x, r.y, r.x + r.width - 1, r.y + r.height - 1};
        boxes.push_back(box);
        boxes.push_back(box);
      }
    }
  }
};

// The band painted the plain way: every seed's rectangle judged and painted, repeats included.
cv::Mat paintEverySeed(const TwoLineBand& band, const classifier::StumpCascade& model) {
  cv::Mat result = cv::Mat::zeros(band.image.rows, band.image.cols, CV_8UC1);
  for (const cv::Rect& rect : formCandidates(band.boxes)) {
    classifyCandidate(rect, result, band.image, model);
  }
  return result;
}

TEST(ClassifyBandTest, JudgingEachRectangleOncePaintsTheSameResult) {
  const TwoLineBand band;
  const std::vector<cv::Rect> candidates = formCandidates(band.boxes);
  const std::vector<cv::Rect> distinct = distinctCandidates(candidates);
  ASSERT_EQ(distinct.size(), 4u);
  ASSERT_EQ(candidates.size(), 8u);
  // A cascade that accepts some rectangles and not others: one stump on the x-derivative's first
  // contrast, split at the middle value of the four rectangles.
  std::vector<float> values;
  for (const cv::Rect& rect : distinct) {
    values.push_back(features::computeFeatureVector(cropRegion(band.image, rect)).at<float>(0, 0));
  }
  std::sort(values.begin(), values.end());
  ASSERT_LT(values[1], values[2]);
  const classifier::StumpCascade some{
      {classifier::makeStumpRecord(0, 1, values[2], 1.0f), classifier::makeThresholdRecord(0.0f)}};
  for (const classifier::StumpCascade* model : {&kAcceptAll, &kRejectAll, &some}) {
    const cv::Mat expected = paintEverySeed(band, *model);
    const cv::Mat result = classifyBand(band.image, band.boxes, *model);
    EXPECT_EQ(cv::countNonZero(result != expected), 0);
  }
  const int painted = cv::countNonZero(classifyBand(band.image, band.boxes, some));
  EXPECT_GT(painted, 0);
  EXPECT_LT(painted, cv::countNonZero(classifyBand(band.image, band.boxes, kAcceptAll)));
}

// Random cascades whose stumps split at values of the region's own features, so that stages pass
// and fail, judged with features computed on demand and with the whole vector.
TEST(ClassifyRegionTest, OnDemandFeaturesGiveTheDecisionOfTheWholeVector) {
  const TwoLineBand band;
  std::vector<cv::Mat> regions;
  for (const cv::Rect& rect : distinctCandidates(formCandidates(band.boxes))) {
    regions.push_back(cropRegion(band.image, rect));
  }
  regions.push_back(cv::Mat(9, 30, CV_8UC3, cv::Scalar(7, 7, 7)));  // no edge at all
  std::mt19937 rng(5);
  int accepted = 0, rejected = 0;
  for (const cv::Mat& region : regions) {
    const cv::Mat vector = features::computeFeatureVector(region);
    for (int trial = 0; trial < 20; ++trial) {
      classifier::StumpCascade cascade;
      for (int stage = 0; stage < 3; ++stage) {
        classifier::CascadeStage records;
        for (int k = 0; k < 4; ++k) {
          const int index = static_cast<int>(rng() % features::kFeatureCount);
          const float threshold =
              vector.at<float>(0, static_cast<int>(rng() % features::kFeatureCount));
          records.push_back(
              classifier::makeStumpRecord(index, (rng() & 1) ? 1 : -1, threshold, 1.0f));
        }
        records.push_back(classifier::makeThresholdRecord(-1.0f));
        cascade.push_back(records);
      }
      const int expected = classifier::evaluateStumpCascade(vector, cascade);
      EXPECT_EQ(classifyRegion(region, cascade), expected);
      (expected == 1 ? accepted : rejected)++;
    }
  }
  EXPECT_GT(accepted, 0);
  EXPECT_GT(rejected, 0);
}

// On demand, a feature is asked for only by a stump of a stage that is reached, in stump order; an
// abstaining stump asks for nothing, and a stage's indices are checked before it asks.
TEST(ClassifyRegionTest, OnlyTheStagesReachedAskForFeatures) {
  using classifier::makeStumpRecord;
  using classifier::makeThresholdRecord;
  const classifier::StumpCascade cascade{
      {makeStumpRecord(7, 1, 0.5f, 1.0f), makeStumpRecord(3, 2, 0.5f, 1.0f),
       makeStumpRecord(9, -1, 0.5f, 1.0f), makeThresholdRecord(0.0f)},
      {makeStumpRecord(1, 1, 0.5f, 1.0f), makeThresholdRecord(5.0f)},    // fails
      {makeStumpRecord(999, 1, 0.5f, 1.0f), makeThresholdRecord(0.0f)},  // never reached
  };
  std::vector<int> asked;
  const auto feature = [&asked](int index) {
    asked.push_back(index);
    return static_cast<float>(index);
  };
  EXPECT_EQ(classifier::evaluateStumpCascade(feature, features::kFeatureCount, cascade), -1);
  EXPECT_EQ(asked, (std::vector<int>{7, 9, 1}));
  asked.clear();
  const classifier::StumpCascade badSecondStage{
      cascade[0],
      {makeStumpRecord(2, 1, 0.5f, 1.0f), makeStumpRecord(190, 1, 0.5f, 1.0f),
       makeThresholdRecord(0.0f)}};
  EXPECT_THROW(classifier::evaluateStumpCascade(feature, features::kFeatureCount, badSecondStage),
               cv::Exception);
  EXPECT_EQ(asked, (std::vector<int>{7, 9}));
}

TEST(ClassifyBandTest, EmptyBoxListGivesAnEmptyResult) {
  cv::Mat band(12, 16, CV_8UC3, cv::Scalar(1, 2, 3));
  cv::Mat result = classifyBand(band, {}, kAcceptAll);
  EXPECT_EQ(result.size(), band.size());
  EXPECT_EQ(result.type(), CV_8UC1);
  EXPECT_EQ(cv::countNonZero(result), 0);
}

}  // namespace
}  // namespace scenetext::regions
