#include "train/training_images.hpp"

#include <filesystem>

#include "common/file_output.hpp"
#include "eval/folder_evaluation.hpp"
#include "io/path_list.hpp"

namespace scenetext::training {

Result<FolderListing> listLabelledFolder(const std::string& folder) {
  auto images = evaluation::listImagesByStem(folder);
  if (!images.ok()) return images.status();
  FolderListing listing;
  for (const auto& [stem, path] : *images) {
    const std::filesystem::path truth = std::filesystem::path(folder) / ("gt_" + stem + ".txt");
    std::error_code error;
    if (std::filesystem::is_regular_file(truth, error)) {
      listing.images.push_back({path, truth.string(), stem, ImageRole::Labelled});
    } else {
      listing.withoutGroundTruth.push_back(path);
    }
  }
  if (listing.images.empty()) {
    return Status::error("no ground truth found in '" + folder + "': no image (of " +
                         std::to_string(images->size()) + ") has a gt_<stem>.txt beside it");
  }
  return listing;
}

Result<std::vector<TrainingImage>> listTextFreeImages(const std::string& listOrDir) {
  auto paths =
      io::readPathListOrFolder(listOrDir, {".jpg", ".jpeg", ".png", ".bmp", ".tif", ".tiff"});
  if (!paths.ok()) return paths.status();
  if (paths->empty()) return Status::error("no text-free images listed in '" + listOrDir + "'");
  std::vector<TrainingImage> images;
  for (const std::string& path : *paths) {
    images.push_back({path, "", std::filesystem::path(path).stem().string(), ImageRole::TextFree});
  }
  return images;
}

Result<std::vector<evaluation::WordBox>> readWords(const TrainingImage& image) {
  if (image.role == ImageRole::TextFree) return std::vector<evaluation::WordBox>{};
  Result<std::string> text = readWholeFile(image.groundTruthPath);
  if (!text.ok()) return text.status();
  return evaluation::parseGroundTruth(*text, image.groundTruthPath);
}

}  // namespace scenetext::training
