#include "synth/material.hpp"

#include <filesystem>

#include <gtest/gtest.h>

#include "synth/test_support.hpp"

namespace scenetext::synth {
namespace {

using testing::TempDir;

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
