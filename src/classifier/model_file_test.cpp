#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>

#include "classifier/stump_cascade.hpp"

namespace scenetext::classifier {
namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kTiny = std::numeric_limits<float>::denorm_min();

// Bit for bit, so that -0 differs from 0 (records have no padding).
bool sameCascade(const StumpCascade& a, const StumpCascade& b) {
  static_assert(sizeof(StumpRecord) == 24);
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](const CascadeStage& x, const CascadeStage& y) {
                      return x.size() == y.size() &&
                             std::memcmp(x.data(), y.data(), x.size() * sizeof(StumpRecord)) == 0;
                    });
}
StumpRecord stump(int index, int polarity, float threshold, float weight, float extra = 0.0f) {
  return {index, 0.0f, threshold, polarity, weight, extra};
}
StumpRecord closing(float t) { return {-1, -1.0f, t, -1, -1.0f, -1.0f}; }

TEST(ParseStumpCascadeTest, AcceptedGrammar) {
  const std::string longLine(1000, 'h');
  const std::pair<std::string, StumpCascade> rows[] = {
      {"any header\n7, 12, -1, 0.35, 0.82, 0.11\n@, 1.5\n#\n",  // the worked example
       {{{12, 0.0f, 0.35f, -1, 0.82f, 0.11f}, {-1, -1.0f, 1.5f, -1, -1.0f, -1.0f}}}},
      {"#\n", {}},
      {"#", {}},  // a final terminator needs no newline
      {"#\ngarbage after the terminator\n1, 2\n", {}},
      {"\n@, 2\n#\n", {{closing(2)}}},      // an empty header, a block without stumps
      {"@, 9\n@, 2\n#\n", {{closing(2)}}},  // a header starting with "@" is still a header
      {"# \n@, 1\n# comment\n@, 3\n#\n", {{closing(1)}, {closing(3)}}},  // "#..." is a header
      {"h\n@1.25\n#\n", {{closing(1.25f)}}},  // no ", ": the text after the "@"
      {"h\n@,5\n#\n", {{closing(0)}}},        // ",5" is not a number
      {"h\n@x, 2, 7\n#\n", {{closing(2)}}},   // the text after the first ", "
      {"h\r\n1, 3, 1, 0.5, 0.25, 0\r\n@, 0.5\r\n#\r\n",
       {{stump(3, 1, 0.5f, 0.25f), closing(0.5f)}}},
      {"h\n1, 3, 1, 0.5, 0.25, 0.75, 99, x\n@, 0\n#\n",
       {{stump(3, 1, 0.5f, 0.25f, 0.75f), closing(0)}}},
      {"h\nx, abc, +1x, .5e1, 0x1p-2, \n@, -inf\n#", {{stump(0, 1, 5.0f, 0.25f), closing(-kInf)}}},
      {"h\n1,  0x10, 2, inf, -INFINITY, 1e-45\n@, 1e39\n#\n",  // atoi stops at the "x"
       {{stump(0, 2, kInf, -kInf, kTiny), closing(kInf)}}},
      {"h\n1, 4294967308, 4294967295, -0, 0, 0\n@, 0\n#\n",  // atoi wraps modulo 2^32
       {{stump(12, -1, -0.0f, 0.0f), closing(0)}}},
      {"a\n1, 189, 1, 1, 1, 1\n@, 1\nb\n2, 0, -1, 2, 2, 2\n@, 2\n#\n",
       {{stump(189, 1, 1, 1, 1), closing(1)}, {stump(0, -1, 2, 2, 2), closing(2)}}},
      {longLine + "\n1, 5, 1, 0, 1, 2, " + longLine + "\n@, 0\n#\n",
       {{stump(5, 1, 0, 1, 2), closing(0)}}},
  };
  for (const auto& [text, expected] : rows) {
    StumpCascade cascade;
    const Status status = parseStumpCascade(text, "m", cascade);
    EXPECT_TRUE(status.ok()) << text << "\n" << status.message();
    EXPECT_TRUE(sameCascade(cascade, expected)) << text;
  }
}

