#include "driver/run.hpp"

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <nlohmann/json.hpp>

#include <sstream>

#include "common/test_support.hpp"
#include "driver/test_scenes.hpp"
#include "edges/edge_detection.hpp"
#include "regions/detection.hpp"
#include "regions/final_regions.hpp"
#include "regions/word_boxes.hpp"

namespace scenetext::driver {
namespace {

using scenetext::testing::runCommand;
using scenetext::testing::ScratchFolder;

const std::string kScenetext = std::string(SCENETEXT_BINARY_DIR) + "/scenetext";

TEST(BaseNameTest, BackslashWinsOverSlash) {
  struct Row {
    std::string argument, expected;
  } rows[] = {
      {"photo.jpg", "photo.jpg"},
      {"dir/sub/photo.jpg", "photo.jpg"},
      {"D:\\data\\img_7.png", "img_7.png"},
      {"a/b\\d/e.jpg", "d/e.jpg"},
      {"trailing/", ""},
  };
  for (const Row& row : rows) EXPECT_EQ(baseName(row.argument), row.expected) << row.argument;
  OutputPaths paths = outputPaths("out/", "D:\\data\\img_7.png");
  EXPECT_EQ(paths.image, "out/img_7.png");
  EXPECT_EQ(paths.boxList, "out/img_7.png.txt");
  EXPECT_EQ(outputPaths("run-", "x/y.jpg").image, "run-y.jpg");
}

TEST(PrepareWorkingInputTest, ReducesLargeImagesAndKeepsTheFactor) {
  WorkingInput small = prepareWorkingInput(cv::Mat(30, 41, CV_8UC3, cv::Scalar(1, 2, 3)));
  EXPECT_EQ(small.factor, 1);
  EXPECT_EQ(small.working.size(), cv::Size(44, 30));
  EXPECT_EQ(small.input.size(), cv::Size(41, 30));
  WorkingInput large = prepareWorkingInput(cv::Mat(1200, 1601, CV_8UC3, cv::Scalar(1, 2, 3)));
  EXPECT_EQ(large.factor, 2);
  EXPECT_EQ(large.working.size(), cv::Size(802, 600));
}

// detectText runs the detection as named steps; the band driver of each mode is the same
// computation in one call, and must agree to the pixel.
TEST(DetectTextTest, AgreesWithTheDetectionDriversOfBothModes) {
  const cv::Mat working =
      prepareWorkingInput(scenetext::testing::signs(cv::Size(901, 600))).working;
  const cv::Mat edges = edges::detectEdges(working, edges::kEdgeFraction);
  for (const auto mode : {regions::CandidateMode::kExact, regions::CandidateMode::kExtended}) {
    const std::string modelPath = mode == regions::CandidateMode::kExact
                                      ? SCENETEXT_SOURCE_DIR "/models/default.model"
                                      : SCENETEXT_SOURCE_DIR "/models/extended.model";
    const Result<classifier::StumpCascade> model = loadModel(modelPath);
    ASSERT_TRUE(model.ok()) << model.status().message();
    int steps = 0;
    const Detection detection = detectText(
        working, *model, [&steps] { ++steps; }, mode);
    EXPECT_EQ(steps, 4);
    BoxList boxes;
    cv::Mat textMask, boxMask;
    if (mode == regions::CandidateMode::kExact) {
      regions::detectTextRegions(boxes, textMask, boxMask, working, edges, {0, working.rows},
                                 *model);
    } else {
      regions::detectTextRegionsExtended(boxes, textMask, boxMask, working, edges, *model);
    }
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(detection.boxes, boxes);
    EXPECT_EQ(detection.scores.size(), boxes.size());
    EXPECT_EQ(detection.words, regions::lineWords(edges, boxes));
    EXPECT_EQ(cv::norm(detection.textMask, textMask, cv::NORM_INF), 0);
    EXPECT_EQ(cv::norm(detection.boxMask, boxMask, cv::NORM_INF), 0);
  }
}

TEST(KeepLinesScoringTest, DropsLinesBelowTheShownScoreAndTheirBoxes) {
  Detection detection;
  detection.boxes = {{0, 0, 1, 1}, {4, 0, 5, 1}, {0, 4, 1, 5}};
  detection.scores = {0.5, 0.7499996, 0.9};
  detection.words = {{{0, 0, 1, 1}}, {{4, 0, 4, 1}, {5, 0, 5, 1}}, {{0, 4, 1, 5}}};
  detection.boxMask = regions::fillBoxMask(detection.boxes, 6, 6);
  // 0.7499996 shows as 0.750000, so it is kept at 0.75.
  const Detection kept = keepLinesScoring(detection, 0.75);
  EXPECT_EQ(kept.boxes, (BoxList{{4, 0, 5, 1}, {0, 4, 1, 5}}));
  EXPECT_EQ(kept.scores, (std::vector<double>{0.7499996, 0.9}));
  EXPECT_EQ(cv::countNonZero(kept.boxMask), 8);
  EXPECT_EQ(kept.boxMask.at<uchar>(0, 0), 0);
  EXPECT_EQ(keepLinesScoring(detection, 0).boxes, detection.boxes);
  const std::vector<io::InputLine> lines = inputLines(kept, 2);
  EXPECT_EQ(lines[0].box, (Box{8, 0, 10, 2}));
  EXPECT_EQ(lines[0].score, 0.75);
  // Words go with their lines and scale with them.
  EXPECT_EQ(kept.words, (std::vector<BoxList>{{{4, 0, 4, 1}, {5, 0, 5, 1}}, {{0, 4, 1, 5}}}));
  EXPECT_EQ(lines[0].words, (BoxList{{8, 0, 8, 2}, {10, 0, 10, 2}}));
}

// End-to-end runs of the built command.
class ScenetextCommandTest : public ::testing::Test {
 protected:
  ScenetextCommandTest()
      : scratch_(::testing::UnitTest::GetInstance()->current_test_info()->name()) {
    scratch_.write("accept-all.model", "#\n");
    model_ = (scratch_ / "accept-all.model").string();
    std::filesystem::create_directories(scratch_ / "out");
  }
  std::string writeImage(const std::string& name, const cv::Mat& image) {
    std::string path = (scratch_ / name).string();
    cv::imwrite(path, image);
    return path;
  }
  ScratchFolder scratch_;
  std::string model_;
};

TEST_F(ScenetextCommandTest, ImageWithoutTextGivesFiveMarksAnUnmarkedImageAndAnEmptyList) {
  std::string image = writeImage("plain.png", cv::Mat(37, 41, CV_8UC3, cv::Scalar(90, 120, 200)));
  std::string prefix = (scratch_ / "out").string() + "/";
  auto result = runCommand(kScenetext, {model_, image, prefix}, scratch_.path());
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out,
            "*****   Done! Output To: \n" + prefix + "plain.png\n" + prefix + "plain.png.txt\n");
  EXPECT_EQ(result.err, "");
  cv::Mat written = cv::imread(prefix + "plain.png", cv::IMREAD_UNCHANGED);
  ASSERT_EQ(written.size(), cv::Size(41, 37));
  EXPECT_EQ(cv::norm(written, cv::Mat(37, 41, CV_8UC3, cv::Scalar(90, 120, 200)), cv::NORM_INF), 0);
  EXPECT_EQ(scenetext::testing::slurp(prefix + "plain.png.txt"), "");
}

TEST_F(ScenetextCommandTest, UnreadableImageFailsAfterTheFirstMarkAndWritesNothing) {
  scratch_.write("not-an-image.jpg", "this is text, not a JPEG");
  for (std::string image :
       {(scratch_ / "missing.png").string(), (scratch_ / "not-an-image.jpg").string()}) {
    auto result =
        runCommand(kScenetext, {model_, image, (scratch_ / "out").string() + "/"}, scratch_.path());
    EXPECT_EQ(result.exitCode, 1) << image;
    EXPECT_EQ(result.out, "*") << image;
    EXPECT_NE(result.err.find("scenetext: cannot read image '" + image + "'"), std::string::npos)
        << result.err;
    EXPECT_TRUE(std::filesystem::is_empty(scratch_ / "out"));
  }
}

TEST_F(ScenetextCommandTest, UsageErrorsExitTwoAndHelpExitsZero) {
  auto missing = runCommand(kScenetext, {model_, "photo.jpg"}, scratch_.path());
  EXPECT_EQ(missing.exitCode, 2);
  EXPECT_EQ(missing.err.rfind("scenetext: ", 0), 0u) << missing.err;
  EXPECT_NE(missing.err.find("usage: scenetext [--candidates"), std::string::npos) << missing.err;
  EXPECT_NE(missing.err.find("MODEL IMAGE PREFIX"), std::string::npos) << missing.err;
  EXPECT_EQ(missing.out, "");
  auto none = runCommand(kScenetext, {}, scratch_.path());
  EXPECT_EQ(none.exitCode, 2);
  auto help = runCommand(kScenetext, {"--help"}, scratch_.path());
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("PREFIX"), std::string::npos);
  auto version = runCommand(kScenetext, {"--version"}, scratch_.path());
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out.rfind("scenetext ", 0), 0u) << version.out;
}

