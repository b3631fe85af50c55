#pragma once

// Colours chosen against the background they sit on, and the painting of coverage masks into an
// 8-bit BGR image: fills, outlines, drop shadows and plain sign panels.

#include <opencv2/core.hpp>

#include "synth/random.hpp"
#include "synth/text_layout.hpp"

namespace scenetext::synth {

// Text and the background beneath it differ in luminance (0..255) by at least this much: about a
// third of the range, which keeps text readable at a glance.
inline constexpr double kMinContrast = 80.0;

// Luminance of a BGR colour, 0..255, with the Rec. 601 weights of JPEG's Y channel.
double luminance(const cv::Vec3b& bgr);

// The luminance of a background region: its mean and the levels that a tenth of its pixels lie
// below (dark) and above (light). Text that must stand out from all but the extreme tenths of
// a busy photograph has to clear these, not just the mean.
struct Tone {
  double mean = 0.0;
  double dark = 0.0;
  double light = 0.0;
};
// Of `image(area)` (8-bit BGR, area non-empty and inside the image).
Tone regionTone(const cv::Mat& image, cv::Rect area);
// Of a plain colour.
Tone flatTone(double luminance);

// Whether some luminance lies `minContrast` below tone.dark or above tone.light.
bool hasContrastRoom(const Tone& tone, double minContrast);

// A colour, muted or saturated at random, whose luminance is at least `minContrast` (at most 127)
// below tone.dark or above tone.light, the side drawn in proportion to the room on each. Without
// room on either side, the colour contrasts with tone.mean alone.
cv::Vec3b contrastingColour(const Tone& tone, double minContrast, Random& random);

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
