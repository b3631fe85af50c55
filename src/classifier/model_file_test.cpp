#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>

#include "classifier/stump_cascade.hpp"

namespace scenetext::classifier {
namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();

// Bit for bit, so that -0 differs from 0; NaNs match on their sign.
bool sameFloat(float a, float b) {
  if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b) && std::signbit(a) == std::signbit(b);
  return std::bit_cast<uint32_t>(a) == std::bit_cast<uint32_t>(b);
}
bool sameCascade(const StumpCascade& a, const StumpCascade& b) {
  if (a.size() != b.size()) return false;
  for (size_t k = 0; k < a.size(); ++k) {
    if (a[k].size() != b[k].size()) return false;
    for (size_t j = 0; j < a[k].size(); ++j) {
      const StumpRecord &x = a[k][j], &y = b[k][j];
      if (x.featureIndex != y.featureIndex || x.polarity != y.polarity || !sameFloat(x.reserved, y.reserved) ||
          !sameFloat(x.threshold, y.threshold) || !sameFloat(x.weight, y.weight) || !sameFloat(x.extra, y.extra))
        return false;
    }
  }
  return true;
}
StumpRecord stump(int index, int polarity, float threshold, float weight, float extra = 0.0f) {
  return {index, 0.0f, threshold, polarity, weight, extra};
}
StumpRecord closing(float t) { return {-1, -1.0f, t, -1, -1.0f, -1.0f}; }

TEST(ParseStumpCascadeTest, WorkedExampleKeepsRecordFieldOrder) {
  StumpCascade cascade;
  ASSERT_TRUE(parseStumpCascade("any header\n7, 12, -1, 0.35, 0.82, 0.11\n@, 1.5\n#\n", "m", cascade).ok());
  const StumpCascade expected{{{12, 0.0f, 0.35f, -1, 0.82f, 0.11f}, {-1, -1.0f, 1.5f, -1, -1.0f, -1.0f}}};
  EXPECT_TRUE(sameCascade(cascade, expected));
}

struct AcceptedRow { const char* text; StumpCascade expected; };

TEST(ParseStumpCascadeTest, AcceptedGrammar) {
  const std::string longHeader(1000, 'h');
  const AcceptedRow rows[] = {
      {"#\n", {}},
      {"#", {}},                                    // a final terminator needs no newline
      {"#\ngarbage after the terminator\n1, 2\n", {}},
      {"h\n@, 2\n#\n", {{closing(2.0f)}}},         // a block without stumps
      {"\n@, 2\n#\n", {{closing(2.0f)}}},          // an empty header
      {"@, 9\n@, 2\n#\n", {{closing(2.0f)}}},      // a header starting with "@" is still a header
      {"1, 2, 1, 3, 4, 5\n@, 2\n#\n", {{closing(2.0f)}}},
      {"# \n@, 1\n# comment\n@, 3\n#\n", {{closing(1.0f)}, {closing(3.0f)}}},  // "#..." is a header
      {"h\n@1.25\n#\n", {{closing(1.25f)}}},      // no ", ": the text after the "@"
      {"h\n@ -3\n#\n", {{closing(-3.0f)}}},
      {"h\n@,5\n#\n", {{closing(0.0f)}}},          // ",5" is not a number
      {"h\n@\n#\n", {{closing(0.0f)}}},
      {"h\n@x, 2, 7\n#\n", {{closing(2.0f)}}},     // the text after the first ", "
      {"h\r\n1, 3, 1, 0.5, 0.25, 0\r\n@, 0.5\r\n#\r\n", {{stump(3, 1, 0.5f, 0.25f), closing(0.5f)}}},
      {"h\n1, 3, 1, 0.5, 0.25, 0.75, 99, x\n@, 0\n#\n", {{stump(3, 1, 0.5f, 0.25f, 0.75f), closing(0.0f)}}},
      {"h\nx, abc, +1x, .5e1, 0x1p-2, \n@, -inf\n#", {{stump(0, 1, 5.0f, 0.25f), closing(-kInf)}}},
      {"h\n1,  0x10, 2, inf, -INFINITY, 1e-45\n@, 1e39\n#\n",   // atoi stops at the "x"
       {{stump(0, 2, kInf, -kInf, std::numeric_limits<float>::denorm_min()), closing(kInf)}}},
      {"h\n1, 4294967308, 4294967295, -0, 0, 0\n@, 0\n#\n",      // atoi wraps modulo 2^32
       {{stump(12, -1, -0.0f, 0.0f), closing(0.0f)}}},
      {"a\n1, 189, 1, 1, 1, 1\n@, 1\nb\n2, 0, -1, 2, 2, 2\n@, 2\n#\n",
       {{stump(189, 1, 1, 1, 1), closing(1)}, {stump(0, -1, 2, 2, 2), closing(2)}}},
  };
  for (const AcceptedRow& row : rows) {
    StumpCascade cascade;
    const Status status = parseStumpCascade(row.text, "m", cascade);
    EXPECT_TRUE(status.ok()) << row.text << "\n" << status.message();
    EXPECT_TRUE(sameCascade(cascade, row.expected)) << row.text;
  }
  StumpCascade cascade;
  ASSERT_TRUE(parseStumpCascade(longHeader + "\n1, 5, 1, 0, 1, 2, " + longHeader + "\n@, 0\n#\n", "m", cascade).ok());
  EXPECT_TRUE(sameCascade(cascade, {{stump(5, 1, 0, 1, 2), closing(0)}}));
}

