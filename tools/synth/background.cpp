#include "synth/background.hpp"

#include <algorithm>
#include <cmath>
#include <fstream>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace scenetext::synth {

Result<Background> loadBackground(const std::string& path) {
  cv::Mat image = cv::imread(path, cv::IMREAD_COLOR);
  if (image.empty()) return Status::error(path + ": cannot read or decode the background image");
  Background background;
  background.levels.push_back(image);
  while (std::min(image.cols, image.rows) >= 2 * kMinLevelSide) {
    cv::Mat half;
    // Halving exactly makes INTER_AREA a plain 2x2 average.
    cv::resize(image, half, cv::Size(image.cols / 2, image.rows / 2), 0, 0, cv::INTER_AREA);
    background.levels.push_back(half);
    image = half;
  }
  return background;
}

Status checkBackgroundsReadable(const std::vector<std::string>& paths) {
  for (const std::string& path : paths) {
    if (!std::ifstream(path, std::ios::binary)) {
      return Status::error(path + ": cannot open the background image");
    }
    if (!cv::haveImageReader(path)) {
      return Status::error(path + ": not an image format that can be decoded");
    }
  }
  return Status();
}

BackgroundCache::BackgroundCache(std::vector<std::string> paths) : paths_(std::move(paths)) {
  for (std::size_t i = 0; i < paths_.size(); ++i) entries_.push_back(std::make_unique<Entry>());
}

Result<const Background*> BackgroundCache::get(int index) const {
  Entry& entry = *entries_[index];
  std::call_once(entry.once, [&] {
    Result<Background> loaded = loadBackground(paths_[index]);
    if (loaded) {
      entry.background = std::move(*loaded);
    } else {
      entry.status = loaded.status();
    }
  });
  if (!entry.status) return entry.status;
  return &entry.background;
}

cv::Mat cropBackground(const Background& background, cv::Size size, Random& random) {
  const cv::Mat& full = background.levels[0];
  const double aspect = static_cast<double>(size.width) / size.height;
  // The widest crop of the output's aspect ratio that fits the photograph, then a share of it.
  const double widest = std::min<double>(full.cols, full.rows * aspect);
  const double cropWidth = widest * random.uniform(kMinCropScale, 1.0);

  std::size_t level = 0;
  while (level + 1 < background.levels.size() &&
         cropWidth / static_cast<double>(1 << (level + 1)) >= size.width) {
    ++level;
  }
  const cv::Mat& source = background.levels[level];
  const double reduce = static_cast<double>(1 << level);
  const int width = std::clamp(static_cast<int>(std::lround(cropWidth / reduce)), 1, source.cols);
  const int height =
      std::clamp(static_cast<int>(std::lround(cropWidth / aspect / reduce)), 1, source.rows);
  const int x = random.uniformInt(0, source.cols - width);
  const int y = random.uniformInt(0, source.rows - height);

  cv::Mat crop;
  // Bilinear is enough: the chosen level leaves at most a factor of two to shrink.
  cv::resize(source(cv::Rect(x, y, width, height)), crop, size, 0, 0, cv::INTER_LINEAR);
  if (random.chance(0.5)) cv::flip(crop, crop, 1);
  return crop;
}

}  // namespace scenetext::synth
