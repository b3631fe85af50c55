// scenetext-batch against the single-image command, on a small generated folder.

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <nlohmann/json.hpp>
#include <sstream>

#include "common/test_support.hpp"

namespace scenetext {
namespace {

using testing::runCommand;
using testing::ScratchFolder;
using testing::slurp;

const std::string kBatch = std::string(SCENETEXT_BINARY_DIR) + "/scenetext-batch";
const std::string kScenetext = std::string(SCENETEXT_BINARY_DIR) + "/scenetext";

cv::Mat sign(const std::string& text, int width) {
  cv::Mat image(160, width, CV_8UC3, cv::Scalar(40, 90, 160));
  cv::rectangle(image, cv::Rect(10, 20, width - 20, 120), cv::Scalar(240, 240, 240), cv::FILLED);
  cv::putText(image, text, cv::Point(30, 100), cv::FONT_HERSHEY_SIMPLEX, 1.5,
              cv::Scalar(10, 10, 10), 3, cv::LINE_AA);
  return image;
}

class BatchTest : public ::testing::Test {
 protected:
  BatchTest() : scratch_(::testing::UnitTest::GetInstance()->current_test_info()->name()) {
    std::filesystem::create_directories(scratch_ / "images");
    std::filesystem::create_directories(scratch_ / "batch");
    std::filesystem::create_directories(scratch_ / "single");
    scratch_.write("accept-all.model", "#\n");
    cv::imwrite((scratch_ / "images/a.png").string(), sign("OPEN 24H", 400));
    cv::imwrite((scratch_ / "images/b.jpg").string(), sign("CAFE BAR", 1700));  // halved
    cv::imwrite((scratch_ / "images/c.bmp").string(),
                cv::Mat(50, 61, CV_8UC3, cv::Scalar(7, 8, 9)));
    scratch_.write("images/notes.txt", "not an image, and not an image name either");
  }
  std::string model() const { return (scratch_ / "accept-all.model").string(); }
  ScratchFolder scratch_;
};

TEST_F(BatchTest, WritesTheSameBytesAsTheSingleImageCommand) {
  const std::string batchPrefix = (scratch_ / "batch").string() + "/";
  auto batch =
      runCommand(kBatch, {model(), (scratch_ / "images").string(), batchPrefix, "--jobs", "2"},
                 scratch_.path());
  ASSERT_EQ(batch.exitCode, 0) << batch.err;
  EXPECT_EQ(batch.out, "processed 3 of 3 images, 0 failed\n");
  for (const std::string name : {"a.png", "b.jpg", "c.bmp"}) {
    const std::string singlePrefix = (scratch_ / "single").string() + "/";
    auto single =
        runCommand(kScenetext, {model(), (scratch_ / "images" / name).string(), singlePrefix},
                   scratch_.path());
    ASSERT_EQ(single.exitCode, 0) << single.err;
    for (const std::string suffix : {"", ".txt"}) {
      const std::string batchBytes = slurp(batchPrefix + name + suffix);
      EXPECT_EQ(batchBytes, slurp(singlePrefix + name + suffix)) << name << suffix;
      if (suffix == ".txt" && name != "c.bmp") {
        EXPECT_FALSE(batchBytes.empty()) << name;
      }
    }
  }
  EXPECT_FALSE(std::filesystem::exists(scratch_ / "batch/notes.txt"));
}

TEST_F(BatchTest, WordGranularityWritesTheSingleImageCommandsWordLists) {
  const std::string batchPrefix = (scratch_ / "batch").string() + "/";
  const std::string singlePrefix = (scratch_ / "single").string() + "/";
  auto batch = runCommand(kBatch,
                          {"--granularity", "word", "--scores", model(),
                           (scratch_ / "images").string(), batchPrefix, "--jobs", "2"},
                          scratch_.path());
  ASSERT_EQ(batch.exitCode, 0) << batch.err;
  for (const std::string name : {"a.png", "b.jpg", "c.bmp"}) {
    auto single = runCommand(kScenetext,
                             {"--granularity", "word", "--scores", model(),
                              (scratch_ / "images" / name).string(), singlePrefix},
                             scratch_.path());
    ASSERT_EQ(single.exitCode, 0) << single.err;
    for (const std::string suffix : {"", ".txt"}) {
      EXPECT_EQ(slurp(batchPrefix + name + suffix), slurp(singlePrefix + name + suffix))
          << name << suffix;
    }
  }
  EXPECT_FALSE(slurp(batchPrefix + "a.png.txt").empty());
  EXPECT_EQ(
      runCommand(kBatch,
                 {"--granularity", "words", model(), (scratch_ / "images").string(), batchPrefix},
                 scratch_.path())
          .exitCode,
      2);
}

TEST_F(BatchTest, ABrokenImageIsReportedAndTheRestAreProcessed) {
  scratch_.write("images/broken.jpg", std::string("\xFF\xD8\xFF\xE0 truncated", 14));
  const std::string prefix = (scratch_ / "batch").string() + "/";
  auto batch =
      runCommand(kBatch, {model(), (scratch_ / "images").string(), prefix}, scratch_.path());
  EXPECT_EQ(batch.exitCode, 1);
  EXPECT_EQ(batch.out, "processed 3 of 4 images, 1 failed\n");
  EXPECT_NE(batch.err.find("broken.jpg"), std::string::npos) << batch.err;
  EXPECT_EQ(
      scratch_.listing(),
      (std::vector<std::string>{"accept-all.model", "batch", "batch/a.png", "batch/a.png.txt",
                                "batch/b.jpg", "batch/b.jpg.txt", "batch/c.bmp", "batch/c.bmp.txt",
                                "images", "images/a.png", "images/b.jpg", "images/broken.jpg",
                                "images/c.bmp", "images/notes.txt", "single"}));
}

TEST_F(BatchTest, BadArgumentsAndMissingInputs) {
  const std::string prefix = (scratch_ / "batch").string() + "/";
  auto usage = runCommand(kBatch, {model()}, scratch_.path());
  EXPECT_EQ(usage.exitCode, 2);
  auto badJobs = runCommand(
      kBatch, {model(), (scratch_ / "images").string(), prefix, "--jobs", "0"}, scratch_.path());
  EXPECT_EQ(badJobs.exitCode, 2);
  auto missingFolder =
      runCommand(kBatch, {model(), (scratch_ / "nowhere").string(), prefix}, scratch_.path());
  EXPECT_EQ(missingFolder.exitCode, 1);
  EXPECT_NE(missingFolder.err.find("nowhere"), std::string::npos);
  auto missingModel = runCommand(
      kBatch, {(scratch_ / "absent.model").string(), (scratch_ / "images").string(), prefix},
      scratch_.path());
  EXPECT_EQ(missingModel.exitCode, 1);
  EXPECT_NE(missingModel.err.find("cannot read model"), std::string::npos);
  // A missing output folder stops the batch before any image is read: one line, nothing written.
  for (const std::string missing : {"absent/", "absent/run-", "images/a.png/"}) {
    auto noFolder =
        runCommand(kBatch, {model(), (scratch_ / "images").string(), (scratch_ / missing).string()},
                   scratch_.path());
    EXPECT_EQ(noFolder.exitCode, 1) << missing;
    EXPECT_TRUE(noFolder.out.empty()) << noFolder.out;
    EXPECT_EQ(std::count(noFolder.err.begin(), noFolder.err.end(), '\n'), 1) << noFolder.err;
    EXPECT_NE(noFolder.err.find(missing == "images/a.png/" ? "is not a folder" : "does not exist"),
              std::string::npos)
        << noFolder.err;
  }
  EXPECT_FALSE(std::filesystem::exists(scratch_ / "absent"));
  auto help = runCommand(kBatch, {"--help"}, scratch_.path());
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_TRUE(std::filesystem::is_empty(scratch_ / "batch"));
}

std::vector<nlohmann::json> jsonLines(const std::string& text) {
  std::vector<nlohmann::json> objects;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) objects.push_back(nlohmann::json::parse(line));
  return objects;
}

TEST_F(BatchTest, JsonLinesInImageOrderWithFailuresAndScoresAsTheSingleCommandWritesThem) {
  scratch_.write("images/broken.jpg", std::string("\xFF\xD8\xFF\xE0 truncated", 14));
  const std::string prefix = (scratch_ / "batch").string() + "/";
  const std::string images = (scratch_ / "images").string();
  auto toStdout =
      runCommand(kBatch, {"--scores", "--jsonl", "-", "--jobs", "2", model(), images, prefix},
                 scratch_.path());
  EXPECT_EQ(toStdout.exitCode, 1);
  // Standard output holds the JSON lines alone; the summary joins the messages.
  EXPECT_NE(toStdout.err.find("processed 3 of 4 images, 1 failed"), std::string::npos)
      << toStdout.err;
  const std::vector<nlohmann::json> objects = jsonLines(toStdout.out);
  ASSERT_EQ(objects.size(), 4u) << toStdout.out;
  const char* names[] = {"a.png", "b.jpg", "broken.jpg", "c.bmp"};
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(objects[i]["image"], (scratch_ / "images" / names[i]).string()) << i;
  }
  EXPECT_NE(objects[2]["error"].get<std::string>().find("broken.jpg"), std::string::npos);
  EXPECT_FALSE(objects[2].contains("lines"));
  EXPECT_EQ(objects[1]["width"], 1700);
  EXPECT_EQ(objects[1]["height"], 160);
  EXPECT_EQ(objects[1]["candidates"], "exact");
  EXPECT_EQ(objects[1]["model"], model());

