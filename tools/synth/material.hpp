#pragma once

// The word list of the generator named on its command line (its lists of background photographs
// and of font files are path lists, io/path_list.hpp).

#include <string>
#include <vector>

#include "common/status.hpp"

namespace scenetext::synth {

// The words of a word list (one per line) that every listed font can draw: made only of the
// ASCII letters and digits, kMinWordLength to kMaxWordLength characters. Possessives, accented
// words and the like are left out. Fails when the file cannot be read or no word is left.
inline constexpr int kMinWordLength = 2;   // single letters say little as training words
inline constexpr int kMaxWordLength = 14;  // longer dictionary words are rare on signs
Result<std::vector<std::string>> readWordList(const std::string& path);

}  // namespace scenetext::synth
