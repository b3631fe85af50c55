#include "io/path_list.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "common/test_support.hpp"

namespace scenetext::io {
namespace {

using scenetext::testing::ScratchFolder;

struct ListRow {
  std::string text;
  std::vector<std::string> paths;
};

TEST(ParsePathList, VerbatimOnePathPerLineBlankLinesSkippedNothingElseInterpreted) {
  const std::vector<ListRow> rows = {
      {"", {}},
      {"\n\n", {}},
      {"a.jpg", {"a.jpg"}},
      {"a.jpg\nb.png\n", {"a.jpg", "b.png"}},
      {"b.png\na.jpg\n", {"b.png", "a.jpg"}},  // the list's order, not sorted
      {"a.jpg\r\nb.png\r\n", {"a.jpg", "b.png"}},
      {"\n  \n\t\n\r\na.jpg\n\n", {"a.jpg"}},
      {" spaced name.jpg \n", {" spaced name.jpg "}},
      {"#hash.jpg\n\"quoted\".jpg\n", {"#hash.jpg", "\"quoted\".jpg"}},
      {"dir\\win.jpg\n/abs/x.jpg\n", {"dir\\win.jpg", "/abs/x.jpg"}},
      {"same.jpg\nsame.jpg\n", {"same.jpg", "same.jpg"}},
  };
  for (const ListRow& row : rows) {
    EXPECT_EQ(parsePathList(row.text), row.paths) << "'" << row.text << "'";
    EXPECT_EQ(parsePathList(row.text, PathListStyle::kVerbatim, "/lists/l.tsv"), row.paths)
        << "'" << row.text << "'";
  }
}

TEST(ParsePathList, AnnotatedTrimsSkipsCommentsAndResolvesFromTheListFolder) {
  const std::vector<ListRow> rows = {
      {"", {}},
      {"\n \n\t\r\n", {}},
      {"/abs/a.ttf\n", {"/abs/a.ttf"}},
      {"  rel/b.ttf \r\n", {"/lists/rel/b.ttf"}},
      {"# fonts\n#x.ttf\nc.ttf", {"/lists/c.ttf"}},
      {"b.ttf\na.ttf\n", {"/lists/b.ttf", "/lists/a.ttf"}},  // the list's order
      {"x\ty.ttf\n", {"/lists/x\ty.ttf"}},                   // tabs only split ".tsv" lists
  };
  for (const ListRow& row : rows) {
    EXPECT_EQ(parsePathList(row.text, PathListStyle::kAnnotated, "/lists/fonts.txt"), row.paths)
        << "'" << row.text << "'";
  }
}

TEST(ParsePathList, AnnotatedTsvGivesFirstColumnAfterHeader) {
  const std::string text = "target\tpackage\n/x/a.jpg\tpkg\tGPL\nb.png\tpkg\n# c.png\tpkg\n";
  EXPECT_EQ(parsePathList(text, PathListStyle::kAnnotated, "/lists/backgrounds.TSV"),
            (std::vector<std::string>{"/x/a.jpg", "/lists/b.png"}));
}

TEST(ReadPathList, FromAFileOrStandardInputAndFailsNamingTheList) {
  ScratchFolder scratch("io-read-path-list");
  scratch.write("list.txt", "x/1.jpg\n\ny/2.jpg\n");
  scratch.write("empty.txt", "");
  std::istringstream unused("never read");
  auto fromFile = readPathList((scratch / "list.txt").string(), unused);
  ASSERT_TRUE(fromFile.ok()) << fromFile.status().message();
  EXPECT_EQ(*fromFile, (std::vector<std::string>{"x/1.jpg", "y/2.jpg"}));
  auto empty = readPathList((scratch / "empty.txt").string(), unused);
  ASSERT_TRUE(empty.ok()) << empty.status().message();
  EXPECT_TRUE(empty->empty());

  std::istringstream standardInput("b.jpg\na.jpg");
  auto fromInput = readPathList("-", standardInput);
  ASSERT_TRUE(fromInput.ok());
  EXPECT_EQ(*fromInput, (std::vector<std::string>{"b.jpg", "a.jpg"}));

  for (const std::string& bad : {(scratch / "absent.txt").string(), scratch.path().string()}) {
    auto failed = readPathList(bad, unused);
    ASSERT_FALSE(failed.ok()) << bad;
    EXPECT_EQ(failed.status().message().rfind("cannot read list '" + bad + "': ", 0), 0u)
        << failed.status().message();
  }
}

TEST(ReadPathListOrFolder, ListFileSkipsCommentsAndResolvesRelativePaths) {
  ScratchFolder scratch("io-path-list-file");
  scratch.write("fonts.txt", "# fonts\n/abs/a.ttf\n\n  rel/b.ttf \r\n");
  auto paths = readPathListOrFolder((scratch / "fonts.txt").string(), {".ttf"});
  ASSERT_TRUE(paths.ok()) << paths.status().message();
  EXPECT_EQ(*paths, (std::vector<std::string>{"/abs/a.ttf", (scratch / "rel/b.ttf").string()}));
}

TEST(ReadPathListOrFolder, DirectoryIsSearchedRecursivelyBySortedExtension) {
  ScratchFolder scratch("io-path-list-folder");
  std::filesystem::create_directories(scratch / "sub");
  for (const std::string name : {"sub/z.TTF", "b.otf", "a.txt", "attf"}) scratch.write(name, "");
  auto paths = readPathListOrFolder(scratch.path().string(), {".ttf", ".otf"});
  ASSERT_TRUE(paths.ok()) << paths.status().message();
  EXPECT_EQ(*paths, (std::vector<std::string>{(scratch / "b.otf").string(),
                                              (scratch / "sub/z.TTF").string()}));
}

TEST(ReadPathListOrFolder, MissingListNamesThePath) {
  auto paths = readPathListOrFolder("/nonexistent/list.txt", {".ttf"});
  ASSERT_FALSE(paths.ok());
  EXPECT_NE(paths.status().message().find("/nonexistent/list.txt"), std::string::npos);
}

}  // namespace
}  // namespace scenetext::io
