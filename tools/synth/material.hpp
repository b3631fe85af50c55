#pragma once

// The inputs of the generator named on its command line: lists of background photographs and of
// font files, and a word list.

#include <string>
#include <vector>

#include "common/status.hpp"

namespace scenetext::synth {

// The files named by `listOrDir`:
// - a directory: every regular file below it (recursively) whose name ends with one of
//   `extensions` (compared without regard to case, e.g. ".ttf"), sorted by path;
// - a list file: one path per line, blank lines and lines starting with '#' skipped, relative
//   paths taken from the list's own folder; a ".tsv" list gives the first tab-separated column
//   of every line after its header line.
// Fails when `listOrDir` cannot be read. An empty result is not an error here.
Result<std::vector<std::string>> readPathList(const std::string& listOrDir,
                                              const std::vector<std::string>& extensions);

// The words of a word list (one per line) that every listed font can draw: made only of the
// ASCII letters and digits, kMinWordLength to kMaxWordLength characters. Possessives, accented
// words and the like are left out. Fails when the file cannot be read or no word is left.
inline constexpr int kMinWordLength = 2;   // single letters say little as training words
inline constexpr int kMaxWordLength = 14;  // longer dictionary words are rare on signs
Result<std::vector<std::string>> readWordList(const std::string& path);

}  // namespace scenetext::synth
