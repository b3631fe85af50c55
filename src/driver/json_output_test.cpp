#include "driver/json_output.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace scenetext::driver {
namespace {

TEST(FormatJsonReportTest, NamedFieldsInTheDocumentedOrder) {
  ImageReport report{"photos/a b.jpg",
                     640,
                     480,
                     regions::CandidateMode::kExtended,
                     "models/extended.model",
                     {{{1, 2, 30, 40}, 0.75, {{1, 2, 12, 40}, {18, 5, 30, 39}}},
                      {{5, 6, 7, 8}, 1.0, {{5, 6, 7, 8}}}}};
  EXPECT_EQ(formatJsonReport(report),
            R"({"image":"photos/a b.jpg","width":640,"height":480,"candidates":"extended",)"
            R"("model":"models/extended.model","lines":[{"left":1,"top":2,"right":30,)"
            R"("bottom":40,"score":0.75,"words":[{"left":1,"top":2,"right":12,"bottom":40},)"
            R"({"left":18,"top":5,"right":30,"bottom":39}]},{"left":5,"top":6,"right":7,)"
            R"("bottom":8,"score":1.0,"words":[{"left":5,"top":6,"right":7,"bottom":8}]}]})");
  report.lines.clear();
  report.candidates = regions::CandidateMode::kExact;
  const nlohmann::json parsed = nlohmann::json::parse(formatJsonReport(report));
  EXPECT_EQ(parsed["candidates"], "exact");
  EXPECT_TRUE(parsed["lines"].is_array());
  EXPECT_TRUE(parsed["lines"].empty());
}

TEST(FormatJsonReportTest, ScoresReadBackExactly) {
  for (double score : {0.5, 0.500001, 0.723457, 0.999999}) {
    ImageReport report{"a.jpg", 1,
                       1,       regions::CandidateMode::kExact,
                       "m",     {{{0, 0, 0, 0}, score, {{0, 0, 0, 0}}}}};
    const nlohmann::json parsed = nlohmann::json::parse(formatJsonReport(report));
    EXPECT_EQ(parsed["lines"][0]["score"].get<double>(), score);
  }
}

TEST(FormatJsonErrorTest, EscapesTheTextAndReplacesBytesThatAreNotUtf8) {
  EXPECT_EQ(formatJsonError("dir/\"q\".png", "cannot read image: bad\nheader"),
            R"({"image":"dir/\"q\".png","error":"cannot read image: bad\nheader"})");
  const nlohmann::json parsed =
      nlohmann::json::parse(formatJsonError(std::string("caf\xe9.jpg"), "not a readable image"));
  EXPECT_EQ(parsed["image"], "caf\xef\xbf\xbd.jpg");
}

}  // namespace
}  // namespace scenetext::driver
