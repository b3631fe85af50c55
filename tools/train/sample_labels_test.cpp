#include "train/sample_labels.hpp"

#include <gtest/gtest.h>

namespace scenetext::training {
namespace {

evaluation::WordBox word(int left, int top, int right, int bottom, bool dontCare = false) {
  return {left, top, right, bottom, dontCare ? "###" : "word", dontCare};
}

TEST(SampleLabels, TextNotTextAndTheUnsureBetween) {
  // One word of 100 x 20 pixels at columns 0..99, rows 0..19.
  const std::vector<evaluation::WordBox> words{word(0, 0, 99, 19)};
  struct Row {
    cv::Rect rect;
    SampleLabel expected;
    const char* why;
  };
  const Row rows[] = {
      {{0, 0, 100, 20}, SampleLabel::Text, "the whole word"},
      {{10, 0, 30, 20}, SampleLabel::Text, "a window inside a long word is all text"},
      {{50, 0, 100, 40}, SampleLabel::Unsure, "25 % text"},
      {{0, 0, 100, 40}, SampleLabel::Text, "50 % text holding the whole word"},
      {{0, 0, 100, 41}, SampleLabel::Unsure, "just under 50 % text"},
      {{0, 0, 50, 34}, SampleLabel::Text, "58.8 % text holding exactly half the word"},
      {{0, 0, 49, 30}, SampleLabel::Text, "66.7 % text: enough on its own"},
      {{0, 0, 49, 34}, SampleLabel::Unsure, "57.6 % text, 49 % of the word"},
      {{0, 11, 100, 100}, SampleLabel::NotText, "9 % text"},
      {{0, 10, 100, 100}, SampleLabel::Unsure, "exactly 10 % text"},
      {{200, 0, 50, 50}, SampleLabel::NotText, "far from any word"},
  };
  for (const Row& row : rows) EXPECT_EQ(labelCandidate(row.rect, words), row.expected) << row.why;
}

TEST(SampleLabels, OverlappingWordsCountOnceAndDontCareWordsOnlyBlockNegatives) {
  // Two overlapping words cover 150 x 20 together, not 200 x 20.
  const std::vector<evaluation::WordBox> overlapping{word(0, 0, 99, 19), word(50, 0, 149, 19)};
  EXPECT_EQ(labelCandidate({0, 0, 150, 40}, overlapping), SampleLabel::Text);  // 50 %, holds a word
  EXPECT_EQ(labelCandidate({0, 0, 150, 41}, overlapping), SampleLabel::Unsure);  // just under 50 %

  const std::vector<evaluation::WordBox> unreadable{word(0, 0, 99, 19, true)};
  EXPECT_EQ(labelCandidate({0, 0, 100, 20}, unreadable), SampleLabel::Unsure);
  EXPECT_EQ(labelCandidate({300, 0, 100, 20}, unreadable), SampleLabel::NotText);
  EXPECT_EQ(labelCandidate({0, 0, 100, 20}, {}), SampleLabel::NotText);
}

TEST(SampleLabels, RuleThresholdsAreOptions) {
  const std::vector<evaluation::WordBox> words{word(0, 0, 99, 19)};
  LabelRule strict;
  strict.positiveText = 0.9;
  strict.positiveTextAlone = 0.95;
  EXPECT_EQ(labelCandidate({0, 0, 100, 40}, words, strict), SampleLabel::Unsure);
  LabelRule wide;
  wide.negativeText = 0.3;
  EXPECT_EQ(labelCandidate({0, 9, 100, 100}, words, wide), SampleLabel::NotText);
}

TEST(SampleLabels, WordsScaleToTheWorkingImageByTruncation) {
  const std::vector<evaluation::WordBox> words{word(7, 8, 101, 203), word(1, 1, 2, 3, true)};
  const std::vector<evaluation::WordBox> halved = scaleWords(words, 2);
  EXPECT_EQ(halved[0].rect(), (Box{3, 4, 50, 101}));
  EXPECT_EQ(halved[1].rect(), (Box{0, 0, 1, 1}));
  EXPECT_TRUE(halved[1].dontCare);
  EXPECT_EQ(scaleWords(words, 4)[0].rect(), (Box{1, 2, 25, 50}));
  EXPECT_EQ(scaleWords(words, 1), words);
}

}  // namespace
}  // namespace scenetext::training
