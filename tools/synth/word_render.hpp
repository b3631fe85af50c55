#pragma once

// Words drawn alone into coverage masks with OpenCV's FreeType module, and the ink bounds read
// back from those masks. A face's reported ascent and baseline vary from font to font, so every
// box is measured on the rendered pixels, never taken from the metrics.

#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/freetype.hpp>

#include "common/status.hpp"

namespace scenetext::synth {

// A pixel counts as ink of its word from a quarter coverage up: fainter anti-aliasing fringes are
// all but invisible once the image is compressed, and a box around them would sit loose by a pixel.
inline constexpr int kInkCoverage = 64;

// The smallest rectangle holding every pixel of `coverage` (CV_8UC1) at or above kInkCoverage;
// an empty rectangle when there is none.
cv::Rect inkBounds(const cv::Mat& coverage);

// One word drawn alone, white on black.
struct WordMask {
  cv::Mat coverage;  // CV_8UC1, 0 (none) to 255 (full), cropped to its nonzero pixels
  int baseline = 0;  // row of the baseline within `coverage` (may lie outside it)
};

// Loaded faces, one FreeType instance per font file. FreeType state is not thread-safe: every
// worker keeps a cache of its own. Faces are loaded on first use.
class FontCache {
 public:
  explicit FontCache(std::vector<std::string> paths);

  int size() const { return static_cast<int>(paths_.size()); }
  const std::string& path(int index) const { return paths_[index]; }

  // Draws `text` (ASCII) in font `index` at a pixel size of `pixelHeight` (the em height passed
  // to FreeType, > 0). Fails when the font cannot be loaded or draws no ink for the text.
  Result<WordMask> render(int index, const std::string& text, int pixelHeight);

 private:
  Result<cv::freetype::FreeType2*> face(int index);

  std::vector<std::string> paths_;
  std::vector<cv::Ptr<cv::freetype::FreeType2>> faces_;
};

// Loads the font at `path` and draws a probe text with it; fails naming the path when the file
// cannot be loaded as a face or draws no ink for letters and digits.
Status checkFont(const std::string& path);

}  // namespace scenetext::synth
