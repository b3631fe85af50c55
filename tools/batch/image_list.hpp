#pragma once

// Which images a batch detects, and in what order: the sorted image files of a folder or the
// paths of a list (io/path_list.hpp), then the share of them that one of N cooperating runs takes.

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "common/status.hpp"

namespace scenetext::batch {

// True for the extensions the batch picks from a folder: jpg, jpeg, png, bmp, tif, tiff, in any
// case.
bool isImageName(const std::filesystem::path& path);

// The regular files of `folder` (not below it) with an image name, as "folder/name", sorted by
// their bytes. Fails with "cannot read folder 'PATH': why".
Result<std::vector<std::string>> listImages(const std::string& folder);

// Run `number` of `count` (K/N on the command line, 1 <= K <= N): it takes the images whose
// 0-based position i in the input order has i mod N = K - 1, so the N runs take every image once.
struct Shard {
  size_t number = 1;
  size_t count = 1;
};

// "K/N" with K and N decimal integers, 1 <= K <= N. Fails with the reason, e.g.
// "shard '4/3': K must lie in 1..N".
Result<Shard> parseShard(std::string_view text);

bool inShard(size_t position, const Shard& shard);

}  // namespace scenetext::batch
