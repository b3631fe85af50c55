#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "classifier/stump_cascade.hpp"

namespace scenetext::classifier {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

StumpRecord stump(int index, int polarity, float threshold, float weight) {
  return makeStumpRecord(index, polarity, threshold, weight);
}

// A FeatureVector of zeros with the given elements set.
cv::Mat features(std::initializer_list<std::pair<int, float>> values) {
  cv::Mat row = cv::Mat::zeros(1, kFeatureCount, CV_32FC1);
  for (const auto& [index, value] : values) row.at<float>(0, index) = value;
  return row;
}

int stageResult(const std::vector<StumpRecord>& stumps, const cv::Mat& row, float stageThreshold) {
  return evaluateStage(stumps, row.ptr<float>(0), stageThreshold);
}

TEST(EvaluateStumpCascadeTest, WorkedExampleFromAModelFile) {
  StumpCascade cascade;
  const char* model = "stage 1\n0, 3, 1, 0.5, 0.8, 0\n1, 7, -1, 1.0, 0.3, 0\n@, 0.4\n#\n";
  ASSERT_TRUE(parseStumpCascade(model, "m", cascade).ok());
  EXPECT_EQ(evaluateStumpCascade(features({{3, 0.7f}, {7, 2.0f}}), cascade), 1);  // 0.8 - 0.3 = 0.5
  EXPECT_EQ(evaluateStumpCascade(features({{3, 0.2f}, {7, 2.0f}}), cascade),
            -1);  // -0.8 - 0.3 = -1.1
}

// Each row's stage sum is pinned exactly: the stage passes at that threshold and fails just above.
TEST(EvaluateStageTest, VotesGiveExactlyThisSum) {
  struct Row {
    const char* what;
    std::vector<StumpRecord> stumps;
    float feature;
    float sum;
  };
  const Row rows[] = {
      {"worked example, both fire",
       {stump(0, 1, 0.5f, 0.8f), stump(0, -1, 0.6f, 0.3f)},
       0.7f,
       0.8f - 0.3f},
      {"a feature equal to the threshold fires", {stump(0, 1, 0.5f, 1.0f)}, 0.5f, 1.0f},
      {"just below it does not", {stump(0, 1, 0.5f, 1.0f)}, std::nextafter(0.5f, 0.0f), -1.0f},
      {"polarity -1 subtracts when firing", {stump(0, -1, 0.5f, 1.0f)}, 0.5f, -1.0f},
      {"a NaN feature makes polarity +1 subtract", {stump(0, 1, -INFINITY, 1.0f)}, kNaN, -1.0f},
      {"a NaN feature makes polarity -1 add", {stump(0, -1, -INFINITY, 1.0f)}, kNaN, 1.0f},
      {"a NaN stump threshold never fires", {stump(0, 1, kNaN, 1.0f)}, 1.0f, -1.0f},
      {"a negative weight enters unchanged", {stump(0, 1, 0.0f, -0.5f)}, 1.0f, -0.5f},
      {"polarities 0, 2 and INT_MIN abstain",
       {stump(0, 0, 0.0f, 5.0f), stump(0, 2, 0.0f, 5.0f),
        stump(0, std::numeric_limits<int>::min(), 0.0f, 5.0f)},
       1.0f,
       0.0f},
      {"no stumps", {}, 0.0f, 0.0f},
      // 1 + 2^-25 rounds back to 1 in single precision, so the sum is 0, not 2^-25.
      {"the sum is rounded after every vote",
       {stump(0, 1, 0.0f, 1.0f), stump(0, 1, 0.0f, 0x1p-25f), stump(0, -1, 0.0f, 1.0f)},
       1.0f,
       0.0f},
  };
  for (const Row& row : rows) {
    const cv::Mat vector = features({{0, row.feature}});
    EXPECT_EQ(stageResult(row.stumps, vector, row.sum), 1) << row.what;
    EXPECT_EQ(stageResult(row.stumps, vector, std::nextafter(row.sum, INFINITY)), -1) << row.what;
  }
  EXPECT_EQ(stageResult({stump(0, 1, 0.0f, kNaN)}, features({}), -INFINITY), -1)
      << "a NaN sum fails";
}

TEST(EvaluateStumpCascadeTest, StagesInOrderStoppingAtTheFirstFailure) {
  const std::vector<float> zeros(kFeatureCount, 0.0f);
  EXPECT_EQ(evaluateStumpCascade(features({{0, kNaN}}), StumpCascade{}), 1);  // empty accepts
  const CascadeStage fails{makeThresholdRecord(1.0f)};
  const CascadeStage passes{stump(5, 1, 0.0f, 1.0f), makeThresholdRecord(1.0f)};
  // A stage that would throw if it were reached: its index is beyond the FeatureVector.
  const CascadeStage unreachable{stump(kFeatureCount + 10, 1, 0.0f, 1.0f),
                                 makeThresholdRecord(0.0f)};
  EXPECT_EQ(evaluateStumpCascade(zeros, {passes, passes}), 1);
  EXPECT_EQ(evaluateStumpCascade(zeros, {fails, passes}), -1);
  EXPECT_EQ(evaluateStumpCascade(zeros, {passes, fails, unreachable}), -1);
  EXPECT_THROW(evaluateStumpCascade(zeros, {passes, unreachable}), cv::Exception);
  EXPECT_EQ(evaluateStumpCascade(zeros, {passes, CascadeStage{}, passes}), 1);  // nothing to test
  // The row must be a 1 x N single-precision matrix.
  for (const cv::Mat& wrong : {cv::Mat(1, 190, CV_64FC1), cv::Mat(2, 190, CV_32FC1)}) {
    EXPECT_THROW(evaluateStumpCascade(wrong, {passes}), cv::Exception);
  }
  // A row cut out of a larger matrix is read through its own pointer.
  cv::Mat table = cv::Mat::zeros(3, kFeatureCount + 4, CV_32FC1);
  table.at<float>(1, 7) = -1.0f;
  EXPECT_EQ(evaluateStumpCascade(table.row(1).colRange(2, kFeatureCount + 2), {passes}), -1);
  EXPECT_EQ(evaluateStumpCascade(table.row(0).colRange(2, kFeatureCount + 2), {passes}), 1);
}

TEST(StageClearanceTest, FractionOfTheWayFromTheThresholdToTheTop) {
  // Voting weights 0.8 + 0.3 + |-0.1| = 1.2; the abstaining stump does not count.
  const std::vector<StumpRecord> stumps{stump(0, 1, 0.5f, 0.8f), stump(1, -1, 0.5f, 0.3f),
                                        stump(2, 1, 0.5f, -0.1f), stump(3, 0, 0.5f, 5.0f)};
  struct Row {
    float sum;
    float threshold;
    double clearance;
  };
  const Row rows[] = {
      {0.2f, 0.2f, 0.0},  // at the threshold
      {1.2f, 0.2f, 1.0},  // at the top
      {0.7f, 0.2f, 0.5},  // half way
      {-0.3f, -0.6f, 0.3 / 1.8},
      {0.1f, 0.2f, 0.0},  // below the threshold: clamped (never asked by the cascade)
      {1.2f, 1.2f, 1.0},  // no room above the threshold
      {1.5f, 2.0f, 1.0},
  };
  for (const Row& row : rows) {
    EXPECT_NEAR(stageClearance(stumps, row.sum, row.threshold), row.clearance, 1e-6)
        << row.sum << " over " << row.threshold;
  }
}

TEST(JudgeStumpCascadeTest, SameDecisionAsTheEvaluationAndTheWeakestStagesClearance) {
  StumpCascade cascade;
  // Stage 1: one stump of weight 1 on feature 0 at 0.5, threshold 0 (clearance 1 or rejected).
  // Stage 2: stumps of weight 0.6 and 0.4 on features 1 and 2, threshold 0.1: top 1.0, room 0.9.
  const char* model =
      "stage 1\n0, 0, 1, 0.5, 1, 0\n@, 0\n"
      "stage 2\n0, 1, 1, 0.5, 0.6, 0\n1, 2, 1, 0.5, 0.4, 0\n@, 0.1\n#\n";
  ASSERT_TRUE(parseStumpCascade(model, "m", cascade).ok());
  struct Row {
    float f0, f1, f2;
    int decision;
    double clearance;
  };
  const Row rows[] = {
      {1, 1, 1, 1, 1.0},        // both stages at the top
      {1, 1, 0, 1, 0.1 / 0.9},  // stage 2: 0.6 - 0.4 = 0.2
      {1, 0, 1, -1, 0.0},       // stage 2: -0.2 < 0.1
      {0, 1, 1, -1, 0.0},       // stage 1 fails
  };
  for (const Row& row : rows) {
    const cv::Mat vector = features({{0, row.f0}, {1, row.f1}, {2, row.f2}});
    const CascadeVerdict verdict = judgeStumpCascade(
        [&vector](int index) { return vector.at<float>(0, index); }, kFeatureCount, cascade);
    EXPECT_EQ(verdict.decision, evaluateStumpCascade(vector, cascade));
    EXPECT_EQ(verdict.decision, row.decision) << row.f0 << row.f1 << row.f2;
    EXPECT_NEAR(verdict.clearance, row.clearance, 1e-6) << row.f0 << row.f1 << row.f2;
  }
  const CascadeVerdict empty = judgeStumpCascade([](int) { return 0.0f; }, kFeatureCount, {});
  EXPECT_EQ(empty.decision, 1);
  EXPECT_EQ(empty.clearance, 1.0);
}

}  // namespace
}  // namespace scenetext::classifier
