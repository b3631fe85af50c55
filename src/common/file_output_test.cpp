#include "common/file_output.hpp"

#include <gtest/gtest.h>

#include <filesystem>

#include "common/box_list.hpp"

namespace fs = std::filesystem;

namespace scenetext {
namespace {

class FileOutputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("scenetext-file-output-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::vector<std::string> listing() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }
  fs::path dir_;
};

TEST_F(FileOutputTest, WritesAllFilesAndLeavesNoTemporaries) {
  Status status =
      writeFilesAtomically({{(dir_ / "a.txt").string(), "alpha"}, {(dir_ / "b.txt").string(), ""}});
  ASSERT_TRUE(status.ok()) << status.message();
  EXPECT_EQ(listing(), (std::vector<std::string>{"a.txt", "b.txt"}));
  EXPECT_EQ(readWholeFile((dir_ / "a.txt").string()).value(), "alpha");
  EXPECT_EQ(readWholeFile((dir_ / "b.txt").string()).value(), "");
}

TEST_F(FileOutputTest, FailureInAnyFileWritesNone) {
  std::string missing = (dir_ / "no-such-folder" / "b.txt").string();
  Status status = writeFilesAtomically({{(dir_ / "a.txt").string(), "alpha"}, {missing, "beta"}});
  ASSERT_FALSE(status.ok());
  EXPECT_NE(status.message().find(missing), std::string::npos) << status.message();
  EXPECT_TRUE(listing().empty());
}

TEST_F(FileOutputTest, ReplacesAnExistingFileWhole) {
  std::string path = (dir_ / "a.txt").string();
  ASSERT_TRUE(writeFileAtomically(path, "a much longer first version").ok());
  ASSERT_TRUE(writeFileAtomically(path, "short").ok());
  EXPECT_EQ(readWholeFile(path).value(), "short");
}

TEST_F(FileOutputTest, ReadingAMissingFileNamesIt) {
  Result<std::string> bytes = readWholeFile((dir_ / "absent").string());
  ASSERT_FALSE(bytes.ok());
  EXPECT_NE(bytes.status().message().find("absent"), std::string::npos);
}

TEST(BoxListTest, CompactionKeepsTheOrderOfSurvivors) {
  BoxList boxes{{1, 1, 2, 2}, {3, 3, 4, 4}, {5, 5, 6, 6}, {7, 7, 8, 8}};
  markRemoved(boxes[0]);
  markRemoved(boxes[2]);
  compactBoxList(boxes);
  EXPECT_EQ(boxes, (BoxList{{3, 3, 4, 4}, {7, 7, 8, 8}}));
}

}  // namespace
}  // namespace scenetext
