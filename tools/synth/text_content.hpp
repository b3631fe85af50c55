#pragma once

// What the lines of a synthetic image say: words of the word list in the cases signs use, with
// numbers and short shop-sign phrases mixed in.

#include <string>
#include <vector>

#include "synth/random.hpp"

namespace scenetext::synth {

inline constexpr int kMaxWordsPerLine = 5;

// The words of one line (1 to kMaxWordsPerLine, each non-empty, ASCII letters and digits only)
// drawn from `words` (non-empty). A line is in one case throughout, as on a sign: as listed,
// Capitalised or UPPER.
std::vector<std::string> chooseLineWords(const std::vector<std::string>& words, Random& random);

}  // namespace scenetext::synth
