#include "synth/material.hpp"

#include <algorithm>
#include <sstream>

#include "common/file_output.hpp"

namespace scenetext::synth {
namespace {

std::string trimmed(const std::string& line) {
  const auto first = line.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  return line.substr(first, line.find_last_not_of(" \t\r\n") - first + 1);
}

}  // namespace

Result<std::vector<std::string>> readWordList(const std::string& path) {
  Result<std::string> text = readWholeFile(path);
  if (!text) return text.status();
  std::vector<std::string> words;
  std::istringstream lines(*text);
  std::string line;
  while (std::getline(lines, line)) {
    line = trimmed(line);
    const int length = static_cast<int>(line.size());
    if (length < kMinWordLength || length > kMaxWordLength) continue;
    if (std::all_of(line.begin(), line.end(), [](char c) {
          return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        })) {
      words.push_back(line);
    }
  }
  if (words.empty()) {
    return Status::error(path + ": no usable word (2 to 14 ASCII letters or digits) in the list");
  }
  return words;
}

}  // namespace scenetext::synth
