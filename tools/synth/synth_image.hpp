#pragma once

// One synthetic photograph of scene text and its ground truth: a crop of a background photograph,
// one to six lines of words drawn over it, photographic degradations, and the box of every word
// measured on its rendered ink.

#include <cstdint>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "common/status.hpp"
#include "io/box_files.hpp"
#include "synth/background.hpp"
#include "synth/text_layout.hpp"
#include "synth/text_paint.hpp"
#include "synth/word_render.hpp"

namespace scenetext::synth {

struct SynthOptions {
  cv::Size minSize{640, 480};    // output size, pixels; each image's size lies between the two
  cv::Size maxSize{1600, 1200};  // on the line from minSize to maxSize
  LayoutOptions layout;
  PaintOptions paint;
  double edgeShare = 0.02;      // share of each side kept free of text
  double rotationChance = 0.3;  // probability of each degradation
  double maxRotationDegrees = 3.0;
  double blurChance = 0.3;
  double noiseChance = 0.4;
  double toneChance = 0.5;
  int minJpegQuality = 40;  // JPEG quality, uniform between the two
  int maxJpegQuality = 95;
};

// A word's box (inclusive pixel coordinates, inside the image) and text, as its ground truth
// holds it (never a don't-care word), and how it was drawn.
struct WordBox : io::WordBox {
  int font = 0;  // the word's font (index into the font list) and em height, for checks
  int pixelHeight = 0;
};

struct SynthImage {
  cv::Mat image;  // 8-bit BGR, before JPEG compression
  std::vector<WordBox> words;
  int jpegQuality = 0;
};

// The material one worker draws from. Backgrounds are shared by all workers, fonts are not.
struct Material {
  const BackgroundCache* backgrounds = nullptr;     // at least one
  FontCache* fonts = nullptr;                       // at least one
  const std::vector<std::string>* words = nullptr;  // at least one
};

// Image `index` of a run seeded with `seed`: every random choice comes from a generator seeded
// by the two alone. Fails when a background cannot be decoded or a font cannot draw.
Result<SynthImage> generateImage(const Material& material, const SynthOptions& options,
                                 std::uint64_t seed, std::uint64_t index);

// The boxes of every word whose ink (coverage at or above kInkCoverage) is inside `imageSize`,
// clipped to it, in the words' order; words without ink in the image are left out.
std::vector<WordBox> measureBoxes(const std::vector<WordInk>& words, cv::Size imageSize);

// Ground truth in the ICDAR 2013 style: one line `left, top, right, bottom, "word"` per word.
std::string formatGroundTruth(const std::vector<WordBox>& words);

// The image as baseline JPEG at `quality` (1..100), with no other option left to the encoder's
// defaults that could change the bytes.
std::string encodeJpeg(const cv::Mat& image, int quality);

}  // namespace scenetext::synth
