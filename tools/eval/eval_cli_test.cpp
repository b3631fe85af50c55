// Runs the built scenetext-eval on small generated folders: its output line, files and exit codes.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "common/test_support.hpp"

namespace {

namespace fs = std::filesystem;
using scenetext::testing::CommandResult;

const std::string kTool = std::string(SCENETEXT_BINARY_DIR) + "/scenetext-eval";

// Two images. Image 1: a word found whole and a word missed. Image 2: a word split in two pieces,
// a don't-care word with a detection on it, and a stray detection.
// DetEval: recall (1 + 0 + 0.8) / 3 = 0.6, precision (1 + 0.8 * 2) / 4 = 0.65.
// IoU: only the whole word matches: recall 1/3, precision 1/4.
class EvalCommand : public ::testing::Test {
 protected:
  EvalCommand() : scratch_("eval-cli") {
    fs::create_directories(scratch_ / "gt");
    fs::create_directories(scratch_ / "det");
    scratch_.write("gt/gt_1.txt", "10 10 109 29 \"Footpath\"\n200 10 259 29 \"To\"\n");
    scratch_.write("gt/gt_2.txt", "10, 10, 109, 29, \"Colchester\"\r\n10, 50, 59, 69, \"###\"\r\n");
    scratch_.write("det/1.jpg.txt", "10,10,109,29\n");
    scratch_.write("det/2.jpg.txt", "10,10,59,29\n60,10,109,29\n12,52,57,67\n150,80,170,90\n");
  }

  CommandResult run(const std::vector<std::string>& arguments) {
    return scenetext::testing::runCommand(kTool, arguments, scratch_.path());
  }
  std::string at(const std::string& name) const { return (scratch_ / name).string(); }

  scenetext::testing::ScratchFolder scratch_;
};

TEST_F(EvalCommand, PrintsTheSetsScoresOnOneLine) {
  CommandResult deteval = run({at("gt"), at("det")});
  EXPECT_EQ(deteval.exitCode, 0) << deteval.err;
  EXPECT_EQ(deteval.out, "precision 0.650 recall 0.600 F 0.624\n");
  EXPECT_EQ(deteval.err, "");

  CommandResult iou = run({at("gt"), at("det"), "--protocol", "iou"});
  EXPECT_EQ(iou.exitCode, 0) << iou.err;
  EXPECT_EQ(iou.out, "precision 0.250 recall 0.333 F 0.286\n");
}

TEST_F(EvalCommand, WritesThePerImageTable) {
  CommandResult result = run({at("gt"), at("det"), "--csv", at("scores.csv")});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(scenetext::testing::slurp(at("scores.csv")),
            "stem,words,detections,recall,precision\n"
            "1,2,1,0.500,1.000\n"
            "2,1,3,0.800,0.533\n");
}

TEST_F(EvalCommand, GroundTruthWithoutDetectionsCountsAsNothingFoundWithAWarning) {
  scratch_.write("gt/gt_3.txt", "0 0 9 9 \"lost\"\n");
  CommandResult result = run({at("gt"), at("det")});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, "precision 0.650 recall 0.450 F 0.532\n");
  EXPECT_NE(result.err.find("warning: no detection file for image '3'"), std::string::npos)
      << result.err;
}

TEST_F(EvalCommand, DrawsOverlaysOfTheImagesItFinds) {
  fs::create_directories(scratch_ / "images");
  ASSERT_TRUE(cv::imwrite(at("images/1.png"), cv::Mat(40, 300, CV_8UC3, cv::Scalar(0, 0, 0))));
  CommandResult result =
      run({at("gt"), at("det"), "--overlays", at("overlays"), "--images", at("images")});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_NE(result.err.find("no image for '2'"), std::string::npos) << result.err;
  const cv::Mat overlay = cv::imread(at("overlays/1.png"), cv::IMREAD_COLOR);
  ASSERT_FALSE(overlay.empty());
  EXPECT_EQ(overlay.at<cv::Vec3b>(20, 10),
            cv::Vec3b(255, 255, 0));  // matched detection over its word
  EXPECT_EQ(overlay.at<cv::Vec3b>(20, 200), cv::Vec3b(0, 120, 0));  // the missed word
}

TEST_F(EvalCommand, ScoredDetectionsAddTheAveragePrecision) {
  scratch_.write("det/1.jpg.txt", "10,10,109,29,0.9\n");
  scratch_.write("det/2.jpg.txt",
                 "10,10,59,29,0.8\n60,10,109,29,0.7\n12,52,57,67,0.95\n150,80,170,90,0.85\n");
  // DetEval re-scored at 0.95, 0.9, 0.85, 0.8, 0.7 gives (recall, precision) (0, 0), (1/3, 1),
  // (1/3, 1/2), (1/3, 1/3), (0.6, 0.65): area 1/3 x 1 + (0.6 - 1/3) x 0.65.
  CommandResult deteval = run({at("gt"), at("det")});
  EXPECT_EQ(deteval.exitCode, 0) << deteval.err;
  EXPECT_EQ(deteval.out, "precision 0.650 recall 0.600 F 0.624 AP 0.507\n");
  EXPECT_EQ(deteval.err, "");
  // IoU ranks the three counted detections of image 2 after image 1's match: (1/1) / 3 words.
  CommandResult iou = run({at("gt"), at("det"), "--protocol", "iou"});
  EXPECT_EQ(iou.exitCode, 0) << iou.err;
  EXPECT_EQ(iou.out, "precision 0.250 recall 0.333 F 0.286 AP 0.333\n");
}

