#include "io/path_list.hpp"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/file_output.hpp"

namespace scenetext::io {
namespace {

namespace fs = std::filesystem;

std::string lowerCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool isBlank(std::string_view line) {
  return line.find_first_not_of(" \t\r") == std::string_view::npos;
}

std::string trimmed(const std::string& line) {
  const auto first = line.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  return line.substr(first, line.find_last_not_of(" \t\r\n") - first + 1);
}

std::vector<std::string> parseVerbatim(std::string_view text) {
  std::vector<std::string> paths;
  while (!text.empty()) {
    const size_t newline = text.find('\n');
    std::string_view line = text.substr(0, newline);
    text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
    if (isBlank(line)) continue;
    if (line.back() == '\r') line.remove_suffix(1);
    paths.emplace_back(line);
  }
  return paths;
}

std::vector<std::string> parseAnnotated(std::string_view text, const std::string& listPath) {
  const bool tsv = lowerCase(fs::path(listPath).extension().string()) == ".tsv";
  const fs::path base = fs::path(listPath).parent_path();
  std::vector<std::string> paths;
  std::istringstream lines{std::string(text)};
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

}  // namespace

std::vector<std::string> parsePathList(std::string_view text, PathListStyle style,
                                       const std::string& listPath) {
  return style == PathListStyle::kVerbatim ? parseVerbatim(text) : parseAnnotated(text, listPath);
}

Result<std::vector<std::string>> readPathList(const std::string& listPath,
                                              std::istream& standardInput) {
  const std::string what = "cannot read list '" + listPath + "'";
  std::ostringstream text;
  if (listPath == "-") {
    text << standardInput.rdbuf();
    if (standardInput.bad()) return Status::error(what + ": read error");
    return parseVerbatim(text.str());
  }
  // A folder opens like a file and then reads as empty: it would pass for an empty list.
  std::error_code error;
  if (fs::is_directory(listPath, error)) return Status::error(what + ": is a folder");
  std::ifstream in(listPath, std::ios::binary);
  if (!in) return Status::error(what + ": " + std::strerror(errno));
  text << in.rdbuf();
  if (in.bad()) return Status::error(what + ": read error");
  return parseVerbatim(text.str());
}

Result<std::vector<std::string>> readPathListOrFolder(const std::string& listOrDir,
                                                      const std::vector<std::string>& extensions) {
  std::error_code error;
  if (fs::is_directory(listOrDir, error)) return listDirectory(listOrDir, extensions);
  Result<std::string> text = readWholeFile(listOrDir);
  if (!text) return text.status();
  return parseAnnotated(*text, listOrDir);
}

}  // namespace scenetext::io
