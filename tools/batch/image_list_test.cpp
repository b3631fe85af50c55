#include "batch/image_list.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/test_support.hpp"

namespace scenetext::batch {
namespace {

using scenetext::testing::ScratchFolder;

TEST(ListImages, ImageNamesOfTheFolderOnlySortedByBytes) {
  ScratchFolder scratch("list-images");
  std::filesystem::create_directories(scratch / "sub.jpg");
  for (const std::string name : {"b.JPG", "a.png", "B.tiff", "c.jpeg", "notes.txt", "d.gif",
                                 "e.bmp", "f.tif", "sub.jpg/inner.jpg"}) {
    scratch.write(name, "x");
  }
  auto images = listImages(scratch.path().string());
  ASSERT_TRUE(images.ok());
  const std::string folder = scratch.path().string() + "/";
  EXPECT_EQ(*images,
            (std::vector<std::string>{folder + "B.tiff", folder + "a.png", folder + "b.JPG",
                                      folder + "c.jpeg", folder + "e.bmp", folder + "f.tif"}));
  auto missing = listImages((scratch / "nowhere").string());
  ASSERT_FALSE(missing.ok());
  EXPECT_NE(missing.status().message().find("cannot read folder"), std::string::npos);
}

TEST(ParseShard, AcceptsKOfNWithKFromOneToN) {
  const std::vector<std::pair<std::string, Shard>> rows = {
      {"1/1", {1, 1}},
      {"1/3", {1, 3}},
      {"3/3", {3, 3}},
      {"07/10", {7, 10}},
      {"1000/1000", {1000, 1000}},
  };
  for (const auto& [text, expected] : rows) {
    auto shard = parseShard(text);
    ASSERT_TRUE(shard.ok()) << text << ": " << shard.status().message();
    EXPECT_EQ(shard->number, expected.number) << text;
    EXPECT_EQ(shard->count, expected.count) << text;
  }
}

TEST(ParseShard, RejectsWithTheReason) {
  const std::vector<std::pair<std::string, std::string>> rows = {
      {"0/3", "K must lie in 1..N"},
      {"4/3", "K must lie in 1..N"},
      {"1/0", "N must be at least 1"},
      {"0/0", "N must be at least 1"},
      {"x/y", "expected K/N with whole numbers"},
      {"3", "expected K/N, e.g. 2/8"},
      {"", "expected K/N, e.g. 2/8"},
      {"/3", "expected K/N with whole numbers"},
      {"1/", "expected K/N with whole numbers"},
      {"-1/3", "expected K/N with whole numbers"},
      {"+1/3", "expected K/N with whole numbers"},
      {" 1/3", "expected K/N with whole numbers"},
      {"1/3 ", "expected K/N with whole numbers"},
      {"1.5/3", "expected K/N with whole numbers"},
      {"1/3/5", "expected K/N with whole numbers"},
      {"1/99999999999999999999999", "expected K/N with whole numbers"},
  };
  for (const auto& [text, reason] : rows) {
    auto shard = parseShard(text);
    ASSERT_FALSE(shard.ok()) << text;
    EXPECT_EQ(shard.status().message().rfind("shard '" + text + "': ", 0), 0u)
        << shard.status().message();
    EXPECT_NE(shard.status().message().find(reason), std::string::npos)
        << text << " -> " << shard.status().message();
  }
}

TEST(InShard, TheShardsOfAnInputTakeEveryPositionExactlyOnce) {
  for (size_t count : {1u, 2u, 3u, 7u}) {
    for (size_t position = 0; position < 20; ++position) {
      size_t takers = 0;
      for (size_t number = 1; number <= count; ++number) {
        if (inShard(position, {number, count})) {
          ++takers;
          EXPECT_EQ(position % count, number - 1) << position << " " << number << "/" << count;
        }
      }
      EXPECT_EQ(takers, 1u) << position << " of " << count;
    }
  }
  // Every third image from the second: positions 1, 4, 7.
  std::vector<size_t> taken;
  for (size_t position = 0; position < 9; ++position) {
    if (inShard(position, {2, 3})) taken.push_back(position);
  }
  EXPECT_EQ(taken, (std::vector<size_t>{1, 4, 7}));
}

}  // namespace
}  // namespace scenetext::batch