TEST_F(ScenetextCommandTest, UnwritableOutputFailsWithThePathAndLeavesNoFile) {
  std::string image = writeImage("plain.png", cv::Mat(20, 20, CV_8UC3, cv::Scalar(9, 9, 9)));
  std::string missingFolder = (scratch_ / "no-such-folder").string() + "/";
  auto result = runCommand(kScenetext, {model_, image, missingFolder}, scratch_.path());
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.err.find(missingFolder + "plain.png"), std::string::npos) << result.err;
  EXPECT_FALSE(std::filesystem::exists(missingFolder));

  std::string unknown = writeImage("plain.png", cv::Mat(20, 20, CV_8UC3, cv::Scalar(9, 9, 9)));
  std::filesystem::copy(unknown, scratch_ / "plain.xyz");
  auto badExtension = runCommand(
      kScenetext, {model_, (scratch_ / "plain.xyz").string(), (scratch_ / "out").string() + "/"},
      scratch_.path());
  EXPECT_EQ(badExtension.exitCode, 1);
  EXPECT_NE(badExtension.err.find("plain.xyz"), std::string::npos) << badExtension.err;
  EXPECT_TRUE(std::filesystem::is_empty(scratch_ / "out"));
}

TEST_F(ScenetextCommandTest, MissingModelFailsBeforeTheImageIsRead) {
  std::string image = writeImage("plain.png", cv::Mat(20, 20, CV_8UC3, cv::Scalar(9, 9, 9)));
  std::string model = (scratch_ / "absent.model").string();
  auto result =
      runCommand(kScenetext, {model, image, (scratch_ / "out").string() + "/"}, scratch_.path());
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_NE(result.err.find("scenetext: cannot read model '" + model + "'"), std::string::npos)
      << result.err;
  EXPECT_TRUE(std::filesystem::is_empty(scratch_ / "out"));
}

