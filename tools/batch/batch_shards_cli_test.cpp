// scenetext-batch over lists, in shards and resumed: the pieces of a large run add up to the
// whole run, byte for byte.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "common/test_support.hpp"

namespace scenetext {
namespace {

using testing::CommandResult;
using testing::runCommand;
using testing::ScratchFolder;
using testing::shellQuote;
using testing::slurp;

const std::string kBatch = std::string(SCENETEXT_BINARY_DIR) + "/scenetext-batch";

// Runs the batch with `input` as its standard input (runCommand gives it /dev/null).
CommandResult runWithInput(const std::vector<std::string>& arguments, const std::string& input,
                           const ScratchFolder& scratch) {
  scratch.write("stdin.txt", input);
  std::string command = shellQuote(kBatch);
  for (const std::string& argument : arguments) command.append(" ").append(shellQuote(argument));
  command.append(" <").append(shellQuote((scratch / "stdin.txt").string()));
  command.append(" >").append(shellQuote((scratch / "out.txt").string()));
  command.append(" 2>").append(shellQuote((scratch / "err.txt").string()));
  const int status = std::system(command.c_str());
  CommandResult result;
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.out = slurp(scratch / "out.txt");
  result.err = slurp(scratch / "err.txt");
  return result;
}

cv::Mat sign(const std::string& text, int width) {
  cv::Mat image(90, width, CV_8UC3, cv::Scalar(40, 90, 160));
  cv::rectangle(image, cv::Rect(6, 10, width - 12, 70), cv::Scalar(240, 240, 240), cv::FILLED);
  cv::putText(image, text, cv::Point(16, 60), cv::FONT_HERSHEY_SIMPLEX, 1.0, cv::Scalar(10, 10, 10),
              2, cv::LINE_AA);
  return image;
}

// Every file below `folder`, by path relative to it, with its bytes.
std::map<std::string, std::string> filesBelow(const std::filesystem::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file()) {
      files[std::filesystem::relative(entry.path(), folder).string()] = slurp(entry.path());
    }
  }
  return files;
}

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string joinLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

class ShardsTest : public ::testing::Test {
 protected:
  ShardsTest() : scratch_(::testing::UnitTest::GetInstance()->current_test_info()->name()) {
    std::filesystem::create_directories(scratch_ / "images");
    scratch_.write("accept-all.model", "#\n");
    const char* words[] = {"OPEN", "CAFE 24", "EXIT", "HOTEL", "BAR", "STOP"};
    for (int i = 0; i < 6; ++i) {
      const std::string name = std::string("p").append(std::to_string(i));
      cv::imwrite(image(name + (i % 2 == 0 ? ".png" : ".jpg")), sign(words[i], 180 + 20 * i));
    }
    scratch_.write("images/p6.jpg", std::string("\xFF\xD8\xFF\xE0 truncated", 14));
  }
  std::string model() const { return (scratch_ / "accept-all.model").string(); }
  std::string image(const std::string& name) const { return (scratch_ / "images" / name).string(); }
  std::string folder(const std::string& name) const {
    std::filesystem::create_directories(scratch_ / name);
    return (scratch_ / name).string() + "/";
  }
  ScratchFolder scratch_;
};

