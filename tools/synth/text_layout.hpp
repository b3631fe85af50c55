#pragma once

// The layout of the text of one image: one to six horizontal lines in blocks of one to three
// lines that share a font and size, as on a sign, placed at random where no block overlaps
// another.

#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "common/status.hpp"
#include "synth/random.hpp"
#include "synth/word_render.hpp"

namespace scenetext::synth {

// One word as placed in the image.
struct WordInk {
  std::string text;
  int font = 0;         // index into the font list
  int pixelHeight = 0;  // em height passed to FreeType, pixels
  cv::Mat coverage;     // CV_8UC1 coverage of the word's ink, 0..255
  cv::Point at;         // image position of coverage's top left pixel
};

struct TextBlock {
  std::vector<WordInk> words;  // line by line, left to right
  cv::Rect ink;                // union of the words' coverage rectangles
  cv::Rect panel;              // the sign-like panel behind the text; empty when there is none
  int pixelHeight = 0;
};

struct LayoutOptions {
  int minPixelHeight = 10;  // em heights of the text, pixels
  int maxPixelHeight = 150;
  double panelChance = 0.25;  // share of blocks drawn on a plain panel
};

inline constexpr int kMaxLines = 6;
inline constexpr int kMaxLinesPerBlock = 3;

// Lays out the text of one image inside `safe` (every coverage rectangle and panel lies inside
// it; the rooms of different blocks, a margin around their ink or panel, do not overlap). Blocks
// that find no room are left out, so an image may hold fewer lines than were drawn for it.
// Fails only when a font cannot draw a word.
Result<std::vector<TextBlock>> layoutText(FontCache& fonts, const std::vector<std::string>& words,
                                          cv::Rect safe, const LayoutOptions& options,
                                          Random& random);

}  // namespace scenetext::synth
