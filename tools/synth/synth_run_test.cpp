#include "synth/synth_run.hpp"

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

#include <gtest/gtest.h>

#include "common/file_output.hpp"
#include "synth/test_support.hpp"

namespace scenetext::synth {
namespace {

using testing::kTestFonts;
using testing::TempDir;

// Small images keep a run of several images well under a second.
RunOptions smallRun(const TempDir& dir) {
  RunOptions options;
  options.backgrounds =
      testing::writeList(dir, "backgrounds.txt",
                         {testing::writeBackground(dir, "a.png", cv::Size(400, 300)),
                          testing::writeBackground(dir, "b.jpg", cv::Size(700, 500))});
  options.fonts = testing::writeList(dir, "fonts.txt", kTestFonts);
  options.words = dir.write("words", "harbour\nQuay\nfjord\nbakery\nlantern\n");
  options.outDir = dir.file("out");
  options.count = 6;
  options.seed = 42;
  options.synth.minSize = cv::Size(160, 120);
  options.synth.maxSize = cv::Size(240, 180);
  return options;
}

std::string contents(const std::string& path) {
  Result<std::string> bytes = readWholeFile(path);
  return bytes ? *bytes : "<unreadable " + path + ">";
}

TEST(RunSynthTest, OutputIsByteIdenticalWhateverTheNumberOfJobs) {
  TempDir dir;
  RunOptions one = smallRun(dir);
  RunOptions three = one;
  three.jobs = 3;
  three.outDir = dir.file("out3");
  Result<RunSummary> a = runSynth(one);
  Result<RunSummary> b = runSynth(three);
  ASSERT_TRUE(a) << a.status().message();
  ASSERT_TRUE(b) << b.status().message();
  EXPECT_EQ(a->images, 6);
  EXPECT_EQ(a->words, b->words);
  for (int n = 1; n <= one.count; ++n) {
    for (const std::string& name : {imageFileName(n), groundTruthFileName(n)}) {
      const std::string first = contents(one.outDir + "/" + name);
      EXPECT_FALSE(first.empty()) << name;
      EXPECT_EQ(first, contents(three.outDir + "/" + name)) << name;
    }
  }
  EXPECT_FALSE(std::filesystem::exists(one.outDir + "/" + imageFileName(7)));
}

// Each bad input fails before any image is drawn, with a message naming the culprit.
TEST(RunSynthTest, BadMaterialFailsWithItsName) {
  TempDir dir;
  const RunOptions good = smallRun(dir);
  dir.write("blocker", "a file where the output folder should go");
  struct Row {
    const char* name;
    RunOptions options;
    std::string expected;  // part of the message
  };
  std::vector<Row> rows;
  rows.push_back({"empty font list", good, "no fonts"});
  rows.back().options.fonts = testing::writeList(dir, "nofonts.txt", {"# none yet"});
  rows.push_back({"unreadable background", good, dir.file("fake.jpg")});
  rows.back().options.backgrounds =
      testing::writeList(dir, "bad.txt", {dir.write("fake.jpg", "not a photograph")});
  rows.push_back({"font that cannot draw", good, dir.file("fake.ttf")});
  rows.back().options.fonts =
      testing::writeList(dir, "badfonts.txt", {kTestFonts[0], dir.write("fake.ttf", "no glyphs")});
  rows.push_back({"output folder that cannot be written", good, dir.file("blocker")});
  rows.back().options.outDir = dir.file("blocker/out");
  for (Row& row : rows) {
    row.options.outDir = row.options.outDir == good.outDir
                             ? dir.file(std::string("out_") + row.name)
                             : row.options.outDir;
    Result<RunSummary> result = runSynth(row.options);
    ASSERT_FALSE(result) << row.name;
    EXPECT_NE(result.status().message().find(row.expected), std::string::npos)
        << row.name << ": " << result.status().message();
    EXPECT_FALSE(std::filesystem::exists(row.options.outDir + "/" + imageFileName(1))) << row.name;
  }
}

// The executable's exit codes: 0 on success and for --help, 1 for bad input, 2 for bad usage.
TEST(SynthCommandTest, ExitCodes) {
  TempDir dir;
  const RunOptions good = smallRun(dir);
  const std::string tool = std::string(SCENETEXT_BINARY_DIR) + "/scenetext-synth";
  const std::string material = " --backgrounds " + good.backgrounds + " --words " + good.words;
  const std::string emptyFonts = testing::writeList(dir, "nofonts.txt", {});
  struct Row {
    std::string arguments;
    int exitCode;
  };
  const Row rows[] = {
      {"--help", 0},
      {material + " --fonts " + good.fonts + " --count 2 --min-size 160x120 --max-size 200x150 " +
           dir.file("cli_out"),
       0},
      {material + " --fonts " + emptyFonts + " --count 2 " + dir.file("cli_bad"), 1},
      {material + " --fonts " + good.fonts + " --count 2 --no-such-flag " + dir.file("x"), 2},
      {material + " --fonts " + good.fonts + " --count 0 " + dir.file("x"), 2},
      {material + " --fonts " + good.fonts + " --count 2 --min-size 640 " + dir.file("x"), 2},
      {material + " --fonts " + good.fonts + " --count 2 --min-size 800x600 --max-size 640x480 " +
           dir.file("x"),
       2},
      {material + " --count 2 " + dir.file("x"), 2},
  };
  for (const Row& row : rows) {
    const std::string command =
        tool + " " + row.arguments + " >" + dir.file("stdout") + " 2>" + dir.file("stderr");
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status)) << command;
    EXPECT_EQ(WEXITSTATUS(status), row.exitCode) << row.arguments << "\n"
                                                 << contents(dir.file("stderr"));
  }
  EXPECT_TRUE(std::filesystem::exists(dir.file("cli_out/img_2.jpg")));
  EXPECT_TRUE(std::filesystem::exists(dir.file("cli_out/gt_img_2.txt")));
}

}  // namespace
}  // namespace scenetext::synth
