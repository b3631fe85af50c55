#include "batch/batch_outputs.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/test_support.hpp"

namespace scenetext::batch {
namespace {

using scenetext::testing::ScratchFolder;

TEST(OutputClashes, ALaterImageWithAnEarlierOnesOutputsFails) {
  const std::vector<std::string> images = {"x/1.jpg", "y/1.jpg",  "y/2.jpg",
                                           "x/1.jpg", "z\\2.jpg", "1.jpg.png"};
  const std::vector<std::string> clashes = outputClashes(images, "out/");
  ASSERT_EQ(clashes.size(), images.size());
  EXPECT_EQ(clashes[0], "");
  EXPECT_EQ(clashes[1],
            "'y/1.jpg': its outputs 'out/1.jpg' are those of 'x/1.jpg', earlier in "
            "the list");
  EXPECT_EQ(clashes[2], "");
  EXPECT_EQ(clashes[3],
            "'x/1.jpg': its outputs 'out/1.jpg' are those of 'x/1.jpg', earlier in "
            "the list");
  // The base name after a backslash, as the single-image command takes it.
  EXPECT_NE(clashes[4].find("are those of 'y/2.jpg'"), std::string::npos) << clashes[4];
  EXPECT_EQ(clashes[5], "");
  EXPECT_EQ(outputClashes({}, "out/"), std::vector<std::string>{});
}

class FinishedImageTest : public ::testing::Test {
 protected:
  FinishedImageTest()
      : scratch_(::testing::UnitTest::GetInstance()->current_test_info()->name()),
        paths_(driver::outputPaths(scratch_.path().string() + "/", "photos/1.jpg")) {
    expected_.image = "photos/1.jpg";
    expected_.candidates = regions::CandidateMode::kExtended;
    expected_.modelPath = "models/extended.model";
  }
  // The line a run with these settings writes for an image of 40 x 30 with one line.
  std::string reportLine(const std::string& image, const std::string& model,
                         regions::CandidateMode mode) const {
    driver::ImageReport report;
    report.image = image;
    report.width = 40;
    report.height = 30;
    report.candidates = mode;
    report.modelPath = model;
    report.lines.push_back({{1, 2, 30, 20}, 0.75, {{1, 2, 30, 20}}});
    return driver::formatJsonReport(report);
  }
  void writeResultFiles() const {
    scratch_.write("1.jpg", "jpeg bytes");
    scratch_.write("1.jpg.txt", "1,2,30,20\n");
  }
  ScratchFolder scratch_;
  driver::OutputPaths paths_;
  driver::ImageReport expected_;
};

TEST_F(FinishedImageTest, BothResultFilesMakeAFinishedImageWhenNoJsonIsAsked) {
  EXPECT_EQ(finishedImage("photos/1.jpg", paths_, nullptr), std::nullopt);
  scratch_.write("1.jpg", "jpeg bytes");
  EXPECT_EQ(finishedImage("photos/1.jpg", paths_, nullptr), std::nullopt);
  scratch_.write("1.jpg.txt", "");  // an image without text has an empty box list
  EXPECT_EQ(finishedImage("photos/1.jpg", paths_, nullptr), std::string());
  std::filesystem::remove(scratch_ / "1.jpg");
  EXPECT_EQ(finishedImage("photos/1.jpg", paths_, nullptr), std::nullopt);
  std::filesystem::create_directories(scratch_ / "1.jpg");  // not a file
  EXPECT_EQ(finishedImage("photos/1.jpg", paths_, nullptr), std::nullopt);
}

TEST_F(FinishedImageTest, TheInputImageIsNotItsOwnOutput) {
  writeResultFiles();
  EXPECT_EQ(finishedImage("photos/1.jpg", paths_, nullptr), std::string());
  // A prefix that points back at the photos' folder: the run refuses to write there, so nothing
  // is finished.
  EXPECT_EQ(finishedImage(paths_.image, paths_, nullptr), std::nullopt);
}

TEST_F(FinishedImageTest, WithJsonItsLineIsReadBackWhenItReportsTheSameRun) {
  writeResultFiles();
  EXPECT_EQ(finishedImage("photos/1.jpg", paths_, &expected_), std::nullopt);  // no .json yet
  const std::string line =
      reportLine("photos/1.jpg", "models/extended.model", regions::CandidateMode::kExtended);
  scratch_.write("1.jpg.json", line + "\n");
  EXPECT_EQ(finishedImage("photos/1.jpg", paths_, &expected_), line);
  std::filesystem::remove(scratch_ / "1.jpg.txt");
  EXPECT_EQ(finishedImage("photos/1.jpg", paths_, &expected_), std::nullopt);
}

TEST_F(FinishedImageTest, AJsonFileOfAnotherRunOrNotOneLineIsDetectedAgain) {
  writeResultFiles();
  const std::string same =
      reportLine("photos/1.jpg", "models/extended.model", regions::CandidateMode::kExtended);
  const std::vector<std::string> rejected = {
      reportLine("elsewhere/1.jpg", "models/extended.model", regions::CandidateMode::kExtended) +
          "\n",
      reportLine("photos/1.jpg", "models/default.model", regions::CandidateMode::kExtended) + "\n",
      reportLine("photos/1.jpg", "models/extended.model", regions::CandidateMode::kExact) + "\n",
      driver::formatJsonError("photos/1.jpg", "cannot read image") + "\n",
      same,                       // no final newline: not what a run writes
      same + "\n" + same + "\n",  // two lines
      same.substr(0, same.size() / 2) + "\n",
      "\n",
      "",
      "[1, 2]\n",
  };
  for (const std::string& bytes : rejected) {
    scratch_.write("1.jpg.json", bytes);
    EXPECT_EQ(finishedImage("photos/1.jpg", paths_, &expected_), std::nullopt) << bytes;
  }
}

}  // namespace
}  // namespace scenetext::batch
