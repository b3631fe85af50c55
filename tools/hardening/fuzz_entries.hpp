#pragma once

// The fuzz targets' entry functions. Each takes any bytes and must return normally; an input that
// breaks one of the invariants checked here aborts the process with a line on stderr, so that the
// fuzzer and the regression test over fuzz/regressions/ see the same failure. They are compiled
// into the normal build too: the regression test feeds them every kept input.
//
// Refusals are normal results: a model the loader rejects, a box file with a bad line, bytes that
// are no image. What must never happen is a crash, a sanitizer report, an escaping exception
// (except where noted), a hang, or an invariant below broken.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace scenetext::hardening {

// The bytes as a model file. A model that loads must format and load back record for record (bit
// for bit; a NaN keeps its sign), and every evaluation of it must answer +1 or -1.
void fuzzModelFile(std::string_view bytes);

// The bytes up to the first NUL as a ground-truth file, the rest as a detection file. When both
// parse, both protocols score them: one outcome per box, counts no larger than the lists, score
// sums within the counts, precision, recall and F in 0..1.
void fuzzBoxFiles(std::string_view bytes);

// Images above this many pixels are not decoded by the image targets, so that one input stays
// fast.
inline constexpr int64_t kFuzzImagePixels = int64_t{1} << 16;

// The bytes as an image file, as far as the decoder: the size the header declares (sizes above
// kFuzzImagePixels are refused there), then the decoding (cv::Exception from the decoder is a
// refusal; Radiance HDR files are not decoded, as OpenCV's decoder leaks a descriptor on every
// damaged one). A size the header declares must be the decoded size. Thousands of times faster
// than fuzzImageRun, so the header reader gets most of the fuzzing.
void fuzzImageHeader(std::string_view bytes);

// The bytes as an image file, decoded as fuzzImageHeader does, then the whole run with a small
// fixed model in both candidate modes (exact and extended): preparation, edges, regions, the
// result image and the box list. An exception from
// the run itself is a finding. The masks must have the working image's size, every box must lie
// inside the working image, the result image must have the input's size.
void fuzzImageRun(std::string_view bytes);

// The targets by name ("model_file", "box_files", "image_header", "image_run"): the fuzzers, their
// seeds under fuzz/corpus/NAME and their kept inputs under fuzz/regressions/NAME share the name
// (the image_header fuzzer also starts from image_run's seeds).
struct FuzzTarget {
  std::string name;
  std::function<void(std::string_view)> entry;
};
const std::vector<FuzzTarget>& fuzzTargets();

}  // namespace scenetext::hardening
