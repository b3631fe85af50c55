#pragma once

// Helpers for tests that run the built executables and look at what they leave behind.

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace scenetext::testing {

struct CommandResult {
  int exitCode = -1;  // -1 when the process did not exit normally (a crash)
  std::string out;
  std::string err;
};

inline std::string slurp(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

inline std::string shellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted.append("'\\''");
    } else {
      quoted.push_back(c);
    }
  }
  quoted.push_back('\'');
  return quoted;
}

// Runs `program` with `arguments` (no shell interpretation of them), capturing both streams.
inline CommandResult runCommand(const std::string& program,
                                const std::vector<std::string>& arguments,
                                const std::filesystem::path& scratch) {
  std::string command = shellQuote(program);
  for (const std::string& argument : arguments) {
    command.push_back(' ');
    command.append(shellQuote(argument));
  }
  const std::filesystem::path out = scratch / "command.stdout";
  const std::filesystem::path err = scratch / "command.stderr";
  command.append(" </dev/null >").append(shellQuote(out.string()));
  command.append(" 2>").append(shellQuote(err.string()));
  const int status = std::system(command.c_str());
  CommandResult result;
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.out = slurp(out);
  result.err = slurp(err);
  std::filesystem::remove(out);
  std::filesystem::remove(err);
  return result;
}

// A fresh, empty folder for one test, removed by the destructor.
class ScratchFolder {
 public:
  explicit ScratchFolder(const std::string& name)
      : path_(std::filesystem::temp_directory_path() /
              ("scenetext-" + name + "-" + std::to_string(::getpid()))) {
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~ScratchFolder() { std::filesystem::remove_all(path_); }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

  // Every entry below the folder, relative paths, sorted.
  std::vector<std::string> listing() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(path_)) {
      names.push_back(std::filesystem::relative(entry.path(), path_).string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  void write(const std::string& name, const std::string& bytes) const {
    std::ofstream(path_ / name, std::ios::binary) << bytes;
  }

 private:
  std::filesystem::path path_;
};

}  // namespace scenetext::testing
