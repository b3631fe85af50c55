#pragma once

// scenetext: detection of text lines in photographs of natural scenes.
//
// Conventions, for every call below:
// - Images are OpenCV matrices of 8-bit pixels as OpenCV holds them: 3 channels in blue, green, red
//   order; 1 (grey) and 4 channels (blue, green, red, alpha) are converted to 3 exactly as
//   cv::imread(path, cv::IMREAD_COLOR) converts a grey or alpha file (grey repeated, alpha
//   dropped).
// - Coordinates are inclusive pixels of the image given to detect(): a line covers columns
//   left..right and rows top..bottom, so a one-pixel line has left == right and top == bottom.
//   Large images are processed at half or quarter size; the boxes are scaled back, so they may
//   reach up to three columns past the right edge (the detector pads the width to a multiple of 4)
//   and are never clipped.
// - Thread safety: a Detector is immutable once loaded. detect() may run on many threads at once on
//   one Detector; copies of a Detector share its model.
// - Errors: every failure is a scenetext::Error whose message names the file or the problem, for
//   example "cannot read model 'm.txt': No such file or directory". OpenCV's own exceptions
//   (cv::Exception) can still escape when OpenCV fails (out of memory).
// - Determinism: the same model and pixels give the same lines and scores, bit for bit, on one
//   machine, whatever the number of threads.
//
// Link with the CMake target scenetext::scenetext (find_package(scenetext CONFIG REQUIRED)) or with
// pkg-config's scenetext.

#include <opencv2/core.hpp>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace scenetext {

// Where the candidate text lines that the model judges come from. kExact is the detector's own
// candidate stage; kExtended also looks at half- and quarter-size edges, letters with holes and
// wider letter spacing, and finds more text (with a model trained for it).
enum class Candidates { kExact, kExtended };

// One word of a line: inclusive bounds, like the line's.
struct WordBox {
  int left = 0;
  int top = 0;
  int right = 0;   // inclusive
  int bottom = 0;  // inclusive
};

// One detected line of text.
struct TextLine {
  int left = 0;
  int top = 0;
  int right = 0;   // inclusive
  int bottom = 0;  // inclusive
  // The model's confidence, in [0.5, 1]: from how far the stage sums of the candidate rectangles
  // that make up the line clear the stage thresholds (0.5: a single rectangle that passed a stage
  // exactly at its threshold; docs/formats.md). Raising a threshold on it trades recall for
  // precision. Rounded to six decimals.
  double score = 0.0;
  // The words of the line, left to right, each inside the line and fitted to its letters: the line
  // is cut where the gap between letters is clearly wider than the letter spacing. A line of one
  // word has one; never empty. The boxes `scenetext --granularity word` writes.
  std::vector<WordBox> words;
};

class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class Detector {
 public:
  // Reads a stump-cascade model file. Throws Error when the file cannot be read or is malformed
  // (the message names the file and, for a malformed one, the line).
  static Detector load(const std::string& modelPath, Candidates candidates = Candidates::kExact);

  // The text lines of `image`, in the order of their top rows (then left to right): exactly the
  // boxes that the scenetext command writes for the same decoded photo. `image` must be 8-bit with
  // 1, 3 or 4 channels and at most 200 million pixels; anything else (empty, another depth or
  // channel count, too large) throws Error. The image is not changed.
  std::vector<TextLine> detect(const cv::Mat& image) const;

  Candidates candidates() const;
  const std::string& modelPath() const;

 private:
  struct Model;
  explicit Detector(std::shared_ptr<const Model> model);
  std::shared_ptr<const Model> model_;
};

// The image file at `path` decoded exactly as the scenetext command decodes it: 8-bit BGR, the
// pixels as stored (no EXIF rotation), at most 200 million pixels. Throws Error naming the path
// and the problem ("cannot read image 'a.jpg': No such file or directory").
cv::Mat readImage(const std::string& path);

}  // namespace scenetext
