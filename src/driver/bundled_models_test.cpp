// The bundled models' boxes on real photos, pinned: testdata/golden/MODEL/PHOTO.txt holds the box
// list that `scenetext` writes for the photo PHOTO of the shared data folder with
// models/MODEL.model, in the candidate mode the model was trained for. A change in features,
// candidates or training data that moves a single box makes this test fail; when the move is
// meant, testdata/README.md says how to pin the new boxes.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "common/test_support.hpp"

namespace scenetext::driver {
namespace {

namespace fs = std::filesystem;
using scenetext::testing::runCommand;
using scenetext::testing::ScratchFolder;
using scenetext::testing::slurp;

const fs::path kSourceDir = SCENETEXT_SOURCE_DIR;
const fs::path kGoldenFolder = kSourceDir / "testdata" / "golden";
const fs::path kPhotoFolder = kSourceDir / ".." / "shared" / "data" / "icdar2013-train";
const std::string kScenetext = std::string(SCENETEXT_BINARY_DIR) + "/scenetext";

struct BundledModel {
  std::string name;                  // models/NAME.model, testdata/golden/NAME/
  std::vector<std::string> options;  // the candidate mode it was trained for
};

// The default model runs with the command's defaults, the extended one with its option.
const std::vector<BundledModel> kModels{{"default", {}},
                                        {"extended", {"--candidates", "extended"}}};

struct GoldenCase {
  BundledModel model;
  std::string photo;
};

void PrintTo(const GoldenCase& c, std::ostream* os) { *os << c.model.name << " " << c.photo; }

// Every pinned list names its photo: PHOTO.txt.
std::vector<std::string> pinnedPhotos(const BundledModel& model) {
  std::vector<std::string> photos;
  const fs::path folder = kGoldenFolder / model.name;
  if (!fs::is_directory(folder)) return photos;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.path().extension() == ".txt") photos.push_back(entry.path().stem().string());
  }
  std::sort(photos.begin(), photos.end());
  return photos;
}

std::vector<GoldenCase> goldenCases() {
  std::vector<GoldenCase> cases;
  for (const BundledModel& model : kModels) {
    for (const std::string& photo : pinnedPhotos(model)) cases.push_back({model, photo});
  }
  return cases;
}

class BundledModelTest : public ::testing::TestWithParam<GoldenCase> {};

TEST_P(BundledModelTest, FindsThePinnedBoxes) {
  const GoldenCase& c = GetParam();
  const fs::path photo = kPhotoFolder / c.photo;
  ASSERT_TRUE(fs::exists(photo)) << photo
                                 << " is missing: the shared data folder must lie beside the clone";
  ScratchFolder scratch("golden-" + c.model.name + "-" + c.photo);
  std::vector<std::string> arguments = c.model.options;
  const std::string prefix = scratch.path().string() + "/";
  const std::string model = (kSourceDir / "models" / (c.model.name + ".model")).string();
  arguments.insert(arguments.end(), {model, photo.string(), prefix});

  const testing::CommandResult result = runCommand(kScenetext, arguments, scratch.path());

  ASSERT_EQ(result.exitCode, 0) << result.err;
  // No warning either: the option given is the mode the model names in its first line.
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(slurp(prefix + c.photo + ".txt"),
            slurp(kGoldenFolder / c.model.name / (c.photo + ".txt")))
      << "the boxes of models/" << c.model.name << ".model on " << c.photo
      << " moved: if that is meant, regenerate testdata/golden (see testdata/README.md)";
}

INSTANTIATE_TEST_SUITE_P(Golden, BundledModelTest, ::testing::ValuesIn(goldenCases()),
                         [](const ::testing::TestParamInfo<GoldenCase>& info) {
                           std::string name = info.param.model.name + "_" + info.param.photo;
                           std::replace(name.begin(), name.end(), '.', '_');
                           return name;
                         });

// Both models keep the same photos, so that the pinned lists also show what the extended
// candidates find that the exact ones do not.
TEST(BundledModelGolden, BothModelsArePinnedOnTheSamePhotos) {
  const std::vector<std::string> photos = pinnedPhotos(kModels.front());
  EXPECT_GE(photos.size(), 3u) << "too few photos pinned in " << kGoldenFolder;
  for (const BundledModel& model : kModels) EXPECT_EQ(pinnedPhotos(model), photos) << model.name;
}

}  // namespace
}  // namespace scenetext::driver