TEST_F(EvalCommand, PartlyScoredDetectionsGiveNoAveragePrecisionAndSayWhy) {
  scratch_.write("det/1.jpg.txt", "10,10,109,29,0.9\n");
  CommandResult result = run({at("gt"), at("det")});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, "precision 0.650 recall 0.600 F 0.624\n");
  EXPECT_EQ(result.err, "scenetext-eval: warning: 4 of 5 detections have no score (the first in '" +
                            at("det") + "/2.jpg.txt'); no average precision\n");
}

TEST_F(EvalCommand, WritesAReportWorstImageFirst) {
  fs::create_directories(scratch_ / "images");
  ASSERT_TRUE(cv::imwrite(at("images/1.png"), cv::Mat(40, 300, CV_8UC3, cv::Scalar(0, 0, 0))));
  ASSERT_TRUE(cv::imwrite(at("images/2.png"), cv::Mat(100, 200, CV_8UC3, cv::Scalar(0, 0, 0))));
  CommandResult result =
      run({at("gt"), at("det"), "--report", at("report"), "--images", at("images")});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, "precision 0.650 recall 0.600 F 0.624\n");
  const std::string page = scenetext::testing::slurp(at("report/index.html"));
  // Image 2: F of recall 0.8 and precision 0.533 is 0.640; image 1: 0.667.
  const size_t second = page.find("<td class=\"stem\">2</td>");
  const size_t first = page.find("<td class=\"stem\">1</td>");
  ASSERT_NE(second, std::string::npos) << page;
  ASSERT_NE(first, std::string::npos) << page;
  EXPECT_LT(second, first);
  EXPECT_NE(page.find("<a href=\"overlays/1.png\"><img src=\"thumbnails/1.png\""),
            std::string::npos);
  const cv::Mat overlay = cv::imread(at("report/overlays/1.png"), cv::IMREAD_COLOR);
  ASSERT_FALSE(overlay.empty());
  EXPECT_EQ(overlay.at<cv::Vec3b>(20, 10), cv::Vec3b(255, 255, 0));
  EXPECT_EQ(cv::imread(at("report/thumbnails/2.png"), cv::IMREAD_COLOR).size(), cv::Size(200, 100));
}

TEST_F(EvalCommand, BadInputExitsOneNamingFileAndLine) {
  CommandResult missing = run({at("nowhere"), at("det")});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_EQ(missing.out, "");
  EXPECT_EQ(missing.err, "scenetext-eval: ground-truth folder '" + at("nowhere") +
                             "' does not exist or is not a folder\n");

  scratch_.write("det/1.jpg.txt", "10,10,109,29,high\n");
  CommandResult badScore = run({at("gt"), at("det")});
  EXPECT_EQ(badScore.exitCode, 1);
  EXPECT_EQ(badScore.out, "");
  EXPECT_EQ(badScore.err, "scenetext-eval: " + at("det") +
                              "/1.jpg.txt:1: expected a number for the score, found 'high'\n");

  scratch_.write("det/1.jpg.txt", "10,10,109,29\n");
  scratch_.write("det/2.jpg.txt", "10,10,59,29\n60,10,109\n");
  CommandResult unparsable = run({at("gt"), at("det")});
  EXPECT_EQ(unparsable.exitCode, 1);
  EXPECT_EQ(unparsable.out, "");
  EXPECT_EQ(unparsable.err, "scenetext-eval: " + at("det") +
                                "/2.jpg.txt:2: expected 4 numbers (left,top,right,bottom) and an "
                                "optional score, found 3\n");
}

TEST_F(EvalCommand, UsageErrorsExitTwoAndHelpExitsZero) {
  fs::create_directories(scratch_ / "overlays");  // an --images folder the report would write into
  const std::vector<std::vector<std::string>> usageErrors = {
      {},
      {at("gt")},
      {at("gt"), at("det"), "--protocol", "f1"},
      {at("gt"), at("det"), "--overlays", at("overlays")},
      {at("gt"), at("det"), "--images", at("gt")},
      {at("gt"), at("det"), "--overlays", at("gt"), "--images", at("gt")},
      {at("gt"), at("det"), "--report", at("report")},
      {at("gt"), at("det"), "--report", at("."), "--images", at("overlays")},
      {at("gt"), at("det"), "--bogus"},
  };
  for (const std::vector<std::string>& arguments : usageErrors) {
    CommandResult result = run(arguments);
    EXPECT_EQ(result.exitCode, 2) << arguments.size() << " arguments: " << result.err;
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find("usage: scenetext-eval GT_DIR DET_DIR"), std::string::npos)
        << result.err;
  }
  CommandResult help = run({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("GT_DIR"), std::string::npos);
  EXPECT_EQ(help.err, "");
}

}  // namespace
