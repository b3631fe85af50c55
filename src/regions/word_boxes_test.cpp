#include "regions/word_boxes.hpp"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include "regions/test_support.hpp"

namespace scenetext::regions {
namespace {

// An EdgeMap with the outline of each rectangle (inclusive bounds) drawn one pixel wide, as the
// thinned edges of a solid letter look.
cv::Mat outlines(cv::Size size, const BoxList& letters) {
  cv::Mat edges = cv::Mat::zeros(size, CV_8UC1);
  for (const Box& b : letters) {
    cv::rectangle(edges, cv::Point(b.left, b.top), cv::Point(b.right, b.bottom), 255, 1);
  }
  return edges;
}

TEST(WordBoxesTest, CutsAtGapsWiderThanTheLetterSpacing) {
  // Letters 10 rows high, 2 columns apart inside a word, 8 apart between words; the cut needs a
  // gap of at least 0.5 * 10 = 5 empty columns.
  const BoxList letters{{5, 4, 9, 13}, {12, 4, 16, 13}, {25, 4, 29, 13}, {32, 6, 36, 13}};
  const cv::Mat edges = outlines({50, 20}, letters);
  const BoxList words = wordBoxes(edges, {2, 1, 40, 17}, {0.5, 0.0});
  const BoxList expected{{5, 4, 16, 13}, {25, 4, 36, 13}};
  EXPECT_EQ(words, expected);
}

TEST(WordBoxesTest, KeepsOneWordWhenNoGapIsWideEnough) {
  const BoxList letters{{5, 4, 9, 13}, {12, 4, 16, 13}, {25, 4, 29, 13}};
  const cv::Mat edges = outlines({50, 20}, letters);
  const BoxList words = wordBoxes(edges, {2, 1, 40, 17}, {1.0, 0.0});
  const BoxList expected{{5, 4, 29, 13}};
  EXPECT_EQ(words, expected);
}

TEST(WordBoxesTest, EachWordTakesTheRowsOfItsOwnInk) {
  // A short second word: its box spans only its own rows, not the line's.
  const BoxList letters{{5, 2, 9, 13}, {25, 8, 29, 13}};
  const cv::Mat edges = outlines({40, 20}, letters);
  const BoxList words = wordBoxes(edges, {0, 0, 39, 19}, {0.3, 0.0});
  const BoxList expected{{5, 2, 9, 13}, {25, 8, 29, 13}};
  EXPECT_EQ(words, expected);
}

TEST(WordBoxesTest, MarginGrowsEachWordWithinTheLine) {
  // Ink 10 rows high, margin 0.2 * 10 = 2 pixels, clipped at the line's left and top bounds.
  const BoxList letters{{4, 3, 9, 12}, {25, 3, 30, 12}};
  const cv::Mat edges = outlines({40, 20}, letters);
  const BoxList words = wordBoxes(edges, {3, 2, 31, 15}, {0.5, 0.2});
  const BoxList expected{{3, 2, 11, 14}, {23, 2, 31, 14}};
  EXPECT_EQ(words, expected);
}

TEST(WordBoxesTest, IgnoresEdgesOutsideTheLine) {
  // A letter of another line, left of this one and overlapping its rows, is not part of it.
  const BoxList letters{{1, 2, 4, 10}, {12, 4, 16, 13}};
  const cv::Mat edges = outlines({30, 20}, letters);
  const BoxList words = wordBoxes(edges, {8, 3, 20, 15}, {0.3, 0.0});
  const BoxList expected{{12, 4, 16, 13}};
  EXPECT_EQ(words, expected);
}

TEST(WordBoxesTest, LineWithoutEdgesStaysWhole) {
  const cv::Mat edges = cv::Mat::zeros(20, 30, CV_8UC1);
  const Box line{3, 4, 20, 12};
  EXPECT_EQ(wordBoxes(edges, line), BoxList{line});
}

TEST(WordBoxesTest, LineWordsFollowTheLineOrder) {
  const BoxList letters{{2, 2, 6, 8}, {20, 2, 24, 8}, {2, 14, 6, 20}};
  const cv::Mat edges = outlines({30, 24}, letters);
  const std::vector<BoxList> words =
      lineWords(edges, {{0, 12, 29, 22}, {0, 0, 29, 10}}, {0.5, 0.0});
  ASSERT_EQ(words.size(), 2u);
  EXPECT_EQ(words[0], (BoxList{{2, 14, 6, 20}}));
  EXPECT_EQ(words[1], (BoxList{{2, 2, 6, 8}, {20, 2, 24, 8}}));
}

}  // namespace
}  // namespace scenetext::regions