TEST(ParseStumpCascadeTest, RejectedGrammarNamesTheLine) {
  const std::pair<const char*, const char*> rows[] = {
      {"", "m.txt:1: the file ends before its \"#\" terminator line"},
      {"h\n@, 1\n", "m.txt:3: the file ends before its \"#\" terminator line"},
      {"h\n@, 1\n#\r\r\n", "m.txt:4: the file ends inside the stage that starts at line 3, before its \"@\" closing line"},
      {"h\n1, 2, 1, 0, 1, 1\n", "m.txt:3: the file ends inside the stage that starts at line 1, before its \"@\" closing line"},
      {"h\n1, 2, 1, 0.5, 1\n@, 0\n#\n", "m.txt:2: stump line has only 5 of its 6 fields"},
      {"h\n1,2,1,0,1,1\n@, 0\n#\n", "m.txt:2: stump line has only 1 of its 6 fields"},
      {"h\n\n@, 0\n#\n", "m.txt:2: stump line has only 1 of its 6 fields"},
      {"h\n#\n", "m.txt:2: stump line has only 1 of its 6 fields"},   // no terminator inside a block
      {"h\n@\nh\n1, 190, 1, 0, 1, 1\n@, 0\n#\n", "m.txt:4: feature index 190 is outside 0..189"},
      {"h\n1, -1, 0, 0, 1, 1\n@, 0\n#\n", "m.txt:2: feature index -1 is outside 0..189"},  // abstaining too
  };
  for (const auto& [text, message] : rows) {
    StumpCascade cascade{{closing(7.0f)}};
    const Status status = parseStumpCascade(text, "m.txt", cascade);
    EXPECT_EQ(status.message().substr(0, std::string(message).size()), message) << text;
    EXPECT_TRUE(sameCascade(cascade, {{closing(7.0f)}})) << "left unchanged on failure: " << text;
  }
}

TEST(LoadStumpCascadeTest, ReadsFilesAndExplainsWhyNot) {
  const std::filesystem::path dir = testing::TempDir();
  const std::string path = (dir / "classifier_load.txt").string();
  std::ofstream(path, std::ios::binary) << "h\n1, 2, 1, 0, 1, 1\n";
  StumpCascade cascade{{closing(1.0f)}};  // the loader appends
  EXPECT_EQ(loadStumpCascade(path, cascade).message(),
            path + ":3: the file ends inside the stage that starts at line 1, before its \"@\" closing line");
  std::ofstream(path, std::ios::binary) << "h\n1, 2, 1, 0, 1, 1\n@, 3\n#";
  ASSERT_TRUE(loadStumpCascade(path, cascade).ok());
  EXPECT_TRUE(sameCascade(cascade, {{closing(1.0f)}, {stump(2, 1, 0, 1, 1), closing(3.0f)}}));
  EXPECT_EQ(loadStumpCascade("/nonexistent/m.txt", cascade).message(),
            "cannot read model '/nonexistent/m.txt': No such file or directory");
  EXPECT_EQ(loadStumpCascade(dir.string(), cascade).message(),
            "cannot read model '" + dir.string() + "': Is a directory");
}

// Values that a careless writer would lose: signed zeros, infinities, subnormals, the extremes,
// and values whose decimal form needs all nine digits.
StumpCascade awkwardCascade() {
  const float values[] = {-0.0f, 0.0f, kInf, -kInf, std::numeric_limits<float>::denorm_min(),
                          std::numeric_limits<float>::min(), std::numeric_limits<float>::max(),
                          -std::numeric_limits<float>::max(), 0.1f, 1.0f / 3.0f, std::nextafter(1.0f, 2.0f),
                          16777215.0f, -1.17549421e-38f, std::numeric_limits<float>::quiet_NaN()};
  StumpCascade cascade{{closing(-0.0f)}};
  const int polarities[] = {1, -1, 0, 2, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()};
  CascadeStage stage;
  for (size_t i = 0; i < std::size(values); ++i) {
    stage.push_back(stump(static_cast<int>(i * 13 % 190), polarities[i % 6], values[i],
                          values[(i + 5) % std::size(values)], values[(i + 9) % std::size(values)]));
  }
  stage.push_back(closing(std::numeric_limits<float>::denorm_min()));
  cascade.push_back(stage);
  cascade.push_back({stump(189, 1, 2.5f, 0.5f), closing(-std::numeric_limits<float>::quiet_NaN())});
  return cascade;
}