TEST_F(ShardsTest, ThreeShardsAddUpToTheWholeRun) {
  const std::string images = (scratch_ / "images").string();
  const std::vector<std::string> options = {"--json", "--scores", "-j", "2"};
  auto run = [&](std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), options.begin(), options.end());
    return runCommand(kBatch, arguments, scratch_.path());
  };
  auto whole =
      run({"--jsonl", (scratch_ / "whole.jsonl").string(), model(), images, folder("whole")});
  ASSERT_EQ(whole.exitCode, 1) << whole.err;  // p6.jpg is broken
  EXPECT_EQ(whole.out, "processed 6 of 7 images, 1 failed\n");
  // --json writes each image's object to its own file, the same bytes as its JSON line.
  const std::vector<std::string> wholeLines = linesOf(slurp(scratch_ / "whole.jsonl"));
  ASSERT_EQ(wholeLines.size(), 7u);
  EXPECT_EQ(slurp(scratch_ / "whole/p0.png.json"), wholeLines[0] + "\n");
  EXPECT_EQ(slurp(scratch_ / "whole/p5.jpg.json"), wholeLines[5] + "\n");

  std::map<std::string, std::string> shardFiles;
  std::vector<std::string> concatenated;
  const char* expectedSummaries[] = {"processed 2 of 3 images, 1 failed\n",   // p0 p3 p6
                                     "processed 2 of 2 images, 0 failed\n",   // p1 p4
                                     "processed 2 of 2 images, 0 failed\n"};  // p2 p5
  for (int k = 1; k <= 3; ++k) {
    const std::string name = "shard-" + std::to_string(k);
    auto shard = run({"--shard", std::to_string(k) + "/3", "--jsonl",
                      (scratch_ / (name + ".jsonl")).string(), model(), images, folder(name)});
    EXPECT_EQ(shard.exitCode, k == 1 ? 1 : 0) << shard.err;
    EXPECT_EQ(shard.out, expectedSummaries[k - 1]);
    for (auto& [path, bytes] : filesBelow(scratch_ / name)) {
      EXPECT_TRUE(shardFiles.emplace(path, bytes).second) << path << " written by two shards";
    }
    for (std::string& line : linesOf(slurp(scratch_ / (name + ".jsonl")))) {
      concatenated.push_back(std::move(line));
    }
  }
  // Images, box lists and JSON files: each written by one shard, exactly as the whole run did.
  EXPECT_EQ(shardFiles, filesBelow(scratch_ / "whole"));
  EXPECT_EQ(shardFiles.size(), 18u);

  // The shards' JSON lines, concatenated and sorted by image, are the whole run's.
  auto imageOf = [](const std::string& line) {
    return nlohmann::json::parse(line)["image"].get<std::string>();
  };
  std::stable_sort(
      concatenated.begin(), concatenated.end(),
      [&](const std::string& a, const std::string& b) { return imageOf(a) < imageOf(b); });
  EXPECT_EQ(joinLines(concatenated), slurp(scratch_ / "whole.jsonl"));
  EXPECT_EQ(concatenated.size(), 7u);
}

TEST_F(ShardsTest, MoreShardsThanImagesLeaveSomeShardsEmpty) {
  const std::string list = (scratch_ / "list.txt").string();
  scratch_.write("list.txt", image("p0.png") + "\n" + image("p1.jpg") + "\n");
  auto empty = runCommand(kBatch,
                          {"--files-from", list, "--shard", "3/3", "--jsonl",
                           (scratch_ / "s.jsonl").string(), model(), folder("out")},
                          scratch_.path());
  EXPECT_EQ(empty.exitCode, 0) << empty.err;
  EXPECT_EQ(empty.out, "processed 0 of 0 images, 0 failed\n");
  EXPECT_TRUE(std::filesystem::exists(scratch_ / "s.jsonl"));
  EXPECT_EQ(slurp(scratch_ / "s.jsonl"), "");
  EXPECT_TRUE(std::filesystem::is_empty(scratch_ / "out"));
}

