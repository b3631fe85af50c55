#include "common/file_output.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

namespace scenetext {
namespace {

std::string describeErrno(const std::string& path, int error) {
  return "cannot write '" + path + "': " + std::strerror(error);
}

// The umask can only be read by setting it, which is not thread-safe: read it once, before any
// worker thread can be writing.
mode_t processUmask() {
  static const mode_t mask = [] {
    mode_t current = ::umask(0);
    ::umask(current);
    return current;
  }();
  return mask;
}

// Creates a unique temporary beside `path` and fills it; returns its name through `tempPath`.
Status writeTemporary(const FileContent& file, std::string& tempPath) {
  std::string pattern = file.path + ".tmp-XXXXXX";
  int fd = ::mkstemp(pattern.data());
  if (fd < 0) return Status::error(describeErrno(file.path, errno));
  tempPath = pattern;
  const char* data = file.bytes.data();
  size_t left = file.bytes.size();
  while (left > 0) {
    ssize_t n = ::write(fd, data, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      int error = errno;
      ::close(fd);
      return Status::error(describeErrno(file.path, error));
    }
    data += n;
    left -= static_cast<size_t>(n);
  }
  // mkstemp creates the file 0600; results are ordinary files readable like any other output.
  ::fchmod(fd, 0666 & ~processUmask());
  if (::close(fd) != 0) return Status::error(describeErrno(file.path, errno));
  return {};
}

}  // namespace

Status writeFilesAtomically(const std::vector<FileContent>& files) {
  std::vector<std::string> temps;
  Status status;
  for (const FileContent& file : files) {
    std::string temp;
    status = writeTemporary(file, temp);
    if (!temp.empty()) temps.push_back(temp);
    if (!status.ok()) break;
  }
  if (status.ok()) {
    for (size_t i = 0; i < files.size(); ++i) {
      if (std::rename(temps[i].c_str(), files[i].path.c_str()) != 0) {
        status = Status::error(describeErrno(files[i].path, errno));
        // Keep all-or-nothing: withdraw the files already renamed into place.
        for (size_t j = 0; j < i; ++j) std::remove(files[j].path.c_str());
        temps.erase(temps.begin(), temps.begin() + static_cast<std::ptrdiff_t>(i));
        break;
      }
    }
    if (status.ok()) return status;
  }
  for (const std::string& temp : temps) std::remove(temp.c_str());
  return status;
}

Result<std::string> readWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return Status::error("cannot read '" + path + "': " + std::strerror(errno));
  std::ostringstream bytes;
  bytes << in.rdbuf();
  if (in.bad()) return Status::error("cannot read '" + path + "': read error");
  return bytes.str();
}

}  // namespace scenetext
