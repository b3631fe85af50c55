#include "train/detection_simulation.hpp"

#include <gtest/gtest.h>

#include <cmath>

#include "common/test_support.hpp"
#include "driver/run.hpp"
#include "train/cross_validation.hpp"
#include "train/test_support.hpp"

namespace scenetext::training {
namespace {

using scenetext::testing::ScratchFolder;

// The boxes a real detection run reports, in input coordinates as the box list writes them.
std::vector<Box> detectedBoxes(const std::string& imagePath,
                               const classifier::StumpCascade& model) {
  auto input = driver::loadColourImage(imagePath);
  EXPECT_TRUE(input.ok());
  const driver::WorkingInput prepared = driver::prepareWorkingInput(*input);
  const driver::Detection detection = driver::detectText(prepared.working, model);
  std::vector<Box> boxes;
  for (const Box& box : detection.boxes) {
    boxes.push_back({box.left * prepared.factor, box.top * prepared.factor,
                     box.right * prepared.factor, box.bottom * prepared.factor});
  }
  return boxes;
}

class DetectionSimulation : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    scratch_ = new ScratchFolder("train-simulation");
    testing::writeGeneratedSet(scratch_->path() / "set", 6, 21);
    // Wider than 1600 pixels: the WorkingImage is reduced by 2 and the boxes scaled back.
    testing::writeGeneratedSet(scratch_->path() / "set", 1, 22, cv::Size(1700, 500), "wide");
    auto listing = listLabelledFolder((scratch_->path() / "set").string());
    ASSERT_TRUE(listing.ok());
    auto samples = collectSamples(listing->images, {});
    ASSERT_TRUE(samples.ok()) << samples.status().message();
    samples_ = new std::vector<ImageSamples>(std::move(samples).value());
  }
  static void TearDownTestSuite() {
    delete samples_;
    delete scratch_;
  }
  static ScratchFolder* scratch_;
  static std::vector<ImageSamples>* samples_;
};

ScratchFolder* DetectionSimulation::scratch_ = nullptr;
std::vector<ImageSamples>* DetectionSimulation::samples_ = nullptr;

TEST_F(DetectionSimulation, EqualsARealDetectionRunForEveryPrefix) {
  // Three one-stump stages, each splitting the candidates near a quantile of one feature, so that
  // every prefix accepts another subset.
  std::vector<float> values[3];
  const int featureOf[3] = {2, 41, 127};
  for (const ImageSamples& image : *samples_) {
    for (size_t k = 0; k < image.size(); ++k) {
      for (int s = 0; s < 3; ++s)
        values[s].push_back(image.featuresOf(k)[static_cast<size_t>(featureOf[s])]);
    }
  }
  classifier::StumpCascade cascade;
  for (int s = 0; s < 3; ++s) {
    std::sort(values[s].begin(), values[s].end());
    const float threshold = values[s][values[s].size() * static_cast<size_t>(s + 1) / 5];
    cascade.push_back({classifier::makeStumpRecord(featureOf[s], s == 1 ? -1 : 1, threshold, 0.5f),
                       classifier::makeThresholdRecord(0.0f)});
  }
  EXPECT_EQ(samples_->back().candidates.factor, 2);
  size_t accepted = 0, rejected = 0;
  for (size_t prefix = 0; prefix <= cascade.size(); ++prefix) {
    const classifier::StumpCascade model(cascade.begin(),
                                         cascade.begin() + static_cast<long>(prefix));
    for (const ImageSamples& image : *samples_) {
      const std::vector<int> passed = stagesPassed(image, cascade);
      std::vector<bool> accept(passed.size());
      for (size_t k = 0; k < passed.size(); ++k) {
        accept[k] = passed[k] >= static_cast<int>(prefix);
        (accept[k] ? accepted : rejected) += 1;
      }
      EXPECT_EQ(simulateDetections(image, accept), detectedBoxes(image.image.imagePath, model))
          << image.image.imagePath << " with " << prefix << " stages";
    }
  }
  // Both decisions occur, or the comparison would be weak.
  EXPECT_GT(accepted, 0u);
  EXPECT_GT(rejected, 0u);
}

