#pragma once

// A whole run of the generator: reads and checks the material, then writes `count` images and
// their ground truth with `jobs` workers. Image n's bytes depend only on the inputs, the seed and
// n, never on the number of workers.

#include <cstdint>
#include <functional>
#include <string>

#include "common/status.hpp"
#include "synth/synth_image.hpp"

namespace scenetext::synth {

struct RunOptions {
  std::string backgrounds;  // list file (.tsv: first column) or directory of photographs
  std::string fonts;        // list file or directory of font files
  std::string words;        // word list, one word per line
  std::string outDir;       // created when missing
  int count = 0;            // images to write, >= 1
  std::uint64_t seed = 1;
  int jobs = 1;  // worker threads, >= 1
  SynthOptions synth;
  // Called after each image is written with the number written so far, from any worker (calls
  // are serialised). May be empty.
  std::function<void(int written)> progress;
};

struct RunSummary {
  int images = 0;
  int words = 0;
};

// Writes img_<n>.jpg and gt_img_<n>.txt for n = 1..count into outDir, each file atomically.
// Before drawing anything, fails with a message naming the culprit when a list is empty or
// unreadable, a background is missing or not an image, a font cannot be loaded or draws no ink,
// or outDir cannot be created or written. A failure during the run stops it; the images already
// written stay.
Result<RunSummary> runSynth(const RunOptions& options);

// The file names of image n and its ground truth.
std::string imageFileName(int n);
std::string groundTruthFileName(int n);

}  // namespace scenetext::synth
