#pragma once

// Output files appear whole or not at all: each is written to a temporary name in its own folder
// and renamed into place, so an interrupted or failed run never leaves a half-written file.

#include <string>
#include <vector>

#include "common/status.hpp"

namespace scenetext {

struct FileContent {
  std::string path;
  std::string bytes;
};

// Writes every file, or none: when any temporary cannot be written, all temporaries are removed
// and no target is touched. The message names the path that failed and the system's reason.
Status writeFilesAtomically(const std::vector<FileContent>& files);

inline Status writeFileAtomically(const std::string& path, std::string bytes) {
  return writeFilesAtomically({FileContent{path, std::move(bytes)}});
}

// The bytes of a whole file, or a Status naming the path and the reason it could not be read.
Result<std::string> readWholeFile(const std::string& path);

}  // namespace scenetext