  // The same lines, and the same five-field box lists, as the single-image command writes.
  const std::string singlePrefix = (scratch_ / "single").string() + "/";
  for (size_t i : {0, 1, 3}) {
    auto single = runCommand(
        kScenetext,
        {"--scores", "--json", model(), (scratch_ / "images" / names[i]).string(), singlePrefix},
        scratch_.path());
    ASSERT_EQ(single.exitCode, 0) << single.err;
    EXPECT_EQ(slurp(prefix + names[i] + ".txt"), slurp(singlePrefix + names[i] + ".txt"));
    EXPECT_EQ(nlohmann::json::parse(slurp(singlePrefix + names[i] + ".json")), objects[i]);
  }
  EXPECT_FALSE(objects[0]["lines"].empty());

  // To a file, with one job: the same objects; stdout keeps the summary.
  const std::string file = (scratch_ / "report.jsonl").string();
  auto toFile = runCommand(
      kBatch, {"--scores", "--jsonl", file, model(), images, prefix, "-j", "1"}, scratch_.path());
  EXPECT_EQ(toFile.exitCode, 1);
  EXPECT_EQ(toFile.out, "processed 3 of 4 images, 1 failed\n");
  EXPECT_EQ(jsonLines(slurp(file)), objects);

  auto unwritable = runCommand(kBatch,
                               {"--jsonl", (scratch_ / "nowhere/r.jsonl").string(), model(), images,
                                (scratch_ / "fresh-").string()},
                               scratch_.path());
  EXPECT_EQ(unwritable.exitCode, 1);
  EXPECT_NE(unwritable.err.find("nowhere/r.jsonl"), std::string::npos) << unwritable.err;
  for (const std::string& name : scratch_.listing()) {
    EXPECT_FALSE(name.starts_with("fresh-")) << name << ": nothing is written after the failure";
  }
}

}  // namespace
}  // namespace scenetext
