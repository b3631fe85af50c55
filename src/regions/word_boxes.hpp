#pragma once

// Words of a text line: the line is cut at the column gaps of its edge pixels that are clearly
// wider than the gaps between the letters of one word, and each piece is fitted to its ink.

#include <opencv2/core.hpp>

#include <vector>

#include "common/box_list.hpp"

namespace scenetext::regions {

struct WordSplitting {
  // A run of columns without edge pixels cuts the line when it is at least this many times the
  // height of the line's ink wide (never less than one column). Word spaces scale with the letter
  // height. Chosen by five-fold cross-validation of word-level IoU F over the 171 ICDAR 2013
  // training photos (bench/word_split_cv.py): nine folds of ten, over both candidate modes, chose
  // 0.3.
  double gapFactor = 0.3;
  // Each word box is grown by this many times the ink height on every side (clipped to the line),
  // because annotated word boxes hold a little margin around the letters. The folds chose 0 or 0.1
  // (F within 0.002 of each other); 0.1 scores best on all photos in either mode.
  double margin = 0.1;
};

inline constexpr WordSplitting kWordSplitting{};

// The words of `line` (inclusive bounds inside `edges`), left to right. `edges` is an EdgeMap
// (CV_8UC1, non-zero on edge pixels). Each word box spans the columns of its ink, the rows of the
// ink in those columns, plus the margin, and stays within `line`. A line without edge pixels is
// returned whole; a line without a wide enough gap gives one word. A line that does not lie within
// `edges` (or another matrix type) is a caller's mistake: cv::Exception.
BoxList wordBoxes(const cv::Mat& edges, const Box& line,
                  const WordSplitting& splitting = kWordSplitting);

// wordBoxes of every line, in the order of `lines`.
std::vector<BoxList> lineWords(const cv::Mat& edges, const BoxList& lines,
                               const WordSplitting& splitting = kWordSplitting);

}  // namespace scenetext::regions
