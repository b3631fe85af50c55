#include "batch/image_list.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <optional>

namespace scenetext::batch {
namespace {

// A decimal count without sign, spaces or anything after it; nullopt otherwise.
std::optional<size_t> parseCount(std::string_view text) {
  size_t value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || stop != end) return std::nullopt;
  return value;
}

}  // namespace

bool isImageName(const std::filesystem::path& path) {
  std::string extension = path.extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return std::tolower(c); });
  for (const char* known : {".jpg", ".jpeg", ".png", ".bmp", ".tif", ".tiff"}) {
    if (extension == known) return true;
  }
  return false;
}

Result<std::vector<std::string>> listImages(const std::string& folder) {
  std::error_code error;
  std::filesystem::directory_iterator entries(folder, error);
  if (error) return Status::error("cannot read folder '" + folder + "': " + error.message());
  std::vector<std::string> images;
  for (const auto& entry : entries) {
    if (entry.is_regular_file(error) && isImageName(entry.path())) {
      images.push_back(entry.path().string());
    }
  }
  std::sort(images.begin(), images.end());
  return images;
}

Result<Shard> parseShard(std::string_view text) {
  const std::string what = "shard '" + std::string(text) + "': ";
  const size_t slash = text.find('/');
  if (slash == std::string_view::npos) return Status::error(what + "expected K/N, e.g. 2/8");
  const std::optional<size_t> number = parseCount(text.substr(0, slash));
  const std::optional<size_t> count = parseCount(text.substr(slash + 1));
  if (!number || !count) return Status::error(what + "expected K/N with whole numbers, e.g. 2/8");
  if (*count == 0) return Status::error(what + "N must be at least 1");
  if (*number < 1 || *number > *count) return Status::error(what + "K must lie in 1..N");
  return Shard{*number, *count};
}

bool inShard(size_t position, const Shard& shard) {
  return position % shard.count == shard.number - 1;
}

}  // namespace scenetext::batch