TEST_F(ShardsTest, AListInItsOwnOrderFromAFileOrStandardInputWithMissingPathsFailed) {
  // Not sorted, blank lines, a path that does not exist, and a second "p1.jpg" whose outputs
  // would replace the first one's.
  std::filesystem::create_directories(scratch_ / "other");
  std::filesystem::copy_file(image("p3.jpg"), scratch_ / "other/p1.jpg");
  const std::vector<std::string> paths = {image("p4.png"), image("p1.jpg"),
                                          (scratch_ / "gone.jpg").string(),
                                          (scratch_ / "other/p1.jpg").string(), image("p0.png")};
  const std::string list = "\n" + paths[0] + "\n" + paths[1] + "\n\n" + paths[2] + "\r\n" +
                           paths[3] + "\n" + paths[4];  // no final newline
  scratch_.write("list.txt", list);
  auto fromFile = runCommand(
      kBatch,
      {"--files-from", (scratch_ / "list.txt").string(), "--jsonl", "-", model(), folder("out")},
      scratch_.path());
  EXPECT_EQ(fromFile.exitCode, 1);
  EXPECT_NE(fromFile.err.find("processed 3 of 5 images, 2 failed"), std::string::npos)
      << fromFile.err;
  EXPECT_NE(fromFile.err.find("cannot read image '" + paths[2] + "'"), std::string::npos)
      << fromFile.err;
  EXPECT_NE(fromFile.err.find("'" + paths[3] + "': its outputs"), std::string::npos)
      << fromFile.err;
  const std::vector<std::string> lines = linesOf(fromFile.out);
  ASSERT_EQ(lines.size(), paths.size()) << fromFile.out;
  for (size_t i = 0; i < paths.size(); ++i) {
    const nlohmann::json object = nlohmann::json::parse(lines[i]);
    EXPECT_EQ(object["image"], paths[i]) << i;
    EXPECT_EQ(object.contains("error"), i == 2 || i == 3) << lines[i];
  }
  // The first p1.jpg keeps its outputs: 200 pixels wide, where the other one is 240.
  EXPECT_EQ(cv::imread((scratch_ / "out/p1.jpg").string()).cols, 200);
  const std::map<std::string, std::string> files = filesBelow(scratch_ / "out");
  EXPECT_EQ(files.size(), 6u);

  std::filesystem::remove_all(scratch_ / "out");
  auto fromInput =
      runWithInput({"--files-from", "-", "--jsonl", "-", model(), folder("out")}, list, scratch_);
  EXPECT_EQ(fromInput.exitCode, 1);
  EXPECT_EQ(fromInput.out, fromFile.out);
  EXPECT_EQ(filesBelow(scratch_ / "out"), files);
}

struct FileIdentity {
  ino_t inode;
  std::filesystem::file_time_type modified;
  bool operator==(const FileIdentity&) const = default;
};

std::map<std::string, FileIdentity> identities(const std::filesystem::path& folder) {
  std::map<std::string, FileIdentity> found;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    struct stat status {};
    EXPECT_EQ(::stat(entry.path().c_str(), &status), 0) << entry.path();
    found[entry.path().filename().string()] = {status.st_ino, entry.last_write_time()};
  }
  return found;
}

