#pragma once

// Lists of file paths, one per line, as the batch, the generator and the trainer read them. Two
// styles: the batch's verbatim list, where a path is exactly what its line holds, and the
// annotated lists of the generator and trainer, which allow comments and relative paths.

#include <istream>
#include <string>
#include <string_view>
#include <vector>

#include "common/status.hpp"

namespace scenetext::io {

enum class PathListStyle {
  // A line holding only spaces, tabs or a carriage return is skipped; any other line is a path
  // as written, less the carriage return of a CRLF line ending. Nothing else is interpreted: no
  // comments, no quotes, no escapes.
  kVerbatim,
  // Lines are trimmed of spaces, tabs and carriage returns; blank lines and lines starting with
  // '#' are skipped; relative paths are taken from the list's own folder; a ".tsv" list gives
  // the first tab-separated column of every line after its header line.
  kAnnotated,
};

// The paths of list text `text` in the list's order. `listPath` is the list's own path: the
// annotated style resolves relative paths from its folder and recognises ".tsv" by it; the
// verbatim style ignores it.
std::vector<std::string> parsePathList(std::string_view text,
                                       PathListStyle style = PathListStyle::kVerbatim,
                                       const std::string& listPath = "");

// The paths of the verbatim list file `listPath`, or of `standardInput` when it is "-". Fails
// with "cannot read list 'PATH': why" (a folder is "is a folder"); paths that do not exist are
// not its concern.
Result<std::vector<std::string>> readPathList(const std::string& listPath,
                                              std::istream& standardInput);

// The files named by `listOrDir`:
// - a directory: every regular file below it (recursively) whose name ends with one of
//   `extensions` (compared without regard to case, e.g. ".ttf"), sorted by path;
// - otherwise an annotated list file.
// Fails when `listOrDir` cannot be read, with the message of readWholeFile. An empty result is
// not an error here.
Result<std::vector<std::string>> readPathListOrFolder(const std::string& listOrDir,
                                                      const std::vector<std::string>& extensions);

}  // namespace scenetext::io
