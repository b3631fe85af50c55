#include "synth/text_content.hpp"

#include <array>
#include <sstream>

namespace scenetext::synth {
namespace {

// Phrases of shop fronts, notices and labels: the short, mostly capitalised texts that scene
// photographs are full of and a dictionary rarely strings together.
constexpr std::array<const char*, 48> kShopPhrases = {
    "OPEN",         "CLOSED",     "SALE",       "EXIT",          "NO PARKING",  "PUSH",
    "PULL",         "CAFE",       "BAKERY",     "FRESH BREAD",   "FOR SALE",    "TO LET",
    "STOP",         "KEEP CLEAR", "FIRE EXIT",  "OPEN 24 HOURS", "CAR PARK",    "TAXI",
    "BUS STOP",     "ONE WAY",    "WELCOME",    "Coffee Shop",   "PIZZA",       "Books",
    "NO ENTRY",     "STAFF ONLY", "TOILETS",    "Reception",     "INFORMATION", "TICKETS",
    "ENTRANCE",     "WAY OUT",    "PRIVATE",    "DANGER",        "SLOW",        "SCHOOL",
    "Station Road", "MARKET",     "BANK",       "POST OFFICE",   "Library",     "Fish and Chips",
    "Hair Salon",   "Open Daily", "Since 1987", "HOTEL",         "PHARMACY",    "Pub and Grill"};

enum class LetterCase { kAsListed, kCapitalised, kUpper };

std::string inCase(std::string word, LetterCase letterCase) {
  for (std::size_t i = 0; i < word.size(); ++i) {
    char& c = word[i];
    const bool upper =
        letterCase == LetterCase::kUpper || (letterCase == LetterCase::kCapitalised && i == 0);
    if (upper && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return word;
}

// Numbers as they appear on signs: house numbers, prices, years, phone-like groups.
std::string number(Random& random) {
  switch (random.uniformInt(0, 3)) {
    case 0:
      return std::to_string(random.uniformInt(1, 99));
    case 1:
      return std::to_string(random.uniformInt(100, 999));
    case 2:
      return std::to_string(random.uniformInt(1900, 2029));
    default:
      return std::to_string(random.uniformInt(10000, 99999));
  }
}

std::vector<std::string> splitWords(const std::string& phrase) {
  std::vector<std::string> words;
  std::istringstream in(phrase);
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

}  // namespace

std::vector<std::string> chooseLineWords(const std::vector<std::string>& words, Random& random) {
  if (random.chance(0.2)) {
    return splitWords(kShopPhrases[random.uniformInt(0, kShopPhrases.size() - 1)]);
  }
  // Short lines are the rule on signs; five words are a notice.
  const int count = 1 + random.weighted({0.35, 0.3, 0.17, 0.1, 0.08});
  const auto letterCase = static_cast<LetterCase>(random.weighted({0.45, 0.3, 0.25}));
  std::vector<std::string> line;
  for (int i = 0; i < count; ++i) {
    if (random.chance(0.12)) {
      line.push_back(number(random));
    } else {
      const auto& word = words[random.uniformInt(0, static_cast<int>(words.size()) - 1)];
      line.push_back(inCase(word, letterCase));
    }
  }
  return line;
}

}  // namespace scenetext::synth