TEST_F(ShardsTest, SkipExistingResumesWithoutRewritingAndTheStreamStaysWhole) {
  const std::string images = (scratch_ / "images").string();
  const std::string out = folder("out");
  const std::vector<std::string> command = {
      "--skip-existing", "--json", "--jsonl", (scratch_ / "run.jsonl").string(), "--shard", "2/2",
      model(),           images,   out};
  // The first pass over shard 2 of 2: p1, p3, p5.
  auto first = runCommand(kBatch, command, scratch_.path());
  ASSERT_EQ(first.exitCode, 0) << first.err;
  EXPECT_EQ(first.out, "processed 3 of 3 images, 0 skipped, 0 failed\n");
  const std::string firstStream = slurp(scratch_ / "run.jsonl");
  ASSERT_EQ(linesOf(firstStream).size(), 3u);
  const std::map<std::string, std::string> firstFiles = filesBelow(scratch_ / "out");
  ASSERT_EQ(firstFiles.size(), 9u);

  // An interruption: p3 left no .json, p5 nothing at all. The kept files get an old time stamp,
  // so that a rewrite within the same clock tick would still show.
  std::filesystem::remove(scratch_ / "out/p3.jpg.json");
  for (const std::string suffix : {"", ".txt", ".json"}) {
    std::filesystem::remove(scratch_ / ("out/p5.jpg" + suffix));
  }
  const auto old = std::filesystem::file_time_type::clock::now() - std::chrono::hours(24 * 365);
  for (const std::string name : {"p1.jpg", "p1.jpg.txt", "p1.jpg.json", "p3.jpg.txt"}) {
    std::filesystem::last_write_time(scratch_ / "out" / name, old);
  }
  const auto kept = identities(scratch_ / "out");

  auto resumed = runCommand(kBatch, command, scratch_.path());
  ASSERT_EQ(resumed.exitCode, 0) << resumed.err;
  EXPECT_EQ(resumed.out, "processed 2 of 3 images, 1 skipped, 0 failed\n");
  const auto after = identities(scratch_ / "out");
  for (const std::string name : {"p1.jpg", "p1.jpg.txt", "p1.jpg.json"}) {
    EXPECT_EQ(after.at(name), kept.at(name)) << name << " was rewritten";
  }
  EXPECT_NE(after.at("p3.jpg.txt"), kept.at("p3.jpg.txt")) << "p3 was not detected again";
  EXPECT_EQ(filesBelow(scratch_ / "out"), firstFiles);
  // The skipped image's line is read back from its .json: the stream is the whole run's.
  EXPECT_EQ(slurp(scratch_ / "run.jsonl"), firstStream);

  // Nothing left to do; a broken image has no outputs and is tried (and reported) again.
  auto again = runCommand(kBatch, {"--skip-existing", model(), images, out}, scratch_.path());
  EXPECT_EQ(again.exitCode, 1);
  EXPECT_EQ(again.out, "processed 3 of 7 images, 3 skipped, 1 failed\n");
  EXPECT_NE(again.err.find("p6.jpg"), std::string::npos) << again.err;
  for (const std::string name : {"p1.jpg", "p1.jpg.txt", "p1.jpg.json"}) {
    EXPECT_EQ(identities(scratch_ / "out").at(name), kept.at(name)) << name << " was rewritten";
  }
}

TEST_F(ShardsTest, BadShardsAndOperandsAreUsageErrors) {
  const std::string images = (scratch_ / "images").string();
  const std::string out = folder("out");
  scratch_.write("list.txt", image("p0.png") + "\n");
  const std::string list = (scratch_ / "list.txt").string();
  const std::vector<std::vector<std::string>> rows = {
      {"--shard", "0/3", model(), images, out},
      {"--shard", "4/3", model(), images, out},
      {"--shard", "x/y", model(), images, out},
      {"--shard", "1/0", model(), images, out},
      {"--shard", "2", model(), images, out},
      {"--shard", model(), images, out},
      {"--files-from", list, model(), images, out},  // a folder and a list
      {"--files-from", list, model()},               // no prefix
      {model(), images},                             // no prefix
      {"--skip-existing", "--jsonl", (scratch_ / "r.jsonl").string(), model(), images,
       out},  // lines not kept
  };
  for (const std::vector<std::string>& arguments : rows) {
    auto usage = runCommand(kBatch, arguments, scratch_.path());
    std::string shown;
    for (const std::string& argument : arguments) shown += argument + " ";
    EXPECT_EQ(usage.exitCode, 2) << shown << "\n" << usage.err;
    EXPECT_NE(usage.err.find("usage: scenetext-batch"), std::string::npos) << shown;
    EXPECT_EQ(usage.out, "") << shown;
  }
  auto zero = runCommand(kBatch, {"--shard", "0/3", model(), images, out}, scratch_.path());
  EXPECT_NE(zero.err.find("K must lie in 1..N"), std::string::npos) << zero.err;
  EXPECT_TRUE(std::filesystem::is_empty(scratch_ / "out"));
  EXPECT_FALSE(std::filesystem::exists(scratch_ / "r.jsonl"));

  auto missingList = runCommand(
      kBatch, {"--files-from", (scratch_ / "absent.txt").string(), model(), out}, scratch_.path());
  EXPECT_EQ(missingList.exitCode, 1);
  EXPECT_NE(missingList.err.find("cannot read list '" + (scratch_ / "absent.txt").string()),
            std::string::npos)
      << missingList.err;
  EXPECT_TRUE(std::filesystem::is_empty(scratch_ / "out"));
}

}  // namespace
}  // namespace scenetext
