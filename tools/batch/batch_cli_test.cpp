// scenetext-batch against the single-image command, on a small generated folder.

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

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
    cv::imwrite((scratch_ / "images/c.bmp").string(), cv::Mat(50, 61, CV_8UC3, cv::Scalar(7, 8, 9)));
    scratch_.write("images/notes.txt", "not an image, and not an image name either");
  }
  std::string model() const { return (scratch_ / "accept-all.model").string(); }
  ScratchFolder scratch_;
};

TEST_F(BatchTest, WritesTheSameBytesAsTheSingleImageCommand) {
  const std::string batchPrefix = (scratch_ / "batch").string() + "/";
  auto batch = runCommand(kBatch, {model(), (scratch_ / "images").string(), batchPrefix, "--jobs",
                                   "2"},
                          scratch_.path());
  ASSERT_EQ(batch.exitCode, 0) << batch.err;
  EXPECT_EQ(batch.out, "processed 3 of 3 images, 0 failed\n");
  for (const std::string name : {"a.png", "b.jpg", "c.bmp"}) {
    const std::string singlePrefix = (scratch_ / "single").string() + "/";
    auto single = runCommand(kScenetext, {model(), (scratch_ / "images" / name).string(),
                                          singlePrefix},
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

TEST_F(BatchTest, ABrokenImageIsReportedAndTheRestAreProcessed) {
  scratch_.write("images/broken.jpg", std::string("\xFF\xD8\xFF\xE0 truncated", 14));
  const std::string prefix = (scratch_ / "batch").string() + "/";
  auto batch = runCommand(kBatch, {model(), (scratch_ / "images").string(), prefix},
                          scratch_.path());
  EXPECT_EQ(batch.exitCode, 1);
  EXPECT_EQ(batch.out, "processed 3 of 4 images, 1 failed\n");
  EXPECT_NE(batch.err.find("broken.jpg"), std::string::npos) << batch.err;
  EXPECT_EQ(scratch_.listing(), (std::vector<std::string>{
                                    "accept-all.model", "batch", "batch/a.png", "batch/a.png.txt",
                                    "batch/b.jpg", "batch/b.jpg.txt", "batch/c.bmp",
                                    "batch/c.bmp.txt", "images", "images/a.png", "images/b.jpg",
                                    "images/broken.jpg", "images/c.bmp", "images/notes.txt",
                                    "single"}));
}

TEST_F(BatchTest, BadArgumentsAndMissingInputs) {
  const std::string prefix = (scratch_ / "batch").string() + "/";
  auto usage = runCommand(kBatch, {model()}, scratch_.path());
  EXPECT_EQ(usage.exitCode, 2);
  auto badJobs = runCommand(kBatch, {model(), (scratch_ / "images").string(), prefix, "--jobs",
                                     "0"},
                            scratch_.path());
  EXPECT_EQ(badJobs.exitCode, 2);
  auto missingFolder = runCommand(kBatch, {model(), (scratch_ / "nowhere").string(), prefix},
                                  scratch_.path());
  EXPECT_EQ(missingFolder.exitCode, 1);
  EXPECT_NE(missingFolder.err.find("nowhere"), std::string::npos);
  auto missingModel = runCommand(kBatch, {(scratch_ / "absent.model").string(),
                                          (scratch_ / "images").string(), prefix},
                                 scratch_.path());
  EXPECT_EQ(missingModel.exitCode, 1);
  EXPECT_NE(missingModel.err.find("cannot read model"), std::string::npos);
  auto help = runCommand(kBatch, {"--help"}, scratch_.path());
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_TRUE(std::filesystem::is_empty(scratch_ / "batch"));
}

}  // namespace
}  // namespace scenetext
