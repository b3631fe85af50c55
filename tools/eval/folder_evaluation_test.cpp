#include "eval/folder_evaluation.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "common/test_support.hpp"
#include "eval/overlay.hpp"
#include "eval/report.hpp"

namespace scenetext::evaluation {
namespace {

// Ground truth in gt/, detections in det/ of a fresh scratch folder.
class Scratch : public scenetext::testing::ScratchFolder {
 public:
  explicit Scratch(const std::string& name) : ScratchFolder("eval-" + name) {
    std::filesystem::create_directories(path() / "gt");
    std::filesystem::create_directories(path() / "det");
  }
  std::string gt() const { return (path() / "gt").string(); }
  std::string det() const { return (path() / "det").string(); }
};

TEST(FileStems, RecogniseEachNamingScheme) {
  struct Row {
    std::string name;
    std::optional<std::string> truth;
    std::optional<std::string> detection;
    std::optional<std::string> image;
  };
  const std::nullopt_t none = std::nullopt;
  const std::vector<Row> rows = {
      {"gt_100.txt", "100", none, none},   {"gt_.txt", none, none, none},
      {"100.jpg.txt", none, "100", none},  {"100.JPG.txt", none, "100", none},
      {"a.b.tiff.txt", none, "a.b", none}, {"res_100.txt", none, "100", none},
      {"res_.txt", none, none, none},      {".jpg.txt", none, none, none},
      {"100.jpg", none, none, "100"},      {"100.Jpeg", none, none, "100"},
      {"100.gif", none, none, none},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(groundTruthStem(row.name), row.truth) << row.name;
    EXPECT_EQ(detectionStem(row.name), row.detection) << row.name;
    EXPECT_EQ(imageStem(row.name), row.image) << row.name;
  }
}

TEST(FileStems, NaturalOrderComparesDigitRunsAsNumbers) {
  std::vector<std::string> stems = {"img_10", "100", "img_2", "99", "7", "img_1", "007", "a"};
  std::sort(stems.begin(), stems.end(), naturalLess);
  EXPECT_EQ(stems,
            (std::vector<std::string>{"007", "7", "99", "100", "a", "img_1", "img_2", "img_10"}));
  EXPECT_FALSE(naturalLess("5", "5"));
}

TEST(PairFilesByStem, PairsEveryGroundTruthFileInNaturalOrder) {
  Scratch scratch("pairs");
  for (const char* name : {"gt/gt_10.txt", "gt/gt_2.txt", "gt/gt_1.txt", "gt/readme.txt"})
    scratch.write(name, "");
  for (const char* name : {"det/1.jpg.txt", "det/res_2.txt", "det/1.jpg", "det/77.jpg.txt"})
    scratch.write(name, "");
  auto pairs = pairFilesByStem(scratch.gt(), scratch.det());
  ASSERT_TRUE(pairs.ok()) << pairs.status().message();
  ASSERT_EQ(pairs->size(), 3u);
  EXPECT_EQ(pairs->at(0).stem, "1");
  EXPECT_EQ(pairs->at(0).detectionPath, scratch.det() + "/1.jpg.txt");
  EXPECT_EQ(pairs->at(1).stem, "2");
  EXPECT_EQ(pairs->at(1).detectionPath, scratch.det() + "/res_2.txt");
  EXPECT_EQ(pairs->at(2).stem, "10");
  EXPECT_EQ(pairs->at(2).groundTruthPath, scratch.gt() + "/gt_10.txt");
  EXPECT_EQ(pairs->at(2).detectionPath, "");
}

TEST(PairFilesByStem, FailsWhenTheFoldersCannotBePaired) {
  Scratch scratch("unpaired");
  auto missing = pairFilesByStem(scratch.gt() + "/nowhere", scratch.det());
  ASSERT_FALSE(missing.ok());
  EXPECT_EQ(missing.status().message(),
            "ground-truth folder '" + scratch.gt() + "/nowhere' does not exist or is not a folder");

  auto empty = pairFilesByStem(scratch.gt(), scratch.det());
  ASSERT_FALSE(empty.ok());
  EXPECT_EQ(empty.status().message(),
            "no ground-truth files (gt_<stem>.txt) in '" + scratch.gt() + "'");

  scratch.write("gt/gt_1.txt", "");
  scratch.write("det/2.jpg.txt", "");
  auto strangers = pairFilesByStem(scratch.gt(), scratch.det());
  ASSERT_FALSE(strangers.ok());
  EXPECT_NE(strangers.status().message().find("no detection file in '" + scratch.det() + "'"),
            std::string::npos)
      << strangers.status().message();

  scratch.write("det/1.jpg.txt", "");
  scratch.write("det/res_1.txt", "");
  auto twice = pairFilesByStem(scratch.gt(), scratch.det());
  ASSERT_FALSE(twice.ok());
  EXPECT_EQ(twice.status().message(), "two detection files for image '1': '" + scratch.det() +
                                          "/1.jpg.txt' and '" + scratch.det() + "/res_1.txt'");
}

TEST(EvaluateFolders, ScoresEachImageAndNamesTheLineThatCannotBeRead) {
  Scratch scratch("evaluate");
  scratch.write("gt/gt_1.txt", "0 0 99 9 \"one\"\n200 0 299 9 \"two\"\n");
  scratch.write("gt/gt_2.txt", "0, 0, 99, 9, \"three\"\n");
  scratch.write("det/1.jpg.txt", "0,0,99,9\n");
  auto images = evaluateFolders(scratch.gt(), scratch.det(), Protocol::DetEval);
  ASSERT_TRUE(images.ok()) << images.status().message();
  ASSERT_EQ(images->size(), 2u);
  EXPECT_EQ(images->at(0).score.tally.recallSum, 1.0);
  EXPECT_EQ(images->at(1).detections.size(), 0u);  // no detection file: no detections
  const Tally total = totalOf(*images);
  EXPECT_EQ(total.words, 3);
  EXPECT_EQ(total.detections, 1);

  scratch.write("det/2.png.txt", "0,0,99,9\n5,5,1\n");
  auto broken = evaluateFolders(scratch.gt(), scratch.det(), Protocol::DetEval);
  ASSERT_FALSE(broken.ok());
  EXPECT_EQ(broken.status().message(),
            scratch.det() +
                "/2.png.txt:2: expected 4 numbers (left,top,right,bottom) and an optional score, "
                "found 3");
}

TEST(Report, SummaryLineAndPerImageTable) {
  EXPECT_EQ(formatSummary({0.8124, 0.6536, 0.72434}), "precision 0.812 recall 0.654 F 0.724\n");
  ImageEvaluation first;
  first.files.stem = "1";
  first.score.tally = {4, 2, 3.0, 1.6};
  ImageEvaluation second;
  second.files.stem = "odd, \"name\"";
  second.score.tally = {2, 0, 0.0, 0.0};
  EXPECT_EQ(formatImageTable({first, second}),
            "stem,words,detections,recall,precision\n"
            "1,4,2,0.750,0.800\n"
            "\"odd, \"\"name\"\"\",2,0,0.000,0.000\n");
}

TEST(Overlay, OutlinesWordsAndDetectionsByOutcome) {
  ImageEvaluation image;
  image.truth = {
      {2, 2, 10, 10, "a", false}, {20, 2, 28, 10, "b", false}, {2, 20, 10, 28, "###", true}};
  image.detections = {{30, 30, 38, 38}, {20, 20, 28, 28}};
  image.score = scoreDetEval(image.truth, image.detections);  // nothing matches
  image.score.wordOutcomes[0] = BoxOutcome::Matched;          // pretend, to see both intensities
  image.score.detectionOutcomes[1] = BoxOutcome::Matched;
  const cv::Mat grey(40, 40, CV_8UC1, cv::Scalar(0));
  const cv::Mat canvas = drawOverlay(grey, image);
  ASSERT_EQ(canvas.type(), CV_8UC3);
  const auto colourAt = [&](int x, int y) { return cv::Scalar(canvas.at<cv::Vec3b>(y, x)); };
  EXPECT_EQ(colourAt(2, 6), kMatchedWordColour);     // left side of word a
  EXPECT_EQ(colourAt(28, 6), kUnmatchedWordColour);  // right side of word b
  EXPECT_EQ(colourAt(6, 28), kIgnoredColour);        // bottom of the don't-care word
  EXPECT_EQ(colourAt(34, 38), kUnmatchedDetectionColour);
  EXPECT_EQ(colourAt(20, 24), kMatchedDetectionColour);
  EXPECT_EQ(colourAt(6, 6), cv::Scalar(0, 0, 0));  // insides stay untouched
}

TEST(Overlay, ThumbnailsScaleTheBoxesWithTheImage) {
  ImageEvaluation image;
  image.truth = {{100, 40, 199, 79, "a", false}};
  image.score = scoreDetEval(image.truth, image.detections);
  const cv::Mat photo(200, 400, CV_8UC3, cv::Scalar(0, 0, 0));
  // A quarter: the word's sides land at 25 and 50 (199 / 4 rounds up), rows 10 to 20.
  const cv::Mat thumbnail = drawThumbnail(photo, image, 100, 100);
  ASSERT_EQ(thumbnail.size(), cv::Size(100, 50));
  EXPECT_EQ(cv::Scalar(thumbnail.at<cv::Vec3b>(15, 25)), kUnmatchedWordColour);
  EXPECT_EQ(cv::Scalar(thumbnail.at<cv::Vec3b>(15, 50)), kUnmatchedWordColour);
  EXPECT_EQ(cv::Scalar(thumbnail.at<cv::Vec3b>(15, 37)), cv::Scalar(0, 0, 0));
  // Never enlarged.
  EXPECT_EQ(drawThumbnail(photo, image, 1000, 1000).size(), photo.size());
}

}  // namespace
}  // namespace scenetext::evaluation
