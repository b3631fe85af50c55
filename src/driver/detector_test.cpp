#include "scenetext/scenetext.hpp"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <sstream>
#include <thread>

#include "common/test_support.hpp"
#include "driver/test_scenes.hpp"

namespace {

using scenetext::Candidates;
using scenetext::Detector;
using scenetext::TextLine;
using scenetext::testing::ScratchFolder;
using scenetext::testing::signs;

const std::string kScenetext = SCENETEXT_BINARY_DIR "/scenetext";
const std::string kDefaultModel = SCENETEXT_SOURCE_DIR "/models/default.model";
const std::string kExtendedModel = SCENETEXT_SOURCE_DIR "/models/extended.model";

std::string boxList(const std::vector<TextLine>& lines) {
  std::ostringstream text;
  for (const TextLine& line : lines) {
    text << line.left << ',' << line.top << ',' << line.right << ',' << line.bottom << '\n';
  }
  return text.str();
}

std::string wordList(const std::vector<TextLine>& lines) {
  std::ostringstream text;
  for (const TextLine& line : lines) {
    for (const scenetext::WordBox& word : line.words) {
      text << word.left << ',' << word.top << ',' << word.right << ',' << word.bottom << '\n';
    }
  }
  return text.str();
}

// What the command writes for the image file at `path`, with `--granularity word` when `words`.
std::string commandBoxList(const ScratchFolder& scratch, const std::string& model,
                           const std::string& path, Candidates candidates, bool words = false) {
  const std::string prefix = (scratch / "out").string() + "/";
  std::filesystem::create_directories(prefix);
  std::vector<std::string> arguments{model, path, prefix};
  if (words) arguments.insert(arguments.begin(), {"--granularity", "word"});
  // The exact candidates are the command's default.
  if (candidates == Candidates::kExtended) {
    arguments.insert(arguments.begin(), {"--candidates", "extended"});
  }
  const auto run = scenetext::testing::runCommand(kScenetext, arguments, scratch.path());
  EXPECT_EQ(run.exitCode, 0) << run.err;
  return scenetext::testing::slurp(prefix + std::filesystem::path(path).filename().string() +
                                   ".txt");
}

TEST(DetectorTest, LoadFailuresThrowWithTheCommandsMessage) {
  ScratchFolder scratch("detector-load");
  try {
    Detector::load((scratch / "missing.model").string());
    FAIL() << "a missing model loaded";
  } catch (const scenetext::Error& error) {
    EXPECT_EQ(std::string(error.what()), "cannot read model '" +
                                             (scratch / "missing.model").string() +
                                             "': No such file or directory");
  }
  scratch.write("broken.model", "stage 1\n1, 7, 1, 0.5\n");
  try {
    Detector::load((scratch / "broken.model").string());
    FAIL() << "a malformed model loaded";
  } catch (const scenetext::Error& error) {
    EXPECT_EQ(std::string(error.what()).rfind((scratch / "broken.model").string() + ":2: ", 0), 0u)
        << error.what();
  }
}

TEST(DetectorTest, RefusesImagesItCannotRead) {
  const Detector detector = Detector::load(kDefaultModel);
  EXPECT_THROW(detector.detect(cv::Mat()), scenetext::Error);
  EXPECT_THROW(detector.detect(cv::Mat(20, 20, CV_16UC3, cv::Scalar::all(0))), scenetext::Error);
  EXPECT_THROW(detector.detect(cv::Mat(20, 20, CV_32FC1, cv::Scalar::all(0))), scenetext::Error);
  EXPECT_THROW(detector.detect(cv::Mat(20, 20, CV_8UC2, cv::Scalar::all(0))), scenetext::Error);
  const int sizes[] = {4, 4, 4};
  EXPECT_THROW(detector.detect(cv::Mat(3, sizes, CV_8UC1, cv::Scalar::all(0))), scenetext::Error);
  // Over the pixel limit. The header points at one byte: the size is refused before any pixel
  // is read.
  uchar byte = 0;
  const cv::Mat huge(20000, 10001, CV_8UC1, &byte);
  try {
    detector.detect(huge);
    FAIL() << "an image over the pixel limit was accepted";
  } catch (const scenetext::Error& error) {
    EXPECT_NE(std::string(error.what()).find("10001x20000 pixels exceed the limit"),
              std::string::npos)
        << error.what();
  }
}

TEST(DetectorTest, FindsExactlyTheCommandsBoxesInBothModes) {
  ScratchFolder scratch("detector-command");
  // 1203 pixels wide pads to 1204 and is not reduced; 1801 is halved.
  for (const int width : {1203, 1801}) {
    const cv::Mat image = signs(cv::Size(width, width * 2 / 3));
    const std::string path = (scratch / ("signs" + std::to_string(width) + ".png")).string();
    ASSERT_TRUE(cv::imwrite(path, image));
    for (const auto& [candidates, model] : {std::pair{Candidates::kExact, kDefaultModel},
                                            std::pair{Candidates::kExtended, kExtendedModel}}) {
      const std::vector<TextLine> lines = Detector::load(model, candidates).detect(image);
      EXPECT_FALSE(lines.empty()) << width << " " << model;
      EXPECT_EQ(boxList(lines), commandBoxList(scratch, model, path, candidates))
          << width << " " << model;
      EXPECT_EQ(wordList(lines), commandBoxList(scratch, model, path, candidates, true))
          << width << " " << model;
      for (const TextLine& line : lines) {
        EXPECT_FALSE(line.words.empty());
        EXPECT_GE(line.score, 0.5);
        EXPECT_LE(line.score, 1.0);
      }
    }
  }
}

TEST(DetectorTest, GreyAndAlphaImagesAreReadAsImreadReadsTheirFiles) {
  ScratchFolder scratch("detector-channels");
  const cv::Mat colour = signs(cv::Size(601, 400));
  cv::Mat grey, bgra;
  cv::cvtColor(colour, grey, cv::COLOR_BGR2GRAY);
  cv::cvtColor(colour, bgra, cv::COLOR_BGR2BGRA);
  // An alpha that varies, so that a conversion blending it would show.
  for (int y = 0; y < bgra.rows; ++y) {
    for (int x = 0; x < bgra.cols; ++x) bgra.at<cv::Vec4b>(y, x)[3] = static_cast<uchar>(x + y);
  }
  const Detector detector = Detector::load(kDefaultModel);
  for (const cv::Mat& image : {grey, bgra}) {
    const std::string path = (scratch / "image.png").string();
    ASSERT_TRUE(cv::imwrite(path, image));
    const cv::Mat asStored = cv::imread(path, cv::IMREAD_UNCHANGED);
    ASSERT_EQ(asStored.channels(), image.channels());
    const cv::Mat decoded = cv::imread(path, cv::IMREAD_COLOR);
    const std::vector<TextLine> expected = detector.detect(decoded);
    EXPECT_FALSE(expected.empty());
    EXPECT_EQ(boxList(detector.detect(asStored)), boxList(expected)) << image.channels();
  }
}

TEST(DetectorTest, ManyThreadsOnOneDetectorAgreeWithOne) {
  const Detector detector = Detector::load(kDefaultModel);
  const cv::Mat image = signs(cv::Size(800, 540));
  const std::vector<TextLine> alone = detector.detect(image);
  std::vector<std::vector<TextLine>> found(4);
  std::vector<std::thread> threads;
  for (auto& lines : found) {
    threads.emplace_back([&detector, &image, &lines] { lines = detector.detect(image); });
  }
  for (std::thread& thread : threads) thread.join();
  for (const auto& lines : found) {
    ASSERT_EQ(lines.size(), alone.size());
    for (size_t i = 0; i < lines.size(); ++i) {
      EXPECT_EQ(boxList({lines[i]}), boxList({alone[i]}));
      EXPECT_EQ(lines[i].score, alone[i].score);
      EXPECT_EQ(wordList({lines[i]}), wordList({alone[i]}));
    }
  }
}

TEST(DetectorTest, AViewIsReadAsItsPixelsAndLeftAsItWas) {
  const cv::Mat image = signs(cv::Size(801, 600));
  const cv::Mat before = image.clone();
  const Detector detector = Detector::load(kDefaultModel);
  const cv::Mat view = image(cv::Rect(3, 5, 790, 580));
  const std::vector<TextLine> lines = detector.detect(view);
  EXPECT_FALSE(lines.empty());
  EXPECT_EQ(boxList(lines), boxList(detector.detect(view.clone())));
  EXPECT_EQ(cv::norm(image, before, cv::NORM_INF), 0);
}

TEST(DetectorTest, ReadsImageFilesAsTheCommandDoes) {
  ScratchFolder scratch("detector-read");
  const cv::Mat image = signs(cv::Size(301, 200));
  const std::string path = (scratch / "signs.png").string();
  ASSERT_TRUE(cv::imwrite(path, image));
  const cv::Mat read = scenetext::readImage(path);
  ASSERT_EQ(read.type(), CV_8UC3);
  EXPECT_EQ(cv::norm(read, image, cv::NORM_INF), 0);

  const std::string missing = (scratch / "missing.png").string();
  try {
    scenetext::readImage(missing);
    FAIL() << "a missing image was read";
  } catch (const scenetext::Error& error) {
    EXPECT_EQ(std::string(error.what()),
              "cannot read image '" + missing + "': No such file or directory");
  }
  scratch.write("text.png", "not an image\n");
  EXPECT_THROW(scenetext::readImage((scratch / "text.png").string()), scenetext::Error);
}

}  // namespace
