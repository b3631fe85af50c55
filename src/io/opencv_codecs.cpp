#include "io/opencv_codecs.hpp"

#include <dlfcn.h>

#include <filesystem>

namespace scenetext::io {
namespace {

constexpr const char* kPluginName = "libscenetext_opencv_codecs.so";

std::filesystem::path executableFolder() {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::filesystem::path() : self.parent_path();
}

// The folder of the executable or shared library (a Python module, say) this code was linked into.
std::filesystem::path ownFolder() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<const void*>(&ownFolder), &info) == 0 || !info.dli_fname) return {};
  std::error_code error;
  const std::filesystem::path self = std::filesystem::canonical(info.dli_fname, error);
  return error ? std::filesystem::path() : self.parent_path();
}

// The folders to look in, in order: beside the executable (where the build puts both), beside the
// library that holds this code (a Python module, say), an installation's lib/scenetext seen from
// its bin folder, the configured installation folder (for programs built against an installed
// library), then the build folder, for the test programs that live in its subfolders.
std::vector<std::filesystem::path> pluginCandidates() {
  std::vector<std::filesystem::path> candidates;
  const std::filesystem::path executable = executableFolder();
  const std::filesystem::path installed =
      executable.empty() ? executable : executable / ".." / "lib" / "scenetext";
  for (const std::filesystem::path& folder :
       {executable, ownFolder(), installed, std::filesystem::path(SCENETEXT_PLUGIN_INSTALL_DIR),
        std::filesystem::path(SCENETEXT_PLUGIN_DIR)}) {
    if (!folder.empty()) candidates.push_back(folder / kPluginName);
  }
  return candidates;
}

template <typename Function>
bool lookUp(void* library, const char* name, Function& function) {
  function = reinterpret_cast<Function>(dlsym(library, name));
  return function != nullptr;
}

Result<OpenCvCodecs> loadPlugin() {
  std::string reasons;
  for (const std::filesystem::path& candidate : pluginCandidates()) {
    if (!std::filesystem::exists(candidate)) continue;
    void* library = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
      reasons = dlerror();
      continue;
    }
    OpenCvCodecs codecs;
    if (lookUp(library, "scenetext_opencv_read", codecs.read) &&
        lookUp(library, "scenetext_opencv_decode", codecs.decode) &&
        lookUp(library, "scenetext_opencv_have_writer", codecs.haveWriter) &&
        lookUp(library, "scenetext_opencv_encode", codecs.encode)) {
      return codecs;  // the library stays open for the life of the process
    }
    reasons = candidate.string() + " lacks an entry point";
    dlclose(library);
  }
  if (reasons.empty()) reasons = std::string(kPluginName) + " not found beside the executable";
  return Status::error("cannot load OpenCV's image codecs: " + reasons);
}

}  // namespace

Result<OpenCvCodecs> openCvCodecs() {
  static const Result<OpenCvCodecs> codecs = loadPlugin();
  return codecs;
}

}  // namespace scenetext::io