TEST_F(DetectionSimulation, PrefixScoresStartWithTheAcceptAllCeiling) {
  std::vector<const ImageSamples*> images;
  for (const ImageSamples& image : *samples_) images.push_back(&image);
  // A one-stage cascade that rejects everything: a threshold no sum of one stump can reach.
  const classifier::StumpCascade rejectAll{
      {classifier::makeStumpRecord(0, 1, 0.0f, 1.0f), classifier::makeThresholdRecord(2.0f)}};
  const std::vector<evaluation::Tally> tallies = scorePrefixes(images, rejectAll);
  ASSERT_EQ(tallies.size(), 2u);
  evaluation::Tally ceiling;
  for (const ImageSamples& image : *samples_) {
    ceiling +=
        evaluation::scoreDetEval(image.words, detectedBoxes(image.image.imagePath, {})).tally;
  }
  EXPECT_EQ(tallies[0].words, ceiling.words);
  EXPECT_EQ(tallies[0].detections, ceiling.detections);
  EXPECT_DOUBLE_EQ(tallies[0].recallSum, ceiling.recallSum);
  EXPECT_GT(tallies[0].recallSum, 0.0);
  EXPECT_EQ(tallies[1].detections, 0);
  EXPECT_EQ(tallies[1].recallSum, 0.0);
}

TEST(CrossValidation, FoldsAreSeededAndEven) {
  const std::vector<int> folds = assignFolds(11, 3, 5);
  EXPECT_EQ(folds, assignFolds(11, 3, 5));
  EXPECT_NE(folds, assignFolds(11, 3, 6));
  EXPECT_EQ(std::count(folds.begin(), folds.end(), 0), 4);
  EXPECT_EQ(std::count(folds.begin(), folds.end(), 1), 4);
  EXPECT_EQ(std::count(folds.begin(), folds.end(), 2), 3);
}

TEST(CrossValidation, SummaryPoolsFoldsAndMeasuresTheirSpread) {
  // Two folds: one finds 1 of 2 words with 1 detection, the other 2 of 2 with 4 detections.
  std::vector<FoldResult> folds(2);
  folds[0].prefixes = {{2, 1, 1.0, 1.0}};
  folds[1].prefixes = {{2, 4, 2.0, 2.0}};
  const PrefixSummary summary = summarizePrefix(folds, 0, 1);
  EXPECT_DOUBLE_EQ(summary.pooled.recall, 0.75);    // 3 of 4 words
  EXPECT_DOUBLE_EQ(summary.pooled.precision, 0.6);  // 3 of 5 detections
  const double f0 = 2.0 * 1.0 * 0.5 / 1.5, f1 = 2.0 * 0.5 * 1.0 / 1.5;
  EXPECT_DOUBLE_EQ(summary.meanF, (f0 + f1) / 2);
  EXPECT_DOUBLE_EQ(summary.sdF, 0.0);
  EXPECT_DOUBLE_EQ(summary.minF, f0);
  // A prefix longer than a fold's cascade counts with the whole cascade.
  EXPECT_DOUBLE_EQ(summarizePrefix(folds, 4, 1).pooled.recall, 0.75);

  // A second repeat whose split scores perfectly: pooled scores average over the repeats, and the
  // split spread is that of the two pooled F values.
  for (int fold = 0; fold < 2; ++fold) {
    folds.emplace_back();
    folds.back().repeat = 1;
    folds.back().prefixes = {{2, 2, 2.0, 2.0}};
  }
  const PrefixSummary twice = summarizePrefix(folds, 0, 2);
  EXPECT_DOUBLE_EQ(twice.pooled.recall, (0.75 + 1.0) / 2);
  EXPECT_DOUBLE_EQ(twice.pooled.precision, (0.6 + 1.0) / 2);
  const double pooledF = 2.0 * 0.75 * 0.6 / 1.35;
  EXPECT_NEAR(twice.repeatSdF, (1.0 - pooledF) / std::sqrt(2.0), 1e-12);
  EXPECT_DOUBLE_EQ(twice.maxF, 1.0);
}

}  // namespace
}  // namespace scenetext::training
