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

TEST(EvaluateStageTest, WorkedExample) {
  const std::vector<StumpRecord> stumps{stump(3, 1, 0.5f, 0.8f), stump(7, -1, 1.0f, 0.3f)};
  // 0.8 - 0.3 = 0.5 in single precision passes 0.4, and sits exactly on 0.8f - 0.3f.
  EXPECT_EQ(stageResult(stumps, features({{3, 0.7f}, {7, 2.0f}}), 0.4f), 1);
  EXPECT_EQ(stageResult(stumps, features({{3, 0.7f}, {7, 2.0f}}), 0.8f - 0.3f), 1);
  EXPECT_EQ(stageResult(stumps, features({{3, 0.7f}, {7, 2.0f}}), std::nextafter(0.8f - 0.3f, 1.0f)), -1);
  // -0.8 - 0.3 = -1.1 fails 0.4, and the whole cascade with it.
  const StumpCascade cascade{{stumps[0], stumps[1], makeThresholdRecord(0.4f)}};
  EXPECT_EQ(stageResult(stumps, features({{3, 0.2f}, {7, 2.0f}}), -0.8f - 0.3f), 1);
  EXPECT_EQ(stageResult(stumps, features({{3, 0.2f}, {7, 2.0f}}), std::nextafter(-0.8f - 0.3f, 0.0f)), -1);
  EXPECT_EQ(evaluateStumpCascade(features({{3, 0.2f}, {7, 2.0f}}), cascade), -1);
  EXPECT_EQ(evaluateStumpCascade(features({{3, 0.7f}, {7, 2.0f}}), cascade), 1);
}

TEST(EvaluateStageTest, ComparisonsAndVotes) {
  struct Row { const char* what; std::vector<StumpRecord> stumps; float feature; float stageThreshold; int expected; };
  const float below = std::nextafter(0.5f, 0.0f);
  const Row rows[] = {
      {"a feature equal to the threshold fires", {stump(0, 1, 0.5f, 1.0f)}, 0.5f, 1.0f, 1},
      {"just below does not", {stump(0, 1, 0.5f, 1.0f)}, below, -1.0f, 1},
      {"just below does not, so -1 < 0", {stump(0, 1, 0.5f, 1.0f)}, below, 0.0f, -1},
      {"polarity -1 subtracts when firing", {stump(0, -1, 0.5f, 1.0f)}, 0.5f, -1.0f, 1},
      {"polarity -1 subtracts when firing (2)", {stump(0, -1, 0.5f, 1.0f)}, 0.5f, -0.5f, -1},
      {"NaN feature, polarity +1 subtracts", {stump(0, 1, 0.5f, 1.0f)}, kNaN, -1.0f, 1},
      {"NaN feature, polarity +1 subtracts (2)", {stump(0, 1, 0.5f, 1.0f)}, kNaN, -0.5f, -1},
      {"NaN feature, polarity -1 adds", {stump(0, -1, -INFINITY, 1.0f)}, kNaN, 1.0f, 1},
      {"NaN stump threshold never fires", {stump(0, 1, kNaN, 1.0f)}, 1.0f, -0.5f, -1},
      {"negative weight enters unchanged", {stump(0, 1, 0.0f, -0.5f)}, 1.0f, -0.5f, 1},
      {"negative weight enters unchanged (2)", {stump(0, 1, 0.0f, -0.5f)}, 1.0f, -0.25f, -1},
      {"a NaN sum fails even -inf", {stump(0, 1, 0.0f, kNaN)}, 1.0f, -INFINITY, -1},
      {"polarity 0 abstains", {stump(0, 0, 0.0f, 5.0f)}, 1.0f, 0.0f, 1},
      {"polarity 2 abstains", {stump(0, 2, 0.0f, 5.0f)}, 1.0f, 1e-45f, -1},
      {"INT_MIN abstains", {stump(0, std::numeric_limits<int>::min(), 0.0f, 5.0f)}, -1.0f, -1e-45f, 1},
      {"no stumps: sum 0 passes 0", {}, 0.0f, 0.0f, 1},
      {"no stumps: sum 0 passes -0", {}, 0.0f, -0.0f, 1},
      {"no stumps: sum 0 fails the least positive", {}, 0.0f, 1e-45f, -1},
      // 1 + 2^-25 rounds back to 1 in single precision, so the sum is 0, not 2^-25.
      {"the sum is rounded after every vote",
       {stump(0, 1, 0.0f, 1.0f), stump(0, 1, 0.0f, 0x1p-25f), stump(0, -1, 0.0f, 1.0f)}, 1.0f, 0x1p-26f, -1},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(stageResult(row.stumps, features({{0, row.feature}}), row.stageThreshold), row.expected) << row.what;
  }
}

TEST(EvaluateStumpCascadeTest, StagesInOrderStoppingAtTheFirstFailure) {
  const std::vector<float> zeros(kFeatureCount, 0.0f);
  EXPECT_EQ(evaluateStumpCascade(features({{0, kNaN}}), StumpCascade{}), 1);  // empty accepts
  const CascadeStage fails{makeThresholdRecord(1.0f)};
  const CascadeStage passes{stump(5, 1, 0.0f, 1.0f), makeThresholdRecord(1.0f)};
  // A stage that would throw if it were reached: its index is beyond the FeatureVector.
  const CascadeStage unreachable{stump(kFeatureCount + 10, 1, 0.0f, 1.0f), makeThresholdRecord(0.0f)};
  EXPECT_EQ(evaluateStumpCascade(zeros, {passes, passes}), 1);
  EXPECT_EQ(evaluateStumpCascade(zeros, {fails, passes}), -1);
  EXPECT_EQ(evaluateStumpCascade(zeros, {passes, fails, unreachable}), -1);
  EXPECT_THROW(evaluateStumpCascade(zeros, {passes, unreachable}), cv::Exception);
  EXPECT_EQ(evaluateStumpCascade(zeros, {passes, CascadeStage{}, passes}), 1);  // nothing to test
  // The row must be a 1 x N single-precision matrix.
  EXPECT_THROW(evaluateStumpCascade(cv::Mat::zeros(1, kFeatureCount, CV_64FC1), {passes}), cv::Exception);
  EXPECT_THROW(evaluateStumpCascade(cv::Mat::zeros(2, kFeatureCount, CV_32FC1), {passes}), cv::Exception);
  // A row cut out of a larger matrix is read through its own pointer.
  cv::Mat table = cv::Mat::zeros(3, kFeatureCount + 4, CV_32FC1);
  table.at<float>(1, 7) = -1.0f;
  EXPECT_EQ(evaluateStumpCascade(table.row(1).colRange(2, kFeatureCount + 2), {passes}), -1);
  EXPECT_EQ(evaluateStumpCascade(table.row(0).colRange(2, kFeatureCount + 2), {passes}), 1);
}

TEST(EvaluateStumpCascadeTest, LoadedModelJudgesLikeTheWorkedExample) {
  StumpCascade cascade;
  ASSERT_TRUE(parseStumpCascade("stage 1\n0, 3, 1, 0.5, 0.8, 0\n1, 7, -1, 1.0, 0.3, 0\n@, 0.4\n#\n", "m", cascade).ok());
  EXPECT_EQ(evaluateStumpCascade(features({{3, 0.7f}, {7, 2.0f}}), cascade), 1);
  EXPECT_EQ(evaluateStumpCascade(features({{3, 0.2f}, {7, 2.0f}}), cascade), -1);
}

}  // namespace
}  // namespace scenetext::classifier
