// Replays every input the fuzzers ever failed on (fuzz/regressions/TARGET/) and every seed
// (fuzz/corpus/TARGET/) through the fuzz targets' own entry functions, one test per file, so that
// a fixed crash stays fixed in the normal build, without libFuzzer.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "common/test_support.hpp"
#include "hardening/fuzz_entries.hpp"

namespace scenetext::hardening {
namespace {

namespace fs = std::filesystem;

struct KeptInput {
  std::string target;
  fs::path path;
};

std::vector<KeptInput> keptInputs() {
  std::vector<KeptInput> inputs;
  for (const FuzzTarget& target : fuzzTargets()) {
    for (const char* kind : {"regressions", "corpus"}) {
      const fs::path folder = fs::path(SCENETEXT_SOURCE_DIR) / "fuzz" / kind / target.name;
      if (!fs::is_directory(folder)) continue;
      for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.is_regular_file()) inputs.push_back({target.name, entry.path()});
      }
    }
  }
  std::sort(inputs.begin(), inputs.end(),
            [](const KeptInput& a, const KeptInput& b) { return a.path < b.path; });
  return inputs;
}

class KeptInputTest : public ::testing::TestWithParam<KeptInput> {};

TEST_P(KeptInputTest, RunsThroughItsTarget) {
  const KeptInput& input = GetParam();
  const auto target = std::find_if(fuzzTargets().begin(), fuzzTargets().end(),
                                   [&](const FuzzTarget& t) { return t.name == input.target; });
  ASSERT_NE(target, fuzzTargets().end());
  // A broken invariant aborts the test program, naming this test.
  target->entry(testing::slurp(input.path));
}

std::string testName(const ::testing::TestParamInfo<KeptInput>& info) {
  std::string name = info.param.path.parent_path().parent_path().filename().string() + "_" +
                     info.param.target + "_" + info.param.path.filename().string();
  std::replace_if(
      name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); },
      '_');
  return name;
}

INSTANTIATE_TEST_SUITE_P(Fuzz, KeptInputTest, ::testing::ValuesIn(keptInputs()), testName);

TEST(KeptInputs, EveryTargetHasSeeds) {
  for (const FuzzTarget& target : fuzzTargets()) {
    const fs::path folder = fs::path(SCENETEXT_SOURCE_DIR) / "fuzz" / "corpus" / target.name;
    ASSERT_TRUE(fs::is_directory(folder)) << folder;
    EXPECT_FALSE(fs::is_empty(folder)) << folder;
  }
}

}  // namespace
}  // namespace scenetext::hardening
