#include "eval/average_precision.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace scenetext::evaluation {
namespace {

WordBox word(int left, int right) { return {left, 0, right, 0, "w", false}; }
WordBox dontCare(int left, int right) { return {left, 0, right, 0, "###", true}; }

struct ScoredBox {
  Box box;
  std::optional<double> score;
};

// One image of single-row boxes, scored by `protocol` as scenetext-eval scores it.
ImageEvaluation image(const std::string& stem, std::vector<WordBox> truth,
                      const std::vector<ScoredBox>& boxes, Protocol protocol) {
  ImageEvaluation evaluation;
  evaluation.files.stem = stem;
  evaluation.files.detectionPath = stem + ".jpg.txt";
  evaluation.truth = std::move(truth);
  for (const ScoredBox& box : boxes) {
    evaluation.detections.push_back(box.box);
    evaluation.scores.push_back(box.score);
  }
  evaluation.score = scoreImage(evaluation.truth, evaluation.detections, protocol);
  return evaluation;
}

void expectPoints(const PrecisionRecallCurve& curve, const std::vector<CurvePoint>& expected) {
  ASSERT_EQ(curve.points.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_DOUBLE_EQ(curve.points[i].recall, expected[i].recall) << "point " << i;
    EXPECT_DOUBLE_EQ(curve.points[i].precision, expected[i].precision) << "point " << i;
  }
}

TEST(InterpolatedArea, TakesTheBestPrecisionAtOrAboveEachRecall) {
  EXPECT_EQ(interpolatedArea({}), 0.0);
  // Sorted by recall: the dip to 0.5 at recall 0.2 is lifted to the 1.0 reached further on.
  EXPECT_DOUBLE_EQ(interpolatedArea({{0.6, 0.25}, {0.2, 0.5}, {0.4, 1.0}}), 0.2 + 0.2 + 0.2 * 0.25);
  EXPECT_DOUBLE_EQ(interpolatedArea({{1.0, 1.0}}), 1.0);
}

TEST(IoUAveragePrecision, SumsThePrecisionAtEachMatchedRankOverTheWords) {
  // Two words; ranked: a wrong detection (0.9), then both words (0.8, 0.7). The ICDAR 2015 sum is
  // (1/2 + 2/3) / 2; interpolating the curve would give 2/3.
  const std::vector<ImageEvaluation> images = {
      image("1", {word(0, 9), word(20, 29)},
            {{{20, 0, 29, 0}, 0.7}, {{50, 0, 59, 0}, 0.9}, {{0, 0, 9, 0}, 0.8}}, Protocol::IoU)};
  const PrecisionRecallCurve curve = precisionRecallCurve(images, Protocol::IoU);
  expectPoints(curve, {{0.0, 0.0}, {0.5, 0.5}, {1.0, 2.0 / 3.0}});
  EXPECT_DOUBLE_EQ(curve.averagePrecision, (1.0 / 2.0 + 2.0 / 3.0) / 2.0);
}

TEST(IoUAveragePrecision, BreaksTiesByImageThenLineAndSkipsDroppedDetections) {
  // Equal scores: image "1" before image "2", and in image "2" the wrong box (line 1) before the
  // match (line 2). The detection on the don't-care word outranks everything but takes no rank.
  const std::vector<ImageEvaluation> images = {
      image("1", {word(0, 9)}, {{{0, 0, 9, 0}, 0.5}}, Protocol::IoU),
      image("2", {word(0, 9), dontCare(100, 199)},
            {{{50, 0, 59, 0}, 0.5}, {{0, 0, 9, 0}, 0.5}, {{100, 0, 199, 0}, 9.0}}, Protocol::IoU),
  };
  const PrecisionRecallCurve curve = precisionRecallCurve(images, Protocol::IoU);
  expectPoints(curve, {{0.5, 1.0}, {0.5, 0.5}, {1.0, 2.0 / 3.0}});
  EXPECT_DOUBLE_EQ(curve.averagePrecision, (1.0 + 2.0 / 3.0) / 2.0);
}

TEST(DetEvalAveragePrecision, RescoresTheSetAtEachDistinctThreshold) {
  // The halves of a word: alone, the first is no match at all; together they are a split
  // (recall 0.8, precision 0.8).
  const std::vector<ImageEvaluation> images = {
      image("1", {word(0, 99)}, {{{0, 0, 49, 0}, 0.9}, {{50, 0, 99, 0}, 0.8}}, Protocol::DetEval)};
  const PrecisionRecallCurve curve = precisionRecallCurve(images, Protocol::DetEval);
  expectPoints(curve, {{0.0, 0.0}, {0.8, 0.8}});
  EXPECT_DOUBLE_EQ(curve.averagePrecision, 0.64);
}

TEST(DetEvalAveragePrecision, InterpolatesOverRecallThatFallsAsTheThresholdDrops) {
  // "No" (0..19) and "mobile" (30..99). At 0.9 the box of "mobile" matches it one-to-one:
  // recall 0.5, precision 1. At 0.5 the line over both words joins, "mobile" has two partners and
  // becomes a split (0.8, and 0.8 per piece): recall 0.4, precision 0.8. Area: 0.5 x 1.
  const std::vector<ImageEvaluation> images = {image("1", {word(0, 19), word(30, 99)},
                                                     {{{30, 0, 99, 0}, 0.9}, {{0, 0, 99, 0}, 0.5}},
                                                     Protocol::DetEval)};
  const PrecisionRecallCurve curve = precisionRecallCurve(images, Protocol::DetEval);
  expectPoints(curve, {{0.5, 1.0}, {0.4, 0.8}});
  EXPECT_DOUBLE_EQ(curve.averagePrecision, 0.5);
}

TEST(DetEvalAveragePrecision, EqualScoresEnterTogether) {
  const std::vector<ImageEvaluation> images = {
      image("1", {word(0, 99)}, {{{0, 0, 49, 0}, 0.5}, {{50, 0, 99, 0}, 0.5}}, Protocol::DetEval),
      image("2", {word(0, 99)}, {{{0, 0, 99, 0}, 0.5}}, Protocol::DetEval),
  };
  const PrecisionRecallCurve curve = precisionRecallCurve(images, Protocol::DetEval);
  expectPoints(curve, {{0.9, 2.6 / 3.0}});
  EXPECT_DOUBLE_EQ(curve.averagePrecision, 0.9 * 2.6 / 3.0);
}

TEST(CountScores, CountsEveryDetectionAndNamesTheFirstFileMissingOne) {
  const std::vector<ImageEvaluation> images = {
      image("1", {word(0, 9)}, {{{0, 0, 9, 0}, 0.5}}, Protocol::DetEval),
      image("2", {word(0, 9)}, {{{0, 0, 9, 0}, std::nullopt}, {{0, 0, 9, 0}, 1.0}},
            Protocol::DetEval),
      image("3", {word(0, 9)}, {{{0, 0, 9, 0}, std::nullopt}}, Protocol::DetEval),
  };
  const ScoreCount count = countScores(images);
  EXPECT_EQ(count.detections, 4u);
  EXPECT_EQ(count.scored, 2u);
  EXPECT_EQ(count.firstUnscoredFile, "2.jpg.txt");
}

}  // namespace
}  // namespace scenetext::evaluation
