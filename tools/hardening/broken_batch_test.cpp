// scenetext-batch over a folder of 200 images of which 10 are broken in ten different ways: every
// good image is processed, every broken one is named on stderr, the exit status says that some
// failed, and nothing is lost or overwritten.

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "common/test_support.hpp"

namespace scenetext {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using testing::runCommand;
using testing::ScratchFolder;
using testing::slurp;

constexpr int kGoodImages = 190;

// Small signs, different enough that the runs differ: 56 x 40 to 88 x 40, a word on a panel.
cv::Mat smallSign(int i) {
  const int width = 56 + (i % 9) * 4;
  cv::Mat image(40, width, CV_8UC3, cv::Scalar(40 + i % 100, 90, 160 - i % 50));
  cv::rectangle(image, cv::Rect(4, 8, width - 8, 24), cv::Scalar(240, 240, 235), cv::FILLED);
  cv::putText(image, std::to_string(i), cv::Point(8, 27), cv::FONT_HERSHEY_SIMPLEX, 0.5,
              cv::Scalar(15, 15, 15), 1, cv::LINE_AA);
  return image;
}

std::string encode(const std::string& extension, const cv::Mat& image) {
  std::vector<uchar> bytes;
  cv::imencode(extension, image, bytes);
  return std::string(bytes.begin(), bytes.end());
}

// Ten broken files, each refused for a different reason.
std::map<std::string, std::string> brokenImages() {
  const std::string png = encode(".png", smallSign(7));
  const std::string jpeg = encode(".jpg", smallSign(8));
  const std::string bmp = encode(".bmp", smallSign(9));
  std::string pngBomb = png;
  pngBomb.replace(16, 8, "\x00\x00\x75\x30\x00\x00\x75\x30"s);  // IHDR: 30000 x 30000
  std::string bmpWithoutWidth = bmp;
  bmpWithoutWidth.replace(18, 4, std::string(4, '\0'));
  return {
      {"broken-00-empty.jpg", ""},
      {"broken-01-text.png", "not an image at all\n"},
      {"broken-02-truncated.png", png.substr(0, png.size() / 2)},
      {"broken-03-header-only.jpg", jpeg.substr(0, 20)},
      {"broken-04-bomb.png", pngBomb},
      {"broken-05-zero-width.bmp", bmpWithoutWidth},
      {"broken-06-random.tif", "II*\0"s + std::string(200, '\x5A')},
      {"broken-07-html.jpeg", "<html><body>404 Not Found</body></html>\n"},
      {"broken-08-dicom-cut-short.png", std::string(128, '\0') + "DICM\x02\x00\x00\x00UL\x04\x00"s},
      {"broken-09-bmp-cut.bmp", bmp.substr(0, 40)},
  };
}

std::map<std::string, std::string> folderBytes(const fs::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::directory_iterator(folder)) {
    files[entry.path().filename().string()] = slurp(entry.path());
  }
  return files;
}

TEST(BrokenBatch, GoodImagesAreProcessedAndBrokenOnesNamed) {
  ScratchFolder scratch("broken-batch");
  fs::create_directories(scratch / "images");
  fs::create_directories(scratch / "out");
  scratch.write("good.model", "stage 1\n1, 22, 1, 0.05, 1, 0\n@, -0.5\n#\n");
  const char* extensions[] = {".png", ".jpg", ".bmp", ".tif"};
  std::set<std::string> good;
  for (int i = 0; i < kGoodImages; ++i) {
    const std::string name = "good-" + std::to_string(1000 + i) + extensions[i % 4];
    scratch.write("images/" + name, encode(extensions[i % 4], smallSign(i)));
    good.insert(name);
  }
  const std::map<std::string, std::string> broken = brokenImages();
  for (const auto& [name, bytes] : broken) scratch.write("images/" + name, bytes);
  // Results of an earlier run under the names of a broken image and of a good one, and a file of
  // the user's own: a failure must not clobber the first, nor the run touch the last.
  scratch.write("out/broken-04-bomb.png.txt", "1,2,3,4\n");
  scratch.write("out/notes.txt", "my notes\n");
  const auto inputsBefore = folderBytes(scratch / "images");

  const testing::CommandResult result =
      runCommand(std::string(SCENETEXT_BINARY_DIR) + "/scenetext-batch",
                 {(scratch / "good.model").string(), (scratch / "images").string(),
                  (scratch / "out").string() + "/", "--jobs", "2"},
                 scratch.path());

  EXPECT_EQ(result.exitCode, 1) << result.err;
  EXPECT_EQ(result.out, "processed 190 of 200 images, 10 failed\n");
  // The tool's own lines, one per failed image. The decoders may add lines of their own, and
  // libpng ends its "libpng error: ..." without a newline, so a report of the other worker can
  // follow it on the same line: a report is taken from wherever it starts.
  std::vector<std::string> reports;
  std::istringstream lines(result.err);
  for (std::string line; std::getline(lines, line);) {
    const size_t at = line.find("scenetext-batch: ");
    if (at != std::string::npos) reports.push_back(line.substr(at));
  }
  EXPECT_EQ(reports.size(), broken.size()) << result.err;
  for (const auto& [name, bytes] : broken) {
    EXPECT_EQ(std::count_if(
                  reports.begin(), reports.end(),
                  [&](const std::string& line) { return line.find(name) != std::string::npos; }),
              1)
        << name << " is not named once in:\n"
        << result.err;
  }
  EXPECT_EQ(result.err.find("good-"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("30000x30000 pixels exceed the limit"), std::string::npos);

  EXPECT_EQ(folderBytes(scratch / "images"), inputsBefore) << "an input changed";
  const auto outputs = folderBytes(scratch / "out");
  std::set<std::string> expected{"broken-04-bomb.png.txt", "notes.txt"};
  for (const std::string& name : good) expected.insert({name, name + ".txt"});
  std::set<std::string> names;
  for (const auto& [name, bytes] : outputs) names.insert(name);
  EXPECT_EQ(names, expected);
  EXPECT_EQ(outputs.at("broken-04-bomb.png.txt"), "1,2,3,4\n");
  EXPECT_EQ(outputs.at("notes.txt"), "my notes\n");
  for (const std::string& name : good) {
    EXPECT_FALSE(outputs.at(name).empty()) << name;
    EXPECT_FALSE(cv::imread((scratch / "out" / name).string()).empty()) << name;
  }
}

}  // namespace
}  // namespace scenetext
