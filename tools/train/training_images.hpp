#pragma once

// The photographs a training run reads: folders of images with ICDAR 2013 ground truth
// (N.jpg beside gt_N.txt, either line style), and lists of text-free photographs whose every
// candidate is a negative.

#include <string>
#include <vector>

#include "common/status.hpp"
#include "eval/box_files.hpp"

namespace scenetext::training {

enum class ImageRole { Labelled, TextFree };

struct TrainingImage {
  std::string imagePath;
  std::string groundTruthPath;  // empty for a text-free image
  std::string stem;
  ImageRole role = ImageRole::Labelled;
};

struct FolderListing {
  std::vector<TrainingImage> images;            // natural order of the stems
  std::vector<std::string> withoutGroundTruth;  // image paths left out for want of gt_<stem>.txt
};

// Every image of `folder` (jpg, jpeg, png, bmp, tif, tiff) that has gt_<stem>.txt beside it.
// Fails when the folder cannot be read or not a single image has ground truth.
Result<FolderListing> listLabelledFolder(const std::string& folder);

// The photographs named by a list file (one path per line, '#' comments; a .tsv gives its first
// column after the header line; relative paths from the list's folder) or found in a directory.
// Fails when the list cannot be read or names nothing.
Result<std::vector<TrainingImage>> listTextFreeImages(const std::string& listOrDir);

// The words of a labelled image in input-image coordinates; nothing for a text-free image.
// Fails naming the file (and line) when it cannot be read or parsed.
Result<std::vector<evaluation::WordBox>> readWords(const TrainingImage& image);

}  // namespace scenetext::training