TEST_F(ScenetextCommandTest, CandidateModeIsAnOptionAndAMismatchWithTheModelWarns) {
  cv::Mat image(120, 400, CV_8UC3, cv::Scalar(235, 235, 235));
  cv::putText(image, "HOTEL PARK", cv::Point(40, 80), cv::FONT_HERSHEY_SIMPLEX, 1.6,
              cv::Scalar(20, 20, 20), 3, cv::LINE_AA);
  const std::string path = writeImage("sign.png", image);
  // One stage without stumps and threshold 0: accepts everything, and names its mode.
  scratch_.write("extended.model", "stage 1 [candidates: extended]\n@, 0\n#\n");
  const std::string model = (scratch_ / "extended.model").string();
  EXPECT_EQ(modelCandidateMode(model), regions::CandidateMode::kExtended);
  EXPECT_EQ(modelCandidateMode(model_), std::nullopt);
  const std::string prefix = (scratch_ / "out").string() + "/";

  auto plain = runCommand(kScenetext, {model, path, prefix}, scratch_.path());
  EXPECT_EQ(plain.exitCode, 0);
  EXPECT_NE(
      plain.err.find("warning: model '" + model +
                     "' was trained for --candidates extended; running with --candidates exact"),
      std::string::npos)
      << plain.err;
  EXPECT_EQ(plain.out.substr(0, 5), "*****");

  auto extended =
      runCommand(kScenetext, {"--candidates", "extended", model, path, prefix}, scratch_.path());
  EXPECT_EQ(extended.exitCode, 0) << extended.err;
  EXPECT_EQ(extended.err, "");
  EXPECT_EQ(extended.out, plain.out);
  EXPECT_FALSE(scenetext::testing::slurp(prefix + "sign.png.txt").empty());

  auto bogus =
      runCommand(kScenetext, {"--candidates", "bogus", model, path, prefix}, scratch_.path());
  EXPECT_EQ(bogus.exitCode, 2);
}

