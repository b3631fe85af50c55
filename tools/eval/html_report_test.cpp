#include "eval/html_report.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace scenetext::evaluation {
namespace {

// An image whose tally gives the wanted recall and precision (its boxes are not drawn here).
ImageEvaluation imageWith(const std::string& stem, double recallSum, double precisionSum) {
  ImageEvaluation image;
  image.files.stem = stem;
  image.score.tally = {2, 2, recallSum, precisionSum};
  return image;
}

std::vector<std::string> stems(const std::vector<const ImageEvaluation*>& images) {
  std::vector<std::string> names;
  for (const ImageEvaluation* image : images) names.push_back(image->files.stem);
  return names;
}

TEST(HtmlReport, ListsImagesWorstFirstThenInNaturalOrder) {
  const std::vector<ImageEvaluation> images = {imageWith("1", 2, 2), imageWith("10", 1, 1),
                                               imageWith("2", 0, 0), imageWith("9", 1, 1)};
  EXPECT_EQ(stems(worstFirst(images)), (std::vector<std::string>{"2", "9", "10", "1"}));
}

TEST(HtmlReport, EscapesTextAndLinks) {
  EXPECT_EQ(escapeHtml(R"(<a href="x">&'</a>)"),
            "&lt;a href=&quot;x&quot;&gt;&amp;&#39;&lt;/a&gt;");
  EXPECT_EQ(escapeUrlPath("overlays/a b#1%?.png"), "overlays/a%20b%231%25%3F.png");
  EXPECT_EQ(escapeUrlPath("thumbnails/caf\xC3\xA9.jpg"), "thumbnails/caf%C3%A9.jpg");
}

TEST(HtmlReport, PageHasTheFiguresTheRowsAndTheCurveOnlyWhenScored) {
  const std::vector<ImageEvaluation> images = {imageWith("good", 2, 2), imageWith("<bad>", 1, 2)};
  ReportContent content;
  content.images = &images;
  content.overlays["good"] = {"overlays/good 1.jpg", "thumbnails/good 1.jpg"};
  const std::string plain = formatHtmlReport(content);
  // Set: recall 3/4, precision 4/4.
  EXPECT_NE(plain.find("recall<b>0.750</b>"), std::string::npos) << plain;
  EXPECT_NE(plain.find("precision<b>1.000</b>"), std::string::npos);
  EXPECT_EQ(plain.find("AP<b>"), std::string::npos);
  EXPECT_EQ(plain.find("<svg"), std::string::npos);
  const size_t bad = plain.find(
      "<td class=\"stem\">&lt;bad&gt;</td><td>2</td><td>2</td><td>0.500</td>"
      "<td>1.000</td><td>0.667</td>");
  const size_t good = plain.find("<td class=\"stem\">good</td>");
  ASSERT_NE(bad, std::string::npos) << plain;
  ASSERT_NE(good, std::string::npos);
  EXPECT_LT(bad, good);
  EXPECT_NE(plain.find("<a href=\"overlays/good%201.jpg\"><img src=\"thumbnails/good%201.jpg\""),
            std::string::npos);
  EXPECT_EQ(plain.find("<script"), std::string::npos);
  EXPECT_EQ(plain.find("=\"http"), std::string::npos);

  content.curve = PrecisionRecallCurve{{{0.5, 1.0}, {1.0, 0.5}}, 0.75};
  const std::string scored = formatHtmlReport(content);
  EXPECT_NE(scored.find("AP<b>0.750</b>"), std::string::npos);
  // Recall 0.5 at x = 40 + 120, precision 1 at y = 40; recall 1 at x = 280, precision 0.5 at y =
  // 160.
  EXPECT_NE(scored.find("points=\"160.0,40.0 280.0,160.0 \""), std::string::npos) << scored;
}

}  // namespace
}  // namespace scenetext::evaluation