TEST(ParseStumpCascadeTest, RejectedGrammarNamesTheLine) {
  const std::string inside = "the file ends inside the stage that starts at line ";
  const std::pair<std::string, std::string> rows[] = {
      {"", "m.txt:1: the file ends before its \"#\" terminator line"},
      {"h\n@, 1\n", "m.txt:3: the file ends before its \"#\" terminator line"},
      {"h\n@, 1\n#\r\r\n", "m.txt:4: " + inside + "3, before its \"@\" closing line"},
      {"h\n1, 2, 1, 0, 1, 1\n", "m.txt:3: " + inside + "1, before its \"@\" closing line"},
      {"h\n1, 2, 1, 0.5, 1\n@, 0\n#\n", "m.txt:2: stump line has only 5 of its 6 fields"},
      {"h\n1,2,1,0,1,1\n@, 0\n#\n", "m.txt:2: stump line has only 1 of its 6 fields"},
      {"h\n#\n", "m.txt:2: stump line has only 1 of its 6 fields"},  // no terminator inside a block
      {"h\n@\nh\n1, 190, 1, 0, 1, 1\n@, 0\n#\n", "m.txt:4: feature index 190 is outside 0..189"},
      {"h\n1, -1, 0, 0, 1, 1\n@, 0\n#\n",
       "m.txt:2: feature index -1 is outside 0..189"},  // abstaining too
  };
  for (const auto& [text, message] : rows) {
    StumpCascade cascade{{closing(7)}};
    EXPECT_EQ(parseStumpCascade(text, "m.txt", cascade).message().substr(0, message.size()),
              message)
        << text;
    EXPECT_TRUE(sameCascade(cascade, {{closing(7)}})) << "left unchanged on failure: " << text;
  }
}

TEST(LoadStumpCascadeTest, AppendsFromTheFileOrSaysWhyNot) {
  const std::filesystem::path dir = testing::TempDir();
  const std::string path = (dir / "classifier_load.txt").string();
  std::ofstream(path, std::ios::binary) << "h\n1, 2, 1, 0, 1, 1\n@, 3\n#";
  StumpCascade cascade{{closing(1)}};
  ASSERT_TRUE(loadStumpCascade(path, cascade).ok());
  EXPECT_TRUE(sameCascade(cascade, {{closing(1)}, {stump(2, 1, 0, 1, 1), closing(3)}}));
  std::ofstream(path, std::ios::binary) << "h\n";
  EXPECT_EQ(
      loadStumpCascade(path, cascade).message(),
      path + ":2: " +
          "the file ends inside the stage that starts at line 1, before its \"@\" closing line");
  EXPECT_EQ(loadStumpCascade("/nonexistent/m.txt", cascade).message(),
            "cannot read model '/nonexistent/m.txt': No such file or directory");
  EXPECT_EQ(loadStumpCascade(dir.string(), cascade).message(),
            "cannot read model '" + dir.string() + "': Is a directory");
}

TEST(FormatStumpCascadeTest, WritesTheGrammarWithNineDigitsAndSafeHeaders) {
  EXPECT_EQ(
      formatStumpCascade({{stump(12, -1, 0.35f, 0.82f, 0.11f), closing(1.5f)}, {closing(-0.0f)}}),
      "stage 1\n1, 12, -1, 0.349999994, 0.819999993, 0.109999999\n@, 1.5\nstage 2\n@, -0\n#\n");
  EXPECT_EQ(formatStumpCascade({{closing(1)}, {closing(2)}, {closing(3)}}, {"#", "a\nb\r", "#\r"}),
            "# stage 1\n@, 1\na b \n@, 2\n# \n@, 3\n#\n");
}

