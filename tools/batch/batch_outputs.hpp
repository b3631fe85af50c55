#pragma once

// The outputs of a batch as a whole: two images of one list that would write the same files, and
// the images whose outputs an earlier run has already written (for --skip-existing).

#include <optional>
#include <string>
#include <vector>

#include "driver/json_output.hpp"
#include "driver/run.hpp"

namespace scenetext::batch {

// One entry per image of `images`: empty, or the message that fails the image because an earlier
// one writes the same outputs under `prefix` (two folders' "1.jpg" in one list, or a path listed
// twice). Computed over the whole input, so every shard of it fails the same images.
std::vector<std::string> outputClashes(const std::vector<std::string>& images,
                                       const std::string& prefix);

// Whether the folder that `prefix` writes into (its part up to the last '/', or the current folder)
// exists, checked before any image is read: the batch does not create it, and without it every
// image would be detected only to fail at the writing. Fails with "cannot write under 'PREFIX':
// folder 'DIR' does not exist" (or "is not a folder").
Status checkOutputFolder(const std::string& prefix);

// What an earlier run left of the image `imagePath`, when that is all of its outputs: the image
// and the box list of `paths` exist as regular files (the image not being `imagePath` itself,
// which a run refuses to write over) and, when `expected` is given (JSON asked for),
// `paths.json` holds one JSON object on one line reporting the image, candidate mode and model of
// `expected`. Returns that line without its newline ("" without `expected`), or nullopt when the
// image is to be detected again. Files are renamed into place whole, so existing means complete.
std::optional<std::string> finishedImage(const std::string& imagePath,
                                         const driver::OutputPaths& paths,
                                         const driver::ImageReport* expected);

}  // namespace scenetext::batch
