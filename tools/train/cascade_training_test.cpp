#include "train/cascade_training.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "common/test_support.hpp"
#include "driver/run.hpp"

namespace scenetext::training {
namespace {

using classifier::kFeatureCount;
using scenetext::testing::ScratchFolder;

// Seeded samples where a few features lean towards text, with ties (values on a coarse grid),
// NaNs, negative zeros and infinities among the rest, so that splits and sums meet their corners.
TrainingSamples syntheticSamples(size_t positives, size_t negatives, uint64_t seed) {
  std::mt19937_64 random(seed);
  auto unit = [&] { return static_cast<double>(random() >> 11) / 9007199254740992.0; };
  TrainingSamples samples;
  std::vector<float> row(kFeatureCount);
  for (size_t i = 0; i < positives + negatives; ++i) {
    const bool text = i % (1 + negatives / std::max<size_t>(positives, 1)) == 0 && positives-- > 0;
    for (int f = 0; f < kFeatureCount; ++f) {
      double value = unit() * 4.0 - 2.0;
      if (f % 17 == 3 && text) value += 1.0;  // informative features
      if (f % 23 == 5 && !text) value -= 0.7;
      if (f % 5 == 0) value = std::round(value * 4.0) / 4.0;  // coarse grid: many ties
      float stored = static_cast<float>(value);
      if (f == 7 && i % 13 == 0) stored = std::numeric_limits<float>::quiet_NaN();
      if (f == 8 && i % 11 == 0) stored = -0.0f;
      if (f == 9 && i % 19 == 0)
        stored = (i % 2 ? 1.0f : -1.0f) * std::numeric_limits<float>::infinity();
      row[static_cast<size_t>(f)] = stored;
    }
    samples.add(row, text ? 1 : -1);
  }
  return samples;
}

CascadeOptions smallOptions() {
  CascadeOptions options;
  options.maxStages = 6;
  options.minHitRate = 0.98;
  options.maxFalsePositiveRate = 0.5;
  options.maxStumpsPerStage = 30;
  options.minNegatives = 20;
  return options;
}

TEST(CascadeTraining, TheWrittenModelDecidesEverySampleAsTheTrainerDid) {
  const TrainingSamples samples = syntheticSamples(300, 900, 11);
  CascadeOptions options = smallOptions();
  options.maxNegatives = 500;  // samples left out of a stage's training must agree too
  auto trained = trainCascade(samples, options);
  ASSERT_TRUE(trained.ok()) << trained.status().message();
  ASSERT_GE(trained->cascade.size(), 2u);

  ScratchFolder scratch("train-reload");
  const std::string path = (scratch / "model.txt").string();
  ASSERT_TRUE(
      classifier::saveStumpCascade(path, trained->cascade, stageHeaders(*trained, "extended"))
          .ok());
  auto loaded = driver::loadModel(path);
  ASSERT_TRUE(loaded.ok()) << loaded.status().message();
  // The first header names the candidate mode, and the detector reads it back.
  EXPECT_EQ(driver::modelCandidateMode(path), regions::CandidateMode::kExtended);
  EXPECT_NE(driver::candidateModeMismatch(path, regions::CandidateMode::kExact), "");
  ASSERT_EQ(loaded->size(), trained->cascade.size());
  for (size_t i = 0; i < samples.size(); ++i) {
    const int expected =
        trained->stagesPassed[i] == static_cast<int>(trained->cascade.size()) ? 1 : -1;
    ASSERT_EQ(classifier::evaluateStumpCascade(samples.row(i), *loaded), expected)
        << "sample " << i;
    // Every prefix too: the first k stages accept exactly the samples that passed k stages.
    for (size_t k = 1; k < loaded->size(); ++k) {
      const classifier::StumpCascade prefix(loaded->begin(),
                                            loaded->begin() + static_cast<long>(k));
      ASSERT_EQ(classifier::evaluateStumpCascade(samples.row(i), prefix),
                trained->stagesPassed[i] >= static_cast<int>(k) ? 1 : -1);
    }
  }
}

TEST(CascadeTraining, SameSeedSameModelOtherSeedOtherDraw) {
  const TrainingSamples samples = syntheticSamples(200, 800, 3);
  CascadeOptions options = smallOptions();
  options.maxNegatives = 300;
  auto first = trainCascade(samples, options);
  options.jobs = 3;  // the stump search's threads do not change the result
  auto second = trainCascade(samples, options);
  ASSERT_TRUE(first.ok() && second.ok());
  EXPECT_EQ(classifier::formatStumpCascade(first->cascade),
            classifier::formatStumpCascade(second->cascade));
  options.seed = 2;
  auto other = trainCascade(samples, options);
  ASSERT_TRUE(other.ok());
  EXPECT_NE(classifier::formatStumpCascade(first->cascade),
            classifier::formatStumpCascade(other->cascade));
}

TEST(CascadeTraining, EveryStageKeepsItsMinimumHitRateOnItsOwnPositives) {
  const TrainingSamples samples = syntheticSamples(250, 1000, 5);
  for (double minHitRate : {0.9, 0.97, 0.995, 1.0}) {
    CascadeOptions options = smallOptions();
    options.minHitRate = minHitRate;
    auto trained = trainCascade(samples, options);
    ASSERT_TRUE(trained.ok());
    for (size_t k = 0; k < trained->stages.size(); ++k) {
      // Stage k+1 trains on the positives that passed the k stages before it.
      size_t own = 0, kept = 0;
      for (size_t i = 0; i < samples.size(); ++i) {
        if (samples.labels[i] != 1 || trained->stagesPassed[i] < static_cast<int>(k)) continue;
        ++own;
        kept += trained->stagesPassed[i] > static_cast<int>(k);
      }
      ASSERT_GT(own, 0u);
      EXPECT_GE(static_cast<double>(kept) / own, minHitRate)
          << "stage " << k + 1 << " at " << minHitRate;
      EXPECT_EQ(trained->stages[k].positives, static_cast<int>(own));
      EXPECT_DOUBLE_EQ(trained->stages[k].hitRate, static_cast<double>(kept) / own);
    }
  }
}

TEST(CascadeTraining, StopsBeforeAStageWouldTrainOnTooFewNegatives) {
  const TrainingSamples samples = syntheticSamples(200, 400, 9);
  CascadeOptions options = smallOptions();
  options.maxStages = 50;
  options.minNegatives = 150;
  auto trained = trainCascade(samples, options);
  ASSERT_TRUE(trained.ok());
  ASSERT_LT(trained->stages.size(), 50u);
  for (const StageReport& stage : trained->stages) EXPECT_GE(stage.negatives, 150);
  EXPECT_NE(trained->stopReason.find("negatives left"), std::string::npos) << trained->stopReason;
  // A stage whose rate falls below the target stops adding stumps.
  for (const StageReport& stage : trained->stages) {
    EXPECT_TRUE(stage.falsePositiveRate < options.maxFalsePositiveRate ||
                stage.stumps == options.maxStumpsPerStage);
  }
}

TEST(CascadeTraining, RefusesSamplesOfOneKindOnly) {
  TrainingSamples onlyText;
  onlyText.add(std::vector<float>(kFeatureCount, 1.0f), 1);
  auto refused = trainCascade(onlyText, smallOptions());
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.status().message(), "no non-text samples to train on");
  TrainingSamples noText;
  noText.add(std::vector<float>(kFeatureCount, 1.0f), -1);
  EXPECT_EQ(trainCascade(noText, smallOptions()).status().message(), "no text samples to train on");
}

TEST(CascadeTraining, SplitThresholdLiesAboveLowAndAtMostHigh) {
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float one = 1.0f;
  const float next = std::nextafter(one, 2.0f);
  struct Row {
    float lo, hi, expected;
  };
  const Row rows[] = {
      {1.0f, 2.0f, 1.5f},
      {one, next, next},  // neighbours: the middle rounds to an end
      {-2.0f, -1.0f, -1.5f},
      {-inf, 0.0f, -std::numeric_limits<float>::max()},  // the middle is -inf, just above it
      {3.0f, inf, inf},
      {nan, -5.0f, -5.0f},  // NaN never fires, so the high end does
      {-std::numeric_limits<float>::max(), std::numeric_limits<float>::max(), 0.0f},
  };
  for (const Row& row : rows) {
    const float t = splitThreshold(row.lo, row.hi);
    EXPECT_EQ(t, row.expected) << row.lo << " .. " << row.hi;
    if (!std::isnan(row.lo)) {
      EXPECT_LT(row.lo, t);
    }
    EXPECT_LE(t, row.hi);
  }
}

TEST(CascadeTraining, StageThresholdIsTheLowestSumTheHitRateMustKeep) {
  struct Row {
    std::vector<float> sums;
    double minHitRate;
    float expected;
  };
  std::vector<float> hundred;
  for (int k = 0; k < 200; ++k) hundred.push_back(static_cast<float>(k) * 0.5f);
  const Row rows[] = {
      {{4, 1, 3, 2}, 0.75, 2},                           // 3 of 4 must pass
      {{4, 1, 3, 2}, 1.0, 1},  {{4, 1, 3, 2}, 0.76, 1},  // 3 of 4 is not enough
      {{4, 1, 3, 2}, 0.1, 4},                            // at least one must pass
      {{2, 2, 2, 5}, 0.9, 2},                            // ties pass together
      {hundred, 0.995, 0.5f},                            // 199 of 200
  };
  for (const Row& row : rows)
    EXPECT_EQ(stageThreshold(row.sums, row.minHitRate), row.expected) << row.minHitRate;
}

TEST(CascadeTraining, StageSumRoundsAfterEveryVoteInStumpOrder) {
  // 1 + 2^-24 rounds back to 1 in single precision, so the order of the votes shows in the sum.
  const float tiny = std::ldexp(1.0f, -24);
  const std::vector<classifier::StumpRecord> stumps{classifier::makeStumpRecord(0, 1, 0.0f, 1.0f),
                                                    classifier::makeStumpRecord(1, 1, 0.0f, tiny),
                                                    classifier::makeStumpRecord(2, 1, 0.0f, tiny)};
  std::vector<float> features(kFeatureCount, 1.0f);
  EXPECT_EQ(stageSum(stumps, features), 1.0f);
  const std::vector<classifier::StumpRecord> reversed{stumps[1], stumps[2], stumps[0]};
  EXPECT_EQ(stageSum(reversed, features), 1.0f + 2 * tiny);
  // Polarity -1 adds its weight when the stump does not fire; a feature equal to the threshold
  // fires.
  const std::vector<classifier::StumpRecord> inverse{
      classifier::makeStumpRecord(0, -1, 1.0f, 0.25f),
      classifier::makeStumpRecord(1, -1, 1.5f, 0.5f)};
  EXPECT_EQ(stageSum(inverse, features), 0.25f);
}

TEST(CascadeTraining, StageHeaderSaysWhatTheStageIs) {
  StageReport report;
  report.stumps = 12;
  report.hitRate = 0.99571;
  report.falsePositiveRate = 0.4875;
  report.positives = 700;
  report.negatives = 1500;
  EXPECT_EQ(stageHeader(3, report),
            "stage 3: 12 stumps, hit rate 0.9957, false-positive rate 0.4875, 700 positives, 1500 "
            "negatives");
}

}  // namespace
}  // namespace scenetext::training
