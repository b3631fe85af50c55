#pragma once

// Colours chosen against the background they sit on, and the painting of coverage masks into an
// 8-bit BGR image: fills, outlines, drop shadows and plain sign panels.

#include <opencv2/core.hpp>

#include "synth/random.hpp"
#include "synth/text_layout.hpp"

namespace scenetext::synth {

// Text and its background differ in luminance (0..255) by at least this much: about a third of
// the range, which keeps text readable at a glance even on a busy photograph.
inline constexpr double kMinContrast = 80.0;

// Luminance of a BGR colour, 0..255, with the Rec. 601 weights of JPEG's Y channel.
double luminance(const cv::Vec3b& bgr);

// Mean and standard deviation of the luminance of `image(area)` (8-bit BGR, area non-empty and
// inside the image).
struct Tone {
  double mean = 0.0;
  double spread = 0.0;
};
Tone regionTone(const cv::Mat& image, cv::Rect area);

// A colour, muted or saturated at random, whose luminance differs from `backgroundLuminance` by
// at least `minContrast` (at most 127): darker or lighter, in proportion to the room on each side.
cv::Vec3b contrastingColour(double backgroundLuminance, double minContrast, Random& random);

// Mixes `colour` into `image` (8-bit BGR) through `coverage` (CV_8UC1) placed with its top left
// at `at`, weighted by `opacity` (0..255); the parts outside the image are ignored.
void blendCoverage(cv::Mat& image, const cv::Mat& coverage, cv::Point at, const cv::Vec3b& colour,
                   int opacity);

// `coverage` grown by `radius` pixels on every side (a disc-shaped dilation), in a mask larger by
// `radius` on each side: the ink of an outlined word.
cv::Mat grownCoverage(const cv::Mat& coverage, int radius);

struct PaintOptions {
  double outlineChance = 0.15;  // share of blocks whose letters get an outline
  double shadowChance = 0.15;   // share of the others that cast a drop shadow
};

// Paints `block` into `image` (8-bit BGR; the block's panel and words inside it): the panel if
// there is one, then drop shadows, outlines and the letters, in colours that keep kMinContrast
// against the panel or the photograph beneath. Each word's coverage and position become those of
// its visible ink, letters and outline; shadows are not counted as ink.
void paintBlock(cv::Mat& image, TextBlock& block, const PaintOptions& options, Random& random);

}  // namespace scenetext::synth
