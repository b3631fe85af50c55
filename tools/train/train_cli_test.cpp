// scenetext-train as a command: exit codes, messages, the written model and its validation.

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>

#include <set>
#include <sstream>

#include "common/test_support.hpp"
#include "driver/run.hpp"
#include "train/test_support.hpp"

namespace scenetext::training {
namespace {

using scenetext::testing::CommandResult;
using scenetext::testing::ScratchFolder;

const std::string kTrainer = std::string(SCENETEXT_BINARY_DIR) + "/scenetext-train";

CommandResult train(const ScratchFolder& scratch, const std::vector<std::string>& arguments) {
  return scenetext::testing::runCommand(kTrainer, arguments, scratch.path());
}

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(TrainCommand, HelpAndUsageErrors) {
  ScratchFolder scratch("train-cli-usage");
  const CommandResult help = train(scratch, {"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_TRUE(contains(help.out, "--min-hit-rate")) << help.out;
  EXPECT_TRUE(contains(help.out, "0.995")) << "defaults are shown";
  EXPECT_TRUE(help.err.empty());
  struct Row {
    std::vector<std::string> arguments;
    std::string message;
  };
  const Row rows[] = {
      {{"--bogus"}, "--bogus"},
      {{"out.model"}, "no training images"},
      {{"--images", "x"}, "nothing to do"},
      {{"--images", "x", "--stages", "0", "out.model"}, "--stages"},
      {{"--images", "x", "--candidates", "wide", "out.model"}, "--candidates"},
      {{"--images", "x", "--min-hit-rate", "abc", "out.model"}, "--min-hit-rate"},
  };
  for (const Row& row : rows) {
    const CommandResult result = train(scratch, row.arguments);
    EXPECT_EQ(result.exitCode, 2) << row.arguments[0];
    EXPECT_TRUE(contains(result.err, row.message)) << result.err;
    EXPECT_TRUE(contains(result.err, "usage: scenetext-train")) << result.err;
  }
}

TEST(TrainCommand, BadInputIsOneClearLineAndExitOne) {
  ScratchFolder scratch("train-cli-bad");
  std::filesystem::create_directories(scratch / "photos");
  cv::imwrite((scratch / "photos/1.png").string(), cv::Mat(40, 40, CV_8UC3, cv::Scalar::all(128)));
  // A plain grey page has ground truth but forms no candidate at all.
  std::filesystem::create_directories(scratch / "blank");
  cv::imwrite((scratch / "blank/1.png").string(), cv::Mat(60, 80, CV_8UC3, cv::Scalar::all(128)));
  scratch.write("blank/gt_1.txt", "10 10 30 20 \"word\"\n");
  testing::writeGeneratedSet(scratch / "set", 2, 3);
  struct Row {
    std::vector<std::string> arguments;
    std::string message;
  };
  const Row rows[] = {
      {{"--images", (scratch / "photos").string(), "out.model"}, "no ground truth found in"},
      {{"--images", (scratch / "missing").string(), "out.model"}, "missing"},
      {{"--images", (scratch / "blank").string(), (scratch / "out.model").string()},
       "no candidates"},
      {{"--images", (scratch / "set").string(), (scratch / "nowhere/out.model").string()},
       "does not exist"},
      {{"--images", (scratch / "set").string(), "--negatives", (scratch / "none.txt").string(),
        (scratch / "out.model").string()},
       "none.txt"},
  };
  for (const Row& row : rows) {
    const CommandResult result = train(scratch, row.arguments);
    EXPECT_EQ(result.exitCode, 1) << row.message;
    EXPECT_TRUE(contains(result.err, "scenetext-train: ")) << result.err;
    EXPECT_TRUE(contains(result.err, row.message)) << result.err;
    EXPECT_TRUE(result.out.empty()) << result.out;
  }
  EXPECT_FALSE(std::filesystem::exists(scratch / "out.model"));
}

TEST(TrainCommand, WritesALoadableModelWithStageHeadersAndValidatesEveryPrefix) {
  ScratchFolder scratch("train-cli-run");
  testing::writeGeneratedSet(scratch / "train", 8, 31);
  testing::writeGeneratedSet(scratch / "held", 3, 32);
  const std::string model = (scratch / "out.model").string();
  const std::vector<std::string> arguments{"--images",
                                           (scratch / "train").string(),
                                           "--validate",
                                           (scratch / "held").string(),
                                           "--cache",
                                           (scratch / "samples.cache").string(),
                                           "--min-negatives",
                                           "5",
                                           "--max-false-positive-rate",
                                           "0.3",
                                           "--stages",
                                           "3",
                                           "--jobs",
                                           "2",
                                           model};
  const CommandResult result = train(scratch, arguments);
  ASSERT_EQ(result.exitCode, 0) << result.err;
  auto loaded = driver::loadModel(model);
  ASSERT_TRUE(loaded.ok()) << loaded.status().message();
  ASSERT_FALSE(loaded->empty());
  const std::string text = scenetext::testing::slurp(model);
  EXPECT_EQ(text.rfind("stage 1: ", 0), 0u) << text;
  EXPECT_TRUE(text.substr(0, text.find('\n')).ends_with("; candidates: exact")) << text;
  EXPECT_TRUE(contains(text, " positives, ")) << text;
  EXPECT_TRUE(contains(result.out, "validation on")) << result.out;
  EXPECT_TRUE(contains(result.out, "   all ")) << result.out;
  EXPECT_TRUE(contains(result.out, "\n     1 ")) << result.out;
  EXPECT_TRUE(contains(result.err, "features: ")) << "progress goes to stderr";

  // A second run takes every image from the cache and writes the same model.
  const std::string first = text;
  const CommandResult again = train(scratch, arguments);
  ASSERT_EQ(again.exitCode, 0) << again.err;
  EXPECT_TRUE(contains(again.err, "features of 0 images computed, 11 taken from the cache"))
      << again.err;
  EXPECT_EQ(scenetext::testing::slurp(model), first);
}

TEST(TrainCommand, CrossValidationPrintsEveryPrefixWithItsSpread) {
  ScratchFolder scratch("train-cli-folds");
  testing::writeGeneratedSet(scratch / "train", 6, 41);
  const CommandResult result = train(scratch, {"--images", (scratch / "train").string(), "--folds",
                                               "3", "--min-negatives", "5", "--stages", "2"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_TRUE(contains(result.out, "cross-validation: 3 folds x 1 repeats over 6 images"))
      << result.out;
  EXPECT_TRUE(contains(result.out, "split sd   fold F: mean     sd")) << result.out;
  EXPECT_TRUE(contains(result.out, "   all ")) << result.out;
}

TEST(TrainCommand, FoldModelsHoldEveryPhotoOutOncePerRepeat) {
  ScratchFolder scratch("train-cli-fold-models");
  testing::writeGeneratedSet(scratch / "train", 6, 43);
  std::vector<std::string> arguments = {"--images",        (scratch / "train").string(),
                                        "--folds",         "3",
                                        "--repeats",       "2",
                                        "--min-negatives", "5",
                                        "--stages",        "2",
                                        "--fold-models",   (scratch / "folds").string()};
  const CommandResult missing = train(scratch, arguments);
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_TRUE(contains(missing.err, "does not exist")) << missing.err;

  std::filesystem::create_directories(scratch / "folds");
  const CommandResult result = train(scratch, arguments);
  ASSERT_EQ(result.exitCode, 0) << result.err;
  for (int repeat = 1; repeat <= 2; ++repeat) {
    std::multiset<std::string> heldOut;
    for (int fold = 1; fold <= 3; ++fold) {
      const std::string stem = (scratch / "folds").string() + "/repeat" + std::to_string(repeat) +
                               "-fold" + std::to_string(fold);
      EXPECT_TRUE(contains(scenetext::testing::slurp(stem + ".model"), "stage 1:")) << stem;
      std::istringstream list(scenetext::testing::slurp(stem + ".txt"));
      for (std::string path; std::getline(list, path);) heldOut.insert(path);
    }
    std::multiset<std::string> all;
    for (int k = 1; k <= 6; ++k)
      all.insert((scratch / "train" / ("page" + std::to_string(k) + ".png")).string());
    EXPECT_EQ(heldOut, all) << "repeat " << repeat;
  }

  const CommandResult usage = train(scratch, {"--images", "x", "--fold-models", "y", "m.model"});
  EXPECT_EQ(usage.exitCode, 2);
  EXPECT_TRUE(contains(usage.err, "--fold-models needs --folds")) << usage.err;
}

}  // namespace
}  // namespace scenetext::training
