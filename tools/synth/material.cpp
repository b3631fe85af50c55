#include "synth/material.hpp"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <sstream>

#include "common/file_output.hpp"

namespace scenetext::synth {
namespace {

namespace fs = std::filesystem;

std::string lowerCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool hasExtension(const fs::path& path, const std::vector<std::string>& extensions) {
  const std::string name = lowerCase(path.filename().string());
  return std::any_of(extensions.begin(), extensions.end(), [&](const std::string& ext) {
    const std::string e = lowerCase(ext);
    return name.size() > e.size() && name.compare(name.size() - e.size(), e.size(), e) == 0;
  });
}

Result<std::vector<std::string>> listDirectory(const fs::path& dir,
                                               const std::vector<std::string>& extensions) {
  std::vector<std::string> paths;
  std::error_code error;
  for (fs::recursive_directory_iterator it(dir, error), end; !error && it != end;
       it.increment(error)) {
    if (it->is_regular_file(error) && hasExtension(it->path(), extensions)) {
      paths.push_back(it->path().string());
    }
  }
  if (error) return Status::error(dir.string() + ": cannot list: " + error.message());
  // Directory order is the file system's; sorting makes the run independent of it.
  std::sort(paths.begin(), paths.end());
  return paths;
}

std::string trimmed(const std::string& line) {
  const auto first = line.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  return line.substr(first, line.find_last_not_of(" \t\r\n") - first + 1);
}

}  // namespace

Result<std::vector<std::string>> readPathList(const std::string& listOrDir,
                                              const std::vector<std::string>& extensions) {
  std::error_code error;
  if (fs::is_directory(listOrDir, error)) return listDirectory(listOrDir, extensions);

  Result<std::string> text = readWholeFile(listOrDir);
  if (!text) return text.status();
  const bool tsv = lowerCase(fs::path(listOrDir).extension().string()) == ".tsv";
  const fs::path base = fs::path(listOrDir).parent_path();

  std::vector<std::string> paths;
  std::istringstream lines(*text);
  std::string line;
  bool header = tsv;
  while (std::getline(lines, line)) {
    if (header) {
      header = false;
      continue;
    }
    if (tsv) line = line.substr(0, line.find('\t'));
    line = trimmed(line);
    if (line.empty() || line[0] == '#') continue;
    const fs::path path(line);
    paths.push_back(path.is_absolute() ? line : (base / path).string());
  }
  return paths;
}

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
