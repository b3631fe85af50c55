#include "synth/word_render.hpp"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include "synth/test_support.hpp"

namespace scenetext::synth {
namespace {

using testing::kTestFonts;
using testing::TempDir;

// The box of the pixels at or above the ink threshold, by a plain scan.
cv::Rect scannedInk(const cv::Mat& coverage) {
  int left = coverage.cols, top = coverage.rows, right = -1, bottom = -1;
  for (int y = 0; y < coverage.rows; ++y) {
    for (int x = 0; x < coverage.cols; ++x) {
      if (coverage.at<uchar>(y, x) >= kInkCoverage) {
        left = std::min(left, x);
        right = std::max(right, x);
        top = std::min(top, y);
        bottom = std::max(bottom, y);
      }
    }
  }
  return right < 0 ? cv::Rect() : cv::Rect(left, top, right - left + 1, bottom - top + 1);
}

TEST(InkBoundsTest, CountsPixelsFromAQuarterCoverage) {
  cv::Mat coverage = cv::Mat::zeros(6, 8, CV_8UC1);
  coverage.at<uchar>(1, 1) = kInkCoverage - 1;  // a faint fringe: not ink
  coverage.at<uchar>(2, 3) = kInkCoverage;
  coverage.at<uchar>(4, 6) = 255;
  EXPECT_EQ(inkBounds(coverage), cv::Rect(3, 2, 4, 3));
  EXPECT_TRUE(inkBounds(cv::Mat::zeros(6, 8, CV_8UC1)).empty());
}

// The word as FreeType draws it alone on a large black canvas, with nothing of the cache.
TEST(FontCacheTest, CoverageIsTheWordDrawnAloneCroppedToItsInk) {
  struct Row {
    int font;
    const char* text;
    int height;
  };
  const Row rows[] = {
      {0, "Quay", 10}, {0, "fjord", 37}, {1, "WAVE", 64}, {1, "1987", 150}, {0, "jig", 23}};
  FontCache fonts(kTestFonts);
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.text) + " at " + std::to_string(row.height));
    Result<WordMask> mask = fonts.render(row.font, row.text, row.height);
    ASSERT_TRUE(mask) << mask.status().message();

    cv::Ptr<cv::freetype::FreeType2> face = cv::freetype::createFreeType2();
    face->loadFontData(kTestFonts[row.font], 0);
    cv::Mat canvas = cv::Mat::zeros(row.height * 6, row.height * 12, CV_8UC3);
    const cv::Point origin(row.height * 2, row.height * 2);
    face->putText(canvas, row.text, origin, row.height, cv::Scalar::all(255), -1, cv::LINE_AA,
                  false);
    cv::Mat alone;
    cv::extractChannel(canvas, alone, 0);
    const cv::Rect drawn = cv::boundingRect(alone);

    // Same pixels, same baseline (the em box's top plus the pixel height), same ink box.
    EXPECT_EQ(cv::norm(mask->coverage, alone(drawn), cv::NORM_INF), 0.0);
    EXPECT_EQ(mask->baseline, origin.y + row.height - drawn.y);
    EXPECT_EQ(inkBounds(mask->coverage) + drawn.tl(), scannedInk(alone));
  }
}

TEST(CheckFontTest, AcceptsAFontAndNamesTheFileThatCannotDraw) {
  TempDir dir;
  EXPECT_TRUE(checkFont(kTestFonts[0]));
  const std::string notAFont = dir.write("broken.ttf", "this is not a font");
  for (const std::string& path : {notAFont, dir.file("missing.ttf")}) {
    Status status = checkFont(path);
    ASSERT_FALSE(status) << path;
    EXPECT_NE(status.message().find(path), std::string::npos) << status.message();
  }
}

}  // namespace
}  // namespace scenetext::synth