TEST(FormatStumpCascadeTest, WritesTheGrammarWithNineDigits) {
  const StumpCascade cascade{{stump(12, -1, 0.35f, 0.82f, 0.11f), closing(1.5f)}, {closing(-0.0f)}};
  EXPECT_EQ(formatStumpCascade(cascade),
            "stage 1\n1, 12, -1, 0.349999994, 0.819999993, 0.109999999\n@, 1.5\nstage 2\n@, -0\n#\n");
  // Headers that would break the grammar are made safe.
  EXPECT_EQ(formatStumpCascade({{closing(1)}, {closing(2)}, {closing(3)}}, {"#", "a\nb\r", "#\r"}),
            "# stage 1\n@, 1\na b \n@, 2\n# \n@, 3\n#\n");
}

TEST(FormatStumpCascadeTest, ParsingTheTextGivesTheCascadeBack) {
  const StumpCascade cascade = awkwardCascade();
  for (const std::vector<std::string>& headers :
       {std::vector<std::string>{}, {"#", "@, 5", "1, 2, 3, 4, 5, 6", "#\n#\r\n"}, {""}}) {
    StumpCascade parsed;
    ASSERT_TRUE(parseStumpCascade(formatStumpCascade(cascade, headers), "m", parsed).ok());
    EXPECT_TRUE(sameCascade(parsed, cascade));
  }
  // Every single-precision value, sampled across its bit patterns.
  std::mt19937 random(12345);
  CascadeStage stage;
  for (int i = 0; i < 20000; ++i) {
    const auto bits = [&] { return std::bit_cast<float>(static_cast<uint32_t>(random())); };
    stage.push_back(stump(i % 190, 1, bits(), bits(), bits()));
  }
  stage.push_back(closing(0.0f));
  StumpCascade parsed;
  ASSERT_TRUE(parseStumpCascade(formatStumpCascade({stage}), "m", parsed).ok());
  EXPECT_TRUE(sameCascade(parsed, {stage}));
}

TEST(SaveStumpCascadeTest, WritesWhatLoadsBackAndRefusesWhatCannot) {
  const std::filesystem::path dir = testing::TempDir();
  const std::string path = (dir / "classifier_save.txt").string();
  std::filesystem::remove(path);
  const StumpCascade cascade = awkwardCascade();
  ASSERT_TRUE(saveStumpCascade(path, cascade, {"first"}).ok());
  StumpCascade loaded;
  ASSERT_TRUE(loadStumpCascade(path, loaded).ok());
  EXPECT_TRUE(sameCascade(loaded, cascade));

  const std::string refused = (dir / "classifier_refused.txt").string();
  EXPECT_EQ(saveStumpCascade(refused, {{closing(1)}, {}}).message(),
            "cannot save model '" + refused + "': stage 2 has no records, not even a threshold");
  EXPECT_EQ(saveStumpCascade(refused, {{stump(3, 1, 0, 1), stump(190, 5, 0, 1), closing(1)}}).message(),
            "cannot save model '" + refused + "': stage 1, stump 2: feature index 190 is outside 0..189");
  EXPECT_FALSE(std::filesystem::exists(refused));
  EXPECT_FALSE(saveStumpCascade("/nonexistent/m.txt", cascade).ok());
}

// Damaged model files: whatever the parser accepts is a well-formed cascade that writes back to the
// same records; whatever it refuses it refuses with a line number and without touching the output.
TEST(ParseStumpCascadeTest, DamagedFilesNeverYieldMalformedCascades) {
  const std::string model = formatStumpCascade(awkwardCascade(), {"@ header"});
  const std::string alphabet = "#@, \n\r0123456789-.xe";
  std::mt19937 random(7);
  int accepted = 0;
  for (int trial = 0; trial < 3000; ++trial) {
    std::string text = model;
    for (int edit = 0; edit < 3; ++edit) {
      const size_t at = random() % (text.size() + 1);
      const char c = alphabet[random() % alphabet.size()];
      switch (random() % 3) {
        case 0: text.insert(at, 1, c); break;
        case 1: if (at < text.size()) text.erase(at, 1); break;
        default: if (at < text.size()) text[at] = c;
      }
    }
    StumpCascade cascade;
    const Status status = parseStumpCascade(text, "fuzz", cascade);
    if (!status.ok()) {
      EXPECT_EQ(status.message().rfind("fuzz:", 0), 0u) << status.message();
      EXPECT_TRUE(cascade.empty());
      continue;
    }
    ++accepted;
    for (const CascadeStage& stage : cascade) {
      ASSERT_FALSE(stage.empty());
      EXPECT_EQ(stage.back().featureIndex, -1);
      for (size_t j = 0; j + 1 < stage.size(); ++j) {
        EXPECT_TRUE(stage[j].featureIndex >= 0 && stage[j].featureIndex < kFeatureCount) << text;
      }
    }
    StumpCascade again;
    ASSERT_TRUE(parseStumpCascade(formatStumpCascade(cascade), "again", again).ok()) << text;
    EXPECT_TRUE(sameCascade(again, cascade)) << text;
  }
  EXPECT_GT(accepted, 100);  // the damage must leave enough files loadable to test anything
}

}  // namespace
}  // namespace scenetext::classifier
