#include "eval/scoring.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <random>
#include <sstream>
#include <vector>

#include "eval/test/deteval_literal.hpp"

namespace scenetext::evaluation {
namespace {

WordBox word(int left, int top, int right, int bottom) {
  return {left, top, right, bottom, "w", false};
}
WordBox dontCare(int left, int top, int right, int bottom) {
  return {left, top, right, bottom, "###", true};
}

using Outcomes = std::vector<BoxOutcome>;
constexpr BoxOutcome kMatched = BoxOutcome::Matched;
constexpr BoxOutcome kUnmatched = BoxOutcome::Unmatched;
constexpr BoxOutcome kIgnored = BoxOutcome::Ignored;

// One image's expected tally; most boxes below are single rows of pixels, so areas are lengths.
struct Expected {
  int64_t words;
  int64_t detections;
  double recallSum;
  double precisionSum;
};

void expectTally(const ImageScore& score, const Expected& expected) {
  EXPECT_EQ(score.tally.words, expected.words);
  EXPECT_EQ(score.tally.detections, expected.detections);
  EXPECT_DOUBLE_EQ(score.tally.recallSum, expected.recallSum);
  EXPECT_DOUBLE_EQ(score.tally.precisionSum, expected.precisionSum);
}

TEST(BoxGeometry, AreasAreInclusiveAndNeverOverflow) {
  EXPECT_EQ(boxArea({5, 5, 5, 5}), 1.0);
  EXPECT_EQ(boxArea({0, 0, 9, 4}), 50.0);
  EXPECT_EQ(boxArea({9, 0, 0, 4}), 0.0);
  EXPECT_EQ(boxArea({INT_MIN, 0, INT_MAX, 1}), 2.0 * 4294967296.0);
  EXPECT_EQ(intersectionArea({0, 0, 9, 9}, {10, 0, 19, 9}), 0.0);  // touching, not overlapping
  EXPECT_EQ(intersectionArea({0, 0, 9, 9}, {9, 0, 19, 9}), 10.0);  // one shared column
  EXPECT_EQ(intersectionArea({0, 0, 9, 9}, {3, 3, 4, 4}), 4.0);
}

TEST(BoxGeometry, CoveredAreaCountsOverlappingCoversOnce) {
  const Box target{0, 0, 9, 9};
  EXPECT_EQ(coveredArea(target, {}), 0.0);
  EXPECT_EQ(coveredArea(target, {{0, 0, 4, 9}, {0, 0, 4, 9}}), 50.0);
  EXPECT_EQ(coveredArea(target, {{0, 0, 5, 9}, {4, 0, 9, 4}}), 60.0 + 20.0);
  EXPECT_EQ(coveredArea(target, {{-100, -100, 100, 100}, {2, 2, 3, 3}}), 100.0);
  EXPECT_EQ(coveredArea(target, {{20, 20, 30, 30}}), 0.0);
}

TEST(BoxGeometry, CentreDistanceIsBelowOneForEveryOverlappingPair) {
  // Centres 30 apart, both diagonals sqrt(10^2 + 10^2).
  EXPECT_DOUBLE_EQ(normalizedCentreDistance({0, 0, 9, 9}, {30, 0, 39, 9}), 30.0 / std::sqrt(200.0));
  // So the one-to-one centre rule at its published bound of 1 never rejects a pair that overlaps
  // at all: boxes of many shapes touching at each corner stay below 1.
  const std::vector<Box> shapes = {
      {0, 0, 0, 0}, {0, 0, 99, 0}, {0, 0, 0, 99}, {0, 0, 9, 9}, {0, 0, 199, 29}};
  for (const Box& a : shapes) {
    for (const Box& b : shapes) {
      for (int sx : {-1, 1}) {
        for (int sy : {-1, 1}) {
          const int dx = sx > 0 ? a.right - b.left : a.left - b.right;
          const int dy = sy > 0 ? a.bottom - b.top : a.top - b.bottom;
          const Box moved{b.left + dx, b.top + dy, b.right + dx, b.bottom + dy};
          ASSERT_GT(intersectionArea(a, moved), 0.0);
          EXPECT_LT(normalizedCentreDistance(a, moved), 1.0);
        }
      }
    }
  }
}

TEST(DetEval, OneToOneConstraintsAreNonStrictAndANearMissMatchesNothing) {
  struct Row {
    const char* what;
    Box detection;
    bool matched;
  };
  // The word is 1000 pixels long; the second word set is 100 pixels long.
  const std::vector<Row> recallRows = {
      {"800 of 1000 word pixels", {0, 0, 799, 0}, true},
      {"799 of 1000 word pixels", {0, 0, 798, 0}, false},
  };
  for (const Row& row : recallRows) {
    const ImageScore score = scoreDetEval({word(0, 0, 999, 0)}, {row.detection});
    EXPECT_EQ(score.tally.recallSum, row.matched ? 1.0 : 0.0) << row.what;
    EXPECT_EQ(score.detectionOutcomes, Outcomes{row.matched ? kMatched : kUnmatched}) << row.what;
  }
  const std::vector<Row> precisionRows = {
      {"100 of 250 detection pixels", {0, 0, 249, 0}, true},
      {"100 of 251 detection pixels", {0, 0, 250, 0}, false},
  };
  for (const Row& row : precisionRows) {
    const ImageScore score = scoreDetEval({word(0, 0, 99, 0)}, {row.detection});
    EXPECT_EQ(score.tally.precisionSum, row.matched ? 1.0 : 0.0) << row.what;
  }
}

TEST(DetEval, OneToOneNeedsEachToBeTheOthersOnlyPartner) {
  // Two overlapping detections both cover the word well: not one-to-one, but a split (0.8).
  const ImageScore score = scoreDetEval({word(0, 0, 99, 0)}, {{0, 0, 99, 0}, {0, 0, 89, 0}});
  expectTally(score, {1, 2, 0.8, 1.6});
}

TEST(DetEval, CentreDistanceRuleIsStrictAtItsBound) {
  // A bound below 1 makes the rule reachable: centres 39 or 40 apart, diagonals sqrt(100^2 + 1),
  // and the bound is exactly 40 diagonals' worth.
  const DetEvalConstraints constraints{0.5, 0.5, 40.0 / std::hypot(100.0, 1.0)};
  const ImageScore near = scoreDetEval({word(0, 0, 99, 0)}, {{39, 0, 138, 0}}, constraints);
  EXPECT_EQ(near.tally.recallSum, 1.0);
  const ImageScore far = scoreDetEval({word(0, 0, 99, 0)}, {{40, 0, 139, 0}}, constraints);
  EXPECT_EQ(far.tally.recallSum, 0.0);
  EXPECT_EQ(far.wordOutcomes, Outcomes{kUnmatched});
}

TEST(DetEval, WordSplitInTwoScoresPointEightPerPiece) {
  const ImageScore score = scoreDetEval({word(0, 0, 99, 9)}, {{0, 0, 49, 9}, {50, 0, 99, 9}});
  expectTally(score, {1, 2, 0.8, 1.6});
  EXPECT_EQ(score.detectionOutcomes, (Outcomes{kMatched, kMatched}));
  const Scores scores = scoresOf(score.tally);
  EXPECT_DOUBLE_EQ(scores.recall, 0.8);
  EXPECT_DOUBLE_EQ(scores.precision, 0.8);
}

TEST(DetEval, SplitNearMisses) {
  struct Row {
    const char* what;
    std::vector<Box> pieces;
    double recallSum;
  };
  const std::vector<Row> rows = {
      {"pieces cover 800 of 1000", {{0, 0, 39, 9}, {50, 0, 89, 9}}, 0.8},
      {"pieces cover 790 of 1000", {{0, 0, 39, 9}, {50, 0, 88, 9}}, 0.0},
      {"second piece 500 of 1250 inside", {{0, 0, 49, 9}, {50, 0, 99, 24}}, 0.8},
      {"second piece 500 of 1300 inside", {{0, 0, 49, 9}, {50, 0, 99, 25}}, 0.0},
  };
  for (const Row& row : rows) {
    const ImageScore score = scoreDetEval({word(0, 0, 99, 9)}, row.pieces);
    EXPECT_DOUBLE_EQ(score.tally.recallSum, row.recallSum) << row.what;
  }
}

TEST(DetEval, SplitAndMergeCoverageIsComparedRoundedToFourDecimals) {
  struct Row {
    const char* what;
    std::vector<WordBox> words;
    std::vector<Box> detections;
    double recallSum;
  };
  // 100000-pixel boxes: a sum of 0.79996 rounds to 0.8 and passes, 0.79994 rounds to 0.7999 and
  // fails; a pixel count compared unrounded would refuse both.
  const std::vector<Row> rows = {
      {"pieces cover 79996 of 100000 of a word",
       {word(0, 0, 99999, 0)},
       {{0, 0, 39997, 0}, {50000, 0, 89997, 0}},
       0.8},
      {"pieces cover 79994 of 100000 of a word",
       {word(0, 0, 99999, 0)},
       {{0, 0, 39996, 0}, {50000, 0, 89996, 0}},
       0.0},
      {"words fill 39996 of 100000 of a line",
       {word(0, 0, 19997, 0), word(50000, 0, 69997, 0)},
       {{0, 0, 99999, 0}},
       2.0},
      {"words fill 39994 of 100000 of a line",
       {word(0, 0, 19996, 0), word(50000, 0, 69996, 0)},
       {{0, 0, 99999, 0}},
       0.0},
      // 0.1 + 0.7 is 0.7999999999999999 in double, which rounds to 0.8.
      {"pieces of 1 and 7 pixels of 10", {word(0, 0, 9, 0)}, {{0, 0, 0, 0}, {1, 0, 7, 0}}, 0.8},
  };
  for (const Row& row : rows) {
    const ImageScore score = scoreDetEval(row.words, row.detections);
    EXPECT_DOUBLE_EQ(score.tally.recallSum, row.recallSum) << row.what;
  }
}

TEST(DetEval, OneToOneNeedsTheWordAndTheDetectionToOverlapNothingElse) {
  // A detection over "No" (0..19) and "mobile" (30..99) fits "mobile" alone (precision 0.7, and
  // only 0.2 for "No"), but it also overlaps "No": no one-to-one pair, and the merge pass credits
  // both words. Pairing it with "mobile" would leave "No" missed (recall 1 of 2).
  const ImageScore score = scoreDetEval({word(0, 0, 19, 0), word(30, 0, 99, 0)}, {{0, 0, 99, 0}});
  expectTally(score, {2, 1, 2.0, 1.0});
  EXPECT_EQ(score.wordOutcomes, (Outcomes{kMatched, kMatched}));
}

TEST(DetEval, ConstraintPartnersIncludeDontCareWordsAndDroppedDetections) {
  // The detection fits the word (recall 1, precision 0.6) and the don't-care word beside it
  // (recall 1, precision exactly 0.4, so it is not dropped): it is nobody's sole partner, and with
  // one overlapping word it is no merge either.
  const ImageScore sharedWithDontCare =
      scoreDetEval({dontCare(0, 0, 39, 0), word(40, 0, 99, 0)}, {{0, 0, 99, 0}});
  expectTally(sharedWithDontCare, {1, 1, 0.0, 0.0});
  // A second detection fits the word too (recall 0.9, precision 90 of 190) but lies mostly on a
  // don't-care word and is dropped; the word still has two partners and stays unmatched.
  const ImageScore sharedWithDropped =
      scoreDetEval({word(0, 0, 99, 0), dontCare(100, 0, 199, 0)}, {{0, 0, 99, 0}, {10, 0, 199, 0}});
  expectTally(sharedWithDropped, {1, 1, 0.0, 0.0});
  EXPECT_EQ(sharedWithDropped.detectionOutcomes, (Outcomes{kUnmatched, kIgnored}));
}

TEST(DetEval, ASplitNeedsTwoOverlappingDetectionsNotTwoPieces) {
  // Words A (0..49) and B (50..99); detection X covers both (precision 0.5 with each), detection Y
  // (45..200) touches A with 5 pixels and covers B at precision 50 of 156. A overlaps X and Y, so
  // the split pass takes X as A's single piece, scoring 1 and 1; B is left without a partner.
  // Requiring two gathered pieces would leave X to merge A and B (recall 2).
  const ImageScore score =
      scoreDetEval({word(0, 0, 49, 0), word(50, 0, 99, 0)}, {{0, 0, 99, 0}, {45, 0, 200, 0}});
  expectTally(score, {2, 2, 1.0, 1.0});
  EXPECT_EQ(score.wordOutcomes, (Outcomes{kMatched, kUnmatched}));
  EXPECT_EQ(score.detectionOutcomes, (Outcomes{kMatched, kUnmatched}));
}

TEST(DetEval, AMergeOfOneWordScoresAsAWholeMatch) {
  // The line overlaps two words, but only the first lies inside it (the second 10 of 211 pixels):
  // one gathered word, recall 1, precision 1.
  const ImageScore score = scoreDetEval({word(0, 0, 49, 0), word(90, 0, 300, 0)}, {{0, 0, 99, 0}});
  expectTally(score, {2, 1, 1.0, 1.0});
  EXPECT_EQ(score.wordOutcomes, (Outcomes{kMatched, kUnmatched}));
}

TEST(DetEval, LineCoveringThreeWordsScoresOnePerWord) {
  const std::vector<WordBox> words = {word(0, 0, 29, 9), word(40, 0, 69, 9), word(80, 0, 109, 9)};
  const ImageScore score = scoreDetEval(words, {{0, 0, 109, 9}});
  expectTally(score, {3, 1, 3.0, 1.0});
  EXPECT_EQ(score.wordOutcomes, (Outcomes{kMatched, kMatched, kMatched}));
  EXPECT_EQ(scoresOf(score.tally).f, 1.0);
}

TEST(DetEval, MergeNearMisses) {
  // Two 10-pixel words at 0..9 and 20..29.
  const std::vector<WordBox> words = {word(0, 0, 9, 0), word(20, 0, 29, 0)};
  struct Row {
    const char* what;
    Box line;
    double recallSum;
  };
  const std::vector<Row> rows = {
      {"words fill 20 of 50", {0, 0, 49, 0}, 2.0},
      {"words fill 20 of 51", {0, 0, 50, 0}, 0.0},
      {"first word 8 of 10 inside", {2, 0, 29, 0}, 2.0},
      {"first word 7 of 10 inside", {3, 0, 29, 0}, 0.0},
  };
  for (const Row& row : rows) {
    const ImageScore score = scoreDetEval(words, {row.line});
    EXPECT_DOUBLE_EQ(score.tally.recallSum, row.recallSum) << row.what;
  }
}

TEST(DetEval, LaterPassesSeeOnlyUnmatchedBoxes) {
  // Word 0 is matched by detection 0 (as the single piece of a split: the line overlaps it too).
  // Over the line, words 1 and 2 fill only 600 of 1700 pixels; with word 0 they would fill 1100.
  const std::vector<WordBox> words = {word(0, 0, 49, 9), word(100, 0, 129, 9),
                                      word(140, 0, 169, 9)};
  const std::vector<Box> detections = {{0, 0, 49, 9}, {0, 0, 169, 9}};
  const ImageScore score = scoreDetEval(words, detections);
  expectTally(score, {3, 2, 1.0, 1.0});
  EXPECT_EQ(score.detectionOutcomes, (Outcomes{kMatched, kUnmatched}));
  // Without word 0's own detection the line merges all three.
  expectTally(scoreDetEval(words, {detections[1]}), {3, 1, 3.0, 1.0});
}

// Words of random sizes, some don't care, and detections that are either jittered copies of words
// (so that one-to-one, split and merge situations all arise) or boxes anywhere.
struct RandomImage {
  std::vector<WordBox> truth;
  std::vector<Box> detections;
};

RandomImage randomImage(std::mt19937& random) {
  const auto uniform = [&](int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random);
  };
  RandomImage image;
  for (int k = uniform(0, 6); k > 0; --k) {
    const int left = uniform(0, 60);
    const int top = uniform(0, 20);
    const Box box{left, top, left + uniform(0, 30), top + uniform(0, 8)};
    image.truth.push_back(uniform(0, 6) == 0 ? dontCare(box.left, box.top, box.right, box.bottom)
                                             : word(box.left, box.top, box.right, box.bottom));
  }
  for (int k = uniform(0, 6); k > 0; --k) {
    Box box;
    if (!image.truth.empty() && uniform(0, 4) < 3) {
      const Box source =
          image.truth[static_cast<size_t>(uniform(0, static_cast<int>(image.truth.size()) - 1))]
              .rect();
      box = {source.left + uniform(-4, 4), source.top + uniform(-2, 2),
             source.right + uniform(-4, 4), source.bottom + uniform(-2, 2)};
      if (box.right < box.left || box.bottom < box.top) continue;
    } else {
      const int left = uniform(0, 60);
      const int top = uniform(0, 20);
      box = {left, top, left + uniform(0, 40), top + uniform(0, 10)};
    }
    image.detections.push_back(box);
  }
  return image;
}

std::string describe(const RandomImage& image) {
  std::ostringstream text;
  for (const WordBox& w : image.truth) {
    text << w.left << " " << w.top << " " << w.right << " " << w.bottom << " \"" << w.text
         << "\"\n";
  }
  text << "--\n";
  for (const Box& d : image.detections)
    text << d.left << "," << d.top << "," << d.right << "," << d.bottom << "\n";
  return text.str();
}

TEST(DetEval, AgreesWithALiteralReadingOfTheScriptOnRandomImages) {
  std::mt19937 random(20130);
  for (int n = 0; n < 3000; ++n) {
    const RandomImage image = randomImage(random);
    const Tally expected = literal::score(image.truth, image.detections);
    const Tally actual = scoreDetEval(image.truth, image.detections).tally;
    ASSERT_EQ(actual.words, expected.words) << describe(image);
    ASSERT_EQ(actual.detections, expected.detections) << describe(image);
    // The same additions in the same order: equal to the last bit.
    ASSERT_EQ(actual.recallSum, expected.recallSum) << describe(image);
    ASSERT_EQ(actual.precisionSum, expected.precisionSum) << describe(image);
  }
}

TEST(DontCare, WordsAndTheDetectionsMostlyInsideThemLeaveBothCounts) {
  const std::vector<WordBox> truth = {word(0, 0, 99, 19), dontCare(200, 0, 299, 19)};
  const ImageScore score = scoreDetEval(truth, {{0, 0, 99, 19}, {205, 2, 295, 18}});
  expectTally(score, {1, 1, 1.0, 1.0});
  EXPECT_EQ(score.wordOutcomes, (Outcomes{kMatched, kIgnored}));
  EXPECT_EQ(score.detectionOutcomes, (Outcomes{kMatched, kIgnored}));
}

TEST(DontCare, DetEvalDropsOnOneWordAndIoUOnTheUnion) {
  struct Row {
    const char* what;
    std::vector<WordBox> truth;
    Box detection;
    BoxOutcome detEval;  // more than 0.4 inside any single don't-care word
    BoxOutcome iou;      // more than 0.5 inside their union
  };
  const std::vector<Row> rows = {
      {"40 of 100 inside", {dontCare(0, 0, 99, 0)}, {60, 0, 159, 0}, kUnmatched, kUnmatched},
      {"41 of 100 inside", {dontCare(0, 0, 99, 0)}, {59, 0, 158, 0}, kIgnored, kUnmatched},
      {"exactly half inside", {dontCare(0, 0, 99, 0)}, {50, 0, 149, 0}, kIgnored, kUnmatched},
      {"51 of 100 inside", {dontCare(0, 0, 99, 0)}, {49, 0, 148, 0}, kIgnored, kIgnored},
      {"30 in each of two neighbours",
       {dontCare(0, 0, 29, 0), dontCare(70, 0, 99, 0)},
       {0, 0, 99, 0},
       kUnmatched,
       kIgnored},
      {"two copies of one 30 % region",
       {dontCare(0, 0, 29, 0), dontCare(0, 0, 29, 0)},
       {0, 0, 99, 0},
       kUnmatched,
       kUnmatched},
  };
  for (const Row& row : rows) {
    for (Protocol protocol : {Protocol::DetEval, Protocol::IoU}) {
      const BoxOutcome expected = protocol == Protocol::DetEval ? row.detEval : row.iou;
      const ImageScore score = scoreImage(row.truth, {row.detection}, protocol);
      EXPECT_EQ(score.detectionOutcomes, Outcomes{expected}) << row.what;
      EXPECT_EQ(score.tally.detections, expected == kIgnored ? 0 : 1) << row.what;
      EXPECT_EQ(score.tally.words, 0) << row.what;
    }
  }
}

TEST(DontCare, ADontCareWordIsNeverMatched) {
  // 0.4 of the detection lies on the don't-care word, so it counts; it would match that word
  // one-to-one (recall 1, precision 0.4) if the word counted too.
  const ImageScore score =
      scoreDetEval({dontCare(0, 0, 49, 0), word(200, 0, 249, 0)}, {{0, 0, 124, 0}});
  expectTally(score, {1, 1, 0.0, 0.0});
  EXPECT_EQ(score.wordOutcomes, (Outcomes{kIgnored, kUnmatched}));
  EXPECT_EQ(score.detectionOutcomes, Outcomes{kUnmatched});
}

TEST(IoU, MatchesStrictlyAboveOneHalf) {
  struct Row {
    Box detection;
    double recallSum;
  };
  // The word is 100 pixels: 50 shared of 100 in the union is exactly 0.5; 51 of 100 is above.
  for (const Row& row : std::vector<Row>{{{0, 0, 49, 0}, 0.0}, {{0, 0, 50, 0}, 1.0}}) {
    const ImageScore score = scoreIoU({word(0, 0, 99, 0)}, {row.detection});
    EXPECT_EQ(score.tally.recallSum, row.recallSum) << row.detection.right;
    EXPECT_EQ(score.tally.precisionSum, row.recallSum) << row.detection.right;
  }
  // Halves of a word, or a line over two words, are no match at all.
  expectTally(scoreIoU({word(0, 0, 99, 9)}, {{0, 0, 49, 9}, {50, 0, 99, 9}}), {1, 2, 0.0, 0.0});
  expectTally(scoreIoU({word(0, 0, 29, 9), word(40, 0, 69, 9)}, {{0, 0, 69, 9}}), {2, 1, 0.0, 0.0});
}

TEST(IoU, TakesTheBestOverlapsFirst) {
  // Word A 0..99, word B 20..119; detection X equals B (0.67 with A), Y covers 0..79 (0.8 with A,
  // exactly 0.5 with B). File order would give X to A and leave B without a match.
  const ImageScore score =
      scoreIoU({word(0, 0, 99, 0), word(20, 0, 119, 0)}, {{20, 0, 119, 0}, {0, 0, 79, 0}});
  expectTally(score, {2, 2, 2.0, 2.0});
}

TEST(Scores, EmptyCountsAndHarmonicMean) {
  struct Row {
    Tally tally;
    Scores scores;
  };
  const std::vector<Row> rows = {
      {{0, 0, 0.0, 0.0}, {1.0, 1.0, 1.0}},  // nothing to find, nothing found
      {{4, 0, 0.0, 0.0}, {0.0, 0.0, 0.0}},  // words, no detections
      {{0, 3, 0.0, 0.0}, {0.0, 1.0, 0.0}},  // detections, no words
      {{4, 2, 3.0, 1.6}, {0.8, 0.75, 2 * 0.8 * 0.75 / 1.55}},
  };
  for (const Row& row : rows) {
    const Scores scores = scoresOf(row.tally);
    EXPECT_DOUBLE_EQ(scores.precision, row.scores.precision)
        << row.tally.words << "/" << row.tally.detections;
    EXPECT_DOUBLE_EQ(scores.recall, row.scores.recall)
        << row.tally.words << "/" << row.tally.detections;
    EXPECT_DOUBLE_EQ(scores.f, row.scores.f) << row.tally.words << "/" << row.tally.detections;
  }
}

TEST(Scores, TheSetIsScoredOverItsPooledCountsNotAsAMeanOfImages) {
  Tally total;
  total += scoreDetEval({word(0, 0, 9, 9)}, {{0, 0, 9, 9}}).tally;  // R 1/1
  total +=
      scoreDetEval({word(0, 0, 9, 9), word(20, 0, 29, 9), word(40, 0, 49, 9)}, {}).tally;  // 0/3
  const Scores scores = scoresOf(total);
  EXPECT_DOUBLE_EQ(scores.recall, 0.25);
  EXPECT_DOUBLE_EQ(scores.precision, 1.0);
}

}  // namespace
}  // namespace scenetext::evaluation
