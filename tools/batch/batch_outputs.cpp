#include "batch/batch_outputs.hpp"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <map>

#include "common/file_output.hpp"

namespace scenetext::batch {
namespace {

bool isRegularFile(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(path, error);
}

// The line of a .json output: its bytes less the final newline, when they are one line.
std::optional<std::string> singleLine(const std::string& path) {
  Result<std::string> bytes = readWholeFile(path);
  if (!bytes.ok() || bytes->empty() || bytes->back() != '\n') return std::nullopt;
  bytes->pop_back();
  if (bytes->find('\n') != std::string::npos) return std::nullopt;
  return std::move(*bytes);
}

// A report made by this run's settings for this image. Compared as parsed values, so that the
// replacement of bytes that are not UTF-8 in a path is the same on both sides.
bool reportsTheSameRun(const std::string& line, const driver::ImageReport& expected) {
  const nlohmann::json found = nlohmann::json::parse(line, nullptr, /*allow_exceptions=*/false);
  if (!found.is_object() || !found.contains("lines") || !found["lines"].is_array()) return false;
  const nlohmann::json wanted = nlohmann::json::parse(driver::formatJsonReport(expected));
  for (const char* field : {"image", "candidates", "model"}) {
    if (!found.contains(field) || found[field] != wanted[field]) return false;
  }
  return true;
}

}  // namespace

std::vector<std::string> outputClashes(const std::vector<std::string>& images,
                                       const std::string& prefix) {
  std::vector<std::string> clashes(images.size());
  std::map<std::string, size_t> firstWriter;  // output image path -> position of its first image
  for (size_t i = 0; i < images.size(); ++i) {
    const std::string output = driver::outputPaths(prefix, images[i]).image;
    const auto [first, inserted] = firstWriter.emplace(output, i);
    if (!inserted) {
      clashes[i] = "'" + images[i] + "': its outputs '" + output + "' are those of '" +
                   images[first->second] + "', earlier in the list";
    }
  }
  return clashes;
}

std::optional<std::string> finishedImage(const std::string& imagePath,
                                         const driver::OutputPaths& paths,
                                         const driver::ImageReport* expected) {
  if (!isRegularFile(paths.image) || !isRegularFile(paths.boxList)) return std::nullopt;
  std::error_code error;
  if (std::filesystem::equivalent(paths.image, imagePath, error)) return std::nullopt;
  if (expected == nullptr) return std::string();
  std::optional<std::string> line = singleLine(paths.json);
  if (!line || !reportsTheSameRun(*line, *expected)) return std::nullopt;
  return line;
}

Status checkOutputFolder(const std::string& prefix) {
  const size_t slash = prefix.rfind('/');
  if (slash == std::string::npos) return {};  // the current folder
  const std::string folder = slash == 0 ? "/" : prefix.substr(0, slash);
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(folder, error);
  if (std::filesystem::is_directory(status)) return {};
  return Status::error("cannot write under '" + prefix + "': folder '" + folder + "' " +
                       (std::filesystem::exists(status) ? "is not a folder" : "does not exist"));
}

}  // namespace scenetext::batch
