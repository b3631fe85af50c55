#pragma once

// The run's two results: the annotated image and the box list.

#include <opencv2/core.hpp>

#include <string>
#include <vector>

#include "common/box_list.hpp"
#include "common/status.hpp"
#include "io/box_files.hpp"

namespace scenetext::driver {

// Tints every pixel of a copy of `working` where `boxMask` is non-zero (3 channels: blue and green
// 60 % of the way to 255, red 60 % of the way to 0; 1 channel: 255), then resizes it bilinearly to
// the size and type of `input`. `boxMask` is 8-bit single channel of the working image's size.
cv::Mat renderResultImage(const cv::Mat& working, const cv::Mat& input, const cv::Mat& boxMask);

// The box list, "left,top,right,bottom\n" per box (io/box_files.hpp).
using io::formatBoxList;

// A final text line in input-image coordinates (inclusive), its score in (0, 1] and its words,
// left to right.
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

// Whether `path` names an image the run can write: it has an extension and OpenCV has an encoder
// for it. Checked before the detection, so that a run that cannot save its result stops at once.
// An encoder may still refuse a particular image (a .pgm holds no colour); encodeImageFor says so.
Status checkImageWriter(const std::string& path);

// Encodes `image` by the extension of `path` (".jpg", ".png", ...), the way the run saves it.
Result<std::string> encodeImageFor(const std::string& path, const cv::Mat& image);

}  // namespace scenetext::driver