// The lines of a box list with a fifth field, split into the four-field list and the scores.
struct ScoredList {
  std::string boxes;
  std::vector<double> scores;
};

ScoredList splitScores(const std::string& text) {
  ScoredList list;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    const size_t comma = line.rfind(',');
    list.boxes += line.substr(0, comma) + "\n";
    list.scores.push_back(std::stod(line.substr(comma + 1)));
  }
  return list;
}

TEST_F(ScenetextCommandTest, ScoresMinScoreAndJsonDescribeTheSameLines) {
  const std::string path = writeImage("signs.png", scenetext::testing::signs(cv::Size(901, 600)));
  const std::string model = SCENETEXT_SOURCE_DIR "/models/default.model";
  const std::string prefix = (scratch_ / "out").string() + "/";
  const std::string boxes = prefix + "signs.png.txt";

  ASSERT_EQ(runCommand(kScenetext, {model, path, prefix}, scratch_.path()).exitCode, 0);
  const std::string plain = scenetext::testing::slurp(boxes);
  const std::string plainImage = scenetext::testing::slurp(prefix + "signs.png");
  EXPECT_FALSE(std::filesystem::exists(prefix + "signs.png.json"));

  auto scored =
      runCommand(kScenetext, {"--scores", "--json", model, path, prefix}, scratch_.path());
  ASSERT_EQ(scored.exitCode, 0) << scored.err;
  EXPECT_EQ(scored.out, "*****   Done! Output To: \n" + prefix + "signs.png\n" + boxes + "\n" +
                            prefix + "signs.png.json\n");
  const ScoredList list = splitScores(scenetext::testing::slurp(boxes));
  // The scores add a field and change nothing else.
  EXPECT_EQ(list.boxes, plain);
  EXPECT_EQ(scenetext::testing::slurp(prefix + "signs.png"), plainImage);
  ASSERT_GE(list.scores.size(), 2u) << plain;
  for (double score : list.scores) {
    EXPECT_GE(score, 0.5);
    EXPECT_LE(score, 1.0);
  }

  const nlohmann::json json =
      nlohmann::json::parse(scenetext::testing::slurp(prefix + "signs.png.json"));
  EXPECT_EQ(json["image"], path);
  EXPECT_EQ(json["width"], 901);
  EXPECT_EQ(json["height"], 600);
  EXPECT_EQ(json["candidates"], "exact");
  EXPECT_EQ(json["model"], model);
  ASSERT_EQ(json["lines"].size(), list.scores.size());
  std::string fromJson;
  for (size_t i = 0; i < list.scores.size(); ++i) {
    const nlohmann::json& line = json["lines"][i];
    fromJson += std::to_string(line["left"].get<int>()) + "," +
                std::to_string(line["top"].get<int>()) + "," +
                std::to_string(line["right"].get<int>()) + "," +
                std::to_string(line["bottom"].get<int>()) + "\n";
    EXPECT_EQ(line["score"].get<double>(), list.scores[i]) << i;
  }
  EXPECT_EQ(fromJson, plain);

  // A threshold between the lowest and the highest score keeps exactly the lines at or above it.
  const double lowest = *std::min_element(list.scores.begin(), list.scores.end());
  const double highest = *std::max_element(list.scores.begin(), list.scores.end());
  ASSERT_LT(lowest, highest);
  const double threshold = (lowest + highest) / 2;
  auto kept = runCommand(
      kScenetext, {"--scores", "--min-score", std::to_string(threshold), model, path, prefix},
      scratch_.path());
  ASSERT_EQ(kept.exitCode, 0) << kept.err;
  const ScoredList keptList = splitScores(scenetext::testing::slurp(boxes));
  std::vector<double> expected;
  for (double score : list.scores) {
    if (score >= threshold) expected.push_back(score);
  }
  EXPECT_EQ(keptList.scores, expected);
  EXPECT_NE(scenetext::testing::slurp(prefix + "signs.png"), plainImage);

  EXPECT_EQ(
      runCommand(kScenetext, {"--min-score", "1.5", model, path, prefix}, scratch_.path()).exitCode,
      2);
  EXPECT_EQ(
      runCommand(kScenetext, {"--min-score", "x", model, path, prefix}, scratch_.path()).exitCode,
      2);
}

