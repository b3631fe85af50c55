#pragma once

// Background photographs: decoded once per run, shared read-only by every worker, and cropped at
// a random position and scale for each image.

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "common/status.hpp"
#include "synth/random.hpp"

namespace scenetext::synth {

// One photograph as 8-bit BGR at several scales: levels[0] as decoded, each later level the 2x2
// average of the one before, down to the first whose shorter side is under kMinLevelSide. A crop
// is resized from the smallest level that still holds it at full detail, which keeps each
// resize under a factor of two and cheap.
struct Background {
  std::vector<cv::Mat> levels;
};
inline constexpr int kMinLevelSide = 480;  // the shorter side of the smallest output size

// Decodes the photograph at `path`; fails with the path when it cannot be read or decoded.
Result<Background> loadBackground(const std::string& path);

// Fails naming the first path that is missing or is not in an image format OpenCV can decode
// (judged from the file's signature, without decoding it).
Status checkBackgroundsReadable(const std::vector<std::string>& paths);

// Backgrounds decoded on first use and then kept: decoding every photograph of a large list up
// front would cost seconds that a short run never uses. Safe to share between threads.
class BackgroundCache {
 public:
  explicit BackgroundCache(std::vector<std::string> paths);

  int size() const { return static_cast<int>(paths_.size()); }
  // Background `index` (0 <= index < size()), decoded by the first call that asks for it.
  Result<const Background*> get(int index) const;

 private:
  struct Entry {
    std::once_flag once;
    Background background;
    Status status;
  };
  std::vector<std::string> paths_;
  std::vector<std::unique_ptr<Entry>> entries_;
};

// A crop of `background` of the aspect ratio of `size`, at a random position, covering between
// kMinCropScale and all of the largest such crop, mirrored left to right half of the time, and
// resized to `size`.
inline constexpr double kMinCropScale = 0.35;  // a third of the photograph still looks like a scene
cv::Mat cropBackground(const Background& background, cv::Size size, Random& random);

}  // namespace scenetext::synth