// Signed zeros, infinities, subnormals, extremes, NaNs of both signs, nine-digit values, and
// polarities that abstain; then random bit patterns (NaNs keep only their sign).
StumpCascade awkwardCascade() {
  const float values[] = {-0.0f,          0.0f,
                          kInf,           -kInf,
                          kTiny,          1.17549435e-38f,
                          3.40282347e38f, -3.40282347e38f,
                          0.1f,           1.0f / 3.0f,
                          1.00000012f,    16777215.0f,
                          std::nanf(""),  -std::nanf("")};
  const int polarities[] = {
      1, -1, 0, 2, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()};
  CascadeStage stage, random;
  for (size_t i = 0; i < std::size(values); ++i) {
    stage.push_back(stump(int(i * 13 % 190), polarities[i % 6], values[i], values[(i + 5) % 14],
                          values[(i + 9) % 14]));
  }
  stage.push_back(closing(kTiny));
  std::mt19937 bits(12345);
  const auto next = [&] {
    float v = std::bit_cast<float>(uint32_t(bits()));
    return std::isnan(v) ? std::copysign(std::nanf(""), v) : v;
  };
  for (int i = 0; i < 20000; ++i) random.push_back(stump(i % 190, 1, next(), next(), next()));
  random.push_back(closing(next()));
  return {{closing(-0.0f)}, stage, random, {stump(189, 1, 2.5f, 0.5f), closing(-std::nanf(""))}};
}

TEST(SaveStumpCascadeTest, LoadingGivesTheCascadeBackBitForBit) {
  const std::string path =
      (std::filesystem::path(testing::TempDir()) / "classifier_save.txt").string();
  const StumpCascade cascade = awkwardCascade();
  for (const std::vector<std::string>& headers :
       {std::vector<std::string>{}, {"#", "@, 5", "1, 2, 3, 4, 5, 6", ""}}) {
    std::filesystem::remove(path);
    ASSERT_TRUE(saveStumpCascade(path, cascade, headers).ok());
    StumpCascade loaded;
    ASSERT_TRUE(loadStumpCascade(path, loaded).ok());
    EXPECT_TRUE(sameCascade(loaded, cascade));
  }
  EXPECT_EQ(saveStumpCascade(path, {{closing(1)}, {}}).message(),
            "cannot save model '" + path + "': stage 2 has no records, not even a threshold");
  EXPECT_EQ(
      saveStumpCascade(path, {{stump(3, 1, 0, 1), stump(190, 5, 0, 1), closing(1)}}).message(),
      "cannot save model '" + path + "': stage 1, stump 2: feature index 190 is outside 0..189");
  EXPECT_FALSE(saveStumpCascade("/nonexistent/m.txt", cascade).ok());
}

// Damaged model files: what the parser accepts is well formed and writes back to the same records;
// what it refuses it refuses with the name and a line, leaving the cascade alone.
TEST(ParseStumpCascadeTest, DamagedFilesNeverYieldMalformedCascades) {
  StumpCascade small = awkwardCascade();
  small.erase(small.begin() + 2);
  const std::string model = formatStumpCascade(small, {"@ header"});
  const std::string alphabet = "#@, \n\r0123456789-.xe";
  std::mt19937 random(7);
  int accepted = 0;
  for (int trial = 0; trial < 3000; ++trial) {
    std::string text = model;
    for (int edit = 0; edit < 3; ++edit) {
      const size_t at = random() % text.size();
      const char c = alphabet[random() % alphabet.size()];
      if (random() % 2)
        text.insert(at, 1, c);
      else
        text[at] = c;
    }
    StumpCascade cascade;
    const Status status = parseStumpCascade(text, "fuzz", cascade);
    if (!status.ok()) {
      EXPECT_TRUE(status.message().starts_with("fuzz:") && cascade.empty()) << status.message();
      continue;
    }
    ++accepted;
    for (const CascadeStage& stage : cascade) {
      ASSERT_FALSE(stage.empty());
      EXPECT_EQ(stage.back().featureIndex, -1);
      EXPECT_TRUE(std::all_of(stage.begin(), stage.end() - 1, [](const StumpRecord& r) {
        return r.featureIndex >= 0 && r.featureIndex < kFeatureCount;
      })) << text;
    }
    StumpCascade again;
    ASSERT_TRUE(parseStumpCascade(formatStumpCascade(cascade), "again", again).ok()) << text;
    EXPECT_TRUE(sameCascade(again, cascade)) << text;
  }
  EXPECT_GT(accepted, 100);  // enough damaged files still load to test anything
}

}  // namespace
}  // namespace scenetext::classifier
