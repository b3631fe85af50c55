#include "synth/material.hpp"

#include <filesystem>

#include <gtest/gtest.h>

#include "synth/test_support.hpp"

namespace scenetext::synth {
namespace {

using testing::TempDir;

TEST(ReadPathListTest, ListFileSkipsCommentsAndResolvesRelativePaths) {
  TempDir dir;
  const std::string list = dir.write("fonts.txt", "# fonts\n/abs/a.ttf\n\n  rel/b.ttf \r\n");
  Result<std::vector<std::string>> paths = readPathList(list, {".ttf"});
  ASSERT_TRUE(paths) << paths.status().message();
  EXPECT_EQ(*paths, (std::vector<std::string>{"/abs/a.ttf", dir.file("rel/b.ttf")}));
}

TEST(ReadPathListTest, TsvGivesFirstColumnAfterHeader) {
  TempDir dir;
  const std::string list =
      dir.write("backgrounds.tsv", "target\tpackage\n/x/a.jpg\tpkg\tGPL\n/x/b.png\tpkg\n");
  Result<std::vector<std::string>> paths = readPathList(list, {".jpg"});
  ASSERT_TRUE(paths) << paths.status().message();
  EXPECT_EQ(*paths, (std::vector<std::string>{"/x/a.jpg", "/x/b.png"}));
}

TEST(ReadPathListTest, DirectoryIsSearchedRecursivelyBySortedExtension) {
  TempDir dir;
  std::filesystem::create_directories(dir.file("sub"));
  dir.write("sub/z.TTF", "");
  dir.write("b.otf", "");
  dir.write("a.txt", "");
  dir.write("attf", "");
  Result<std::vector<std::string>> paths = readPathList(dir.file(""), {".ttf", ".otf"});
  ASSERT_TRUE(paths) << paths.status().message();
  EXPECT_EQ(*paths, (std::vector<std::string>{dir.file("b.otf"), dir.file("sub/z.TTF")}));
}

TEST(ReadPathListTest, MissingListNamesThePath) {
  Result<std::vector<std::string>> paths = readPathList("/nonexistent/list.txt", {".ttf"});
  ASSERT_FALSE(paths);
  EXPECT_NE(paths.status().message().find("/nonexistent/list.txt"), std::string::npos);
}

TEST(ReadWordListTest, KeepsOnlyPlainAsciiWordsOfUsableLength) {
  struct Row {
    const char* word;
    bool kept;
  };
  const Row rows[] = {
      {"cat", true},
      {"Boston", true},
      {"A4", true},
      {"1987", true},
      {"ok", true},
      {"x", false},
      {"dog's", false},
      {"caf\xc3\xa9", false},
      {"well-known", false},
      {"abcdefghijklmn", true},
      {"abcdefghijklmno", false},
  };
  TempDir dir;
  std::string text;
  for (const Row& row : rows) text += std::string(row.word) + "\n";
  Result<std::vector<std::string>> words = readWordList(dir.write("words", text));
  ASSERT_TRUE(words) << words.status().message();
  for (const Row& row : rows) {
    const bool kept = std::find(words->begin(), words->end(), row.word) != words->end();
    EXPECT_EQ(kept, row.kept) << row.word;
  }
}

TEST(ReadWordListTest, ListWithoutUsableWordsFails) {
  TempDir dir;
  Result<std::vector<std::string>> words = readWordList(dir.write("words", "a\nb's\n"));
  ASSERT_FALSE(words);
  EXPECT_NE(words.status().message().find("no usable word"), std::string::npos);
}

}  // namespace
}  // namespace scenetext::synth
