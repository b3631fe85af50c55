#pragma once

// The two box files: ground truth in the ICDAR 2013 focused-scene-text layout and the detector's
// box lists, read and written here and nowhere else.
//
// Both readers take the whole file as text and a name to put in messages; a failure is a Status
// whose message is "NAME:LINE: problem", LINE counting from 1. A UTF-8 byte-order mark, CRLF line
// ends and blank lines are tolerated. Coordinates are decimal integers (an optional minus sign,
// no fraction) and every box must have right >= left and bottom >= top.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/box_list.hpp"
#include "common/status.hpp"

namespace scenetext::io {

// One ground-truth word. A word written ### marks a don't-care region: text too small or
// unreadable to transcribe, which neither counts as missed nor makes a detection on it wrong.
// A word is a Box with its text: {left, top, right, bottom, "text", dontCare}.
struct WordBox : Box {
  std::string text;
  bool dontCare = false;

  Box rect() const { return *this; }
  friend bool operator==(const WordBox&, const WordBox&) = default;
};

// Ground truth, one word per line in either style:
//   158 128 411 181 "Footpath"        (training set: separated by spaces)
//   158, 128, 411, 181, "Footpath"    (test set: separated by commas and optional spaces)
// The word runs from the first double quote to the last one on the line, so it may hold spaces,
// commas and quotes; a backslash before a quote inside it is dropped (\" reads as ").
Result<std::vector<WordBox>> parseGroundTruth(std::string_view text, const std::string& name);

// One detection: its box and, when its line has a fifth field, its score (higher is more
// confident).
struct Detection {
  Box box;
  std::optional<double> score;

  friend bool operator==(const Detection&, const Detection&) = default;
};

// Detections, one "left,top,right,bottom" or "left,top,right,bottom,score" line per box (the
// detector's box list, and ICDAR 2013 result files res_<stem>.txt); spaces around the commas are
// allowed. The score is any finite real number ("0.93", "-2", "1e-3"); a fifth field that is not
// one is an error of its line. Lines with any other count of fields, such as the 8-number
// quadrilaterals of later ICDAR rounds, are rejected.
Result<std::vector<Detection>> parseScoredDetections(std::string_view text,
                                                     const std::string& name);

// The same files, boxes only: the scores are read (and checked) and dropped.
Result<std::vector<Box>> parseDetections(std::string_view text, const std::string& name);

// The two ground-truth styles parseGroundTruth reads.
enum class GroundTruthStyle {
  kCommas,  // 158, 128, 411, 181, "Footpath"
  kSpaces,  // 158 128 411 181 "Footpath"
};

// One line per word, in order, ending in '\n', the word written between quotes as it is (the
// don't-care flag is not written: "###" carries it). parseGroundTruth reads it back to the same
// words, except a word holding a backslash before a quote, which it reads without the backslash.
std::string formatGroundTruth(const std::vector<WordBox>& words,
                              GroundTruthStyle style = GroundTruthStyle::kCommas);

// The detector's box list: one "left,top,right,bottom\n" line per box, each coordinate multiplied
// by `factor`; nothing is added to the right and bottom bounds and nothing is clipped.
std::string formatBoxList(const BoxList& boxes, int factor);

// A text line as the box lists write it: its box in input-image pixels (inclusive), its score in
// (0, 1] and its words, left to right.
struct InputLine {
  Box box;
  double score = 0.0;
  BoxList words;
};

// One "left,top,right,bottom,score\n" line per text line, in order, the score with six decimals
// ("%.6f").
std::string formatScoredBoxList(const std::vector<InputLine>& lines);

// The box list of the words: one "left,top,right,bottom\n" line per word (with ",score", the
// score of its line, when `scores`), lines in order, each line's words left to right.
std::string formatWordBoxList(const std::vector<InputLine>& lines, bool scores);

}  // namespace scenetext::io