// Two words on a light board, two fifths of a letter height apart: one text line, two words.
cv::Mat wordsOnABoard() {
  cv::Mat image(300, 700, CV_8UC3, cv::Scalar(120, 150, 140));
  cv::rectangle(image, cv::Point(20, 60), cv::Point(680, 200), cv::Scalar(235, 235, 235),
                cv::FILLED);
  const double scale = 2.0;
  const int thickness = 4;
  int baseline = 0;
  const cv::Size first =
      cv::getTextSize("HOTEL", cv::FONT_HERSHEY_SIMPLEX, scale, thickness, &baseline);
  cv::putText(image, "HOTEL", cv::Point(60, 160), cv::FONT_HERSHEY_SIMPLEX, scale,
              cv::Scalar(20, 20, 20), thickness, cv::LINE_AA);
  cv::putText(image, "PARK", cv::Point(60 + first.width + first.height * 2 / 5, 160),
              cv::FONT_HERSHEY_SIMPLEX, scale, cv::Scalar(20, 20, 20), thickness, cv::LINE_AA);
  return image;
}

TEST_F(ScenetextCommandTest, WordGranularityListsTheJsonWordsAndLeavesTheImageAlone) {
  const std::string path = writeImage("board.png", wordsOnABoard());
  // The extended candidates join letters spaced that widely into one line; the exact ones do not.
  const std::string model = SCENETEXT_SOURCE_DIR "/models/extended.model";
  const std::string prefix = (scratch_ / "out").string() + "/";
  const std::string boxes = prefix + "board.png.txt";

  ASSERT_EQ(runCommand(kScenetext, {"--candidates", "extended", "--json", model, path, prefix},
                       scratch_.path())
                .exitCode,
            0);
  const std::string lineList = scenetext::testing::slurp(boxes);
  const std::string lineImage = scenetext::testing::slurp(prefix + "board.png");
  const nlohmann::json json =
      nlohmann::json::parse(scenetext::testing::slurp(prefix + "board.png.json"));
  std::string fromJson;
  size_t words = 0;
  for (const nlohmann::json& line : json["lines"]) {
    ASSERT_FALSE(line["words"].empty());
    int previousRight = -1;
    for (const nlohmann::json& word : line["words"]) {
      // Inside the line, left to right, never overlapping.
      EXPECT_GE(word["left"].get<int>(), line["left"].get<int>());
      EXPECT_GE(word["top"].get<int>(), line["top"].get<int>());
      EXPECT_LE(word["right"].get<int>(), line["right"].get<int>());
      EXPECT_LE(word["bottom"].get<int>(), line["bottom"].get<int>());
      EXPECT_GT(word["left"].get<int>(), previousRight);
      previousRight = word["right"].get<int>();
      fromJson += std::to_string(word["left"].get<int>()) + "," +
                  std::to_string(word["top"].get<int>()) + "," +
                  std::to_string(word["right"].get<int>()) + "," +
                  std::to_string(word["bottom"].get<int>()) + "\n";
      ++words;
    }
  }

  auto run = runCommand(
      kScenetext,
      {"--granularity", "word", "--candidates", "extended", "--json", model, path, prefix},
      scratch_.path());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(scenetext::testing::slurp(boxes), fromJson);
  EXPECT_NE(fromJson, lineList);
  EXPECT_GT(words, json["lines"].size()) << json.dump();
  EXPECT_EQ(scenetext::testing::slurp(prefix + "board.png"), lineImage);
  // The JSON carries lines and words whatever the granularity.
  EXPECT_EQ(nlohmann::json::parse(scenetext::testing::slurp(prefix + "board.png.json")), json);

  ASSERT_EQ(runCommand(kScenetext,
                       {"--granularity", "line", "--candidates", "extended", model, path, prefix},
                       scratch_.path())
                .exitCode,
            0);
  EXPECT_EQ(scenetext::testing::slurp(boxes), lineList);
  EXPECT_EQ(
      runCommand(kScenetext, {"--granularity", "letter", model, path, prefix}, scratch_.path())
          .exitCode,
      2);
}

}  // namespace
}  // namespace scenetext::driver
