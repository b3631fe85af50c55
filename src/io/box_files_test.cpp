#include "io/box_files.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace scenetext::io {
namespace {

struct AcceptedWord {
  std::string line;
  WordBox word;
};

TEST(ParseGroundTruth, AcceptsBothStylesAndAnyWordInsideTheQuotes) {
  const std::vector<AcceptedWord> rows = {
      {R"(158 128 411 181 "Footpath")", {158, 128, 411, 181, "Footpath", false}},
      {R"(158, 128, 411, 181, "Footpath")", {158, 128, 411, 181, "Footpath", false}},
      {R"(1,2,3,4,"a")", {1, 2, 3, 4, "a", false}},
      {R"(-3 0 5 5 "x")", {-3, 0, 5, 5, "x", false}},
      {R"(1, 2, 3, 4, "###")", {1, 2, 3, 4, "###", true}},
      {R"(1 2 3 4 "####")", {1, 2, 3, 4, "####", false}},
      {R"(1 2 3 4 "two words")", {1, 2, 3, 4, "two words", false}},
      {R"(1 2 3 4 "XML,")", {1, 2, 3, 4, "XML,", false}},
      {R"(1 2 3 4 "say "hi"")", {1, 2, 3, 4, R"(say "hi")", false}},
      {R"(1 2 3 4 "\"HOT\"")", {1, 2, 3, 4, R"("HOT")", false}},
      {R"(1 2 3 4 "")", {1, 2, 3, 4, "", false}},
  };
  for (const AcceptedWord& row : rows) {
    auto words = parseGroundTruth(row.line + "\n", "gt_1.txt");
    ASSERT_TRUE(words.ok()) << row.line << " -> " << words.status().message();
    ASSERT_EQ(words->size(), 1u) << row.line;
    EXPECT_EQ(words->front(), row.word) << row.line << " -> '" << words->front().text << "'";
  }
}

struct RejectedLine {
  std::string line;
  std::string problem;
};

TEST(ParseGroundTruth, RejectsMalformedLinesNamingFileLineAndProblem) {
  const std::vector<RejectedLine> rows = {
      {R"(1 2 3 "a")", "expected 4 coordinates (left top right bottom) before the word, found 3"},
      {R"(1 2 3 4 5 "a")",
       "expected 4 coordinates (left top right bottom) before the word, found 5"},
      {R"(1 2 3 4 Footpath)", "expected a quoted word after the coordinates"},
      {R"(1, 2, 3, 4,)", "expected a quoted word after the coordinates"},
      {R"(1 2 3 4 "open)", "the word has no closing quote"},
      {R"(1 2 3 4 "a" extra)", "unexpected text after the word: ' extra'"},
      {R"(1 2 x 4 "a")", "expected an integer, found 'x'"},
      {R"(1.5 2 3 4 "a")", "expected an integer, found '1.5'"},
      {R"(1,,2,3,4,"a")", "expected a number, found ','"},
      {R"(99999999999 2 3 4 "a")", "number '99999999999' is out of range"},
      {R"(9 2 3 4 "a")", "right 3 is less than left 9"},
      {R"("a")", "expected 4 coordinates (left top right bottom) before the word, found 0"},
  };
  for (const RejectedLine& row : rows) {
    auto words = parseGroundTruth(row.line + "\n", "gt_1.txt");
    ASSERT_FALSE(words.ok()) << row.line;
    EXPECT_EQ(words.status().message(), "gt_1.txt:1: " + row.problem) << row.line;
  }
}

TEST(ParseGroundTruth, ToleratesByteOrderMarkCrlfAndBlankLinesAndCountsLinesAsWritten) {
  const std::string file =
      "\xEF\xBB\xBF"
      "1 2 3 4 \"a\"\r\n\r\n  \t \r\n5, 6, 7, 8, \"b\"\r\n";
  auto words = parseGroundTruth(file, "gt_1.txt");
  ASSERT_TRUE(words.ok()) << words.status().message();
  ASSERT_EQ(words->size(), 2u);
  EXPECT_EQ(words->at(0), (WordBox{1, 2, 3, 4, "a", false}));
  EXPECT_EQ(words->at(1), (WordBox{5, 6, 7, 8, "b", false}));

  auto broken = parseGroundTruth(file + "\r\n9 9 9 \"c\"", "dir/gt_7.txt");  // no final newline
  ASSERT_FALSE(broken.ok());
  EXPECT_EQ(
      broken.status().message(),
      "dir/gt_7.txt:6: expected 4 coordinates (left top right bottom) before the word, found 3");
}

TEST(ParseDetections, AcceptsTheDetectorsBoxListAndCommaSpacing) {
  const std::vector<std::pair<std::string, Box>> rows = {
      {"20,40,220,90", {20, 40, 220, 90}},
      {"20, 40, 220, 90", {20, 40, 220, 90}},
      {"20 40 220 90", {20, 40, 220, 90}},
  };
  for (const auto& [line, box] : rows) {
    auto boxes = parseDetections(line + "\r\n", "1.jpg.txt");
    ASSERT_TRUE(boxes.ok()) << line << " -> " << boxes.status().message();
    ASSERT_EQ(boxes->size(), 1u) << line;
    EXPECT_EQ(boxes->front(), box) << line;
  }
}

TEST(ParseDetections, ReadsAnOptionalScoreAsTheFifthField) {
  struct Row {
    std::string line;
    Detection detection;
  };
  const std::vector<Row> rows = {
      {"20,40,220,90", {{20, 40, 220, 90}, std::nullopt}},
      {"20,40,220,90,0.93", {{20, 40, 220, 90}, 0.93}},
      {"20, 40, 220, 90, -2", {{20, 40, 220, 90}, -2.0}},
      {"20 40 220 90 1e-3", {{20, 40, 220, 90}, 0.001}},
      {"20,40,220,90,+.5", {{20, 40, 220, 90}, 0.5}},
      {"20,40,220,90,7", {{20, 40, 220, 90}, 7.0}},
  };
  for (const Row& row : rows) {
    auto detections = parseScoredDetections(row.line + "\n", "1.jpg.txt");
    ASSERT_TRUE(detections.ok()) << row.line << " -> " << detections.status().message();
    ASSERT_EQ(detections->size(), 1u) << row.line;
    EXPECT_EQ(detections->front(), row.detection) << row.line;
  }
  auto boxes = parseDetections("1,2,3,4,0.5\n", "1.jpg.txt");
  ASSERT_TRUE(boxes.ok()) << boxes.status().message();
  EXPECT_EQ(*boxes, std::vector<Box>{(Box{1, 2, 3, 4})});
}

TEST(ParseDetections, RejectsOtherShapesOfLine) {
  const std::string expected =
      "expected 4 numbers (left,top,right,bottom) and an optional score, found ";
  const std::vector<RejectedLine> rows = {
      {"1,2,3", expected + "3"},
      {"1,2,3,4,5,6", expected + "6"},
      {"1,2,3,2,3,4,1,4", expected + "8; quadrilateral boxes are not supported"},
      {"1,2,3,4,", "expected a number after ','"},
      {"1,2,3,4 \"word\"", "expected a number for the score, found '\"word\"'"},
      {"1,2,3,4,high", "expected a number for the score, found 'high'"},
      {"1,2,3,4,0.5x", "expected a number for the score, found '0.5x'"},
      {"1,2,3,4,nan", "score 'nan' is not a finite number"},
      {"1,2,3,4,-inf", "score '-inf' is not a finite number"},
      {"1,2,3,4,1e999", "score '1e999' is out of range"},
      {"1,2,3,0.5", "expected an integer, found '0.5'"},
      {"5,2,3,4", "right 3 is less than left 5"},
      {"5,2,3,4,0.5", "right 3 is less than left 5"},
      {"1,2,3,4;", "expected an integer, found '4;'"},
      {"1,2,3," + std::string(40, '7'), "number '777777777777777777777777...' is out of range"},
  };
  for (const RejectedLine& row : rows) {
    auto boxes = parseScoredDetections("0,0,1,1\n" + row.line + "\n", "res_1.txt");
    ASSERT_FALSE(boxes.ok()) << row.line;
    EXPECT_EQ(boxes.status().message(), "res_1.txt:2: " + row.problem) << row.line;
  }
}

TEST(ParseDetections, KeepsEveryBoxInFileOrderAndAnEmptyFileHasNone) {
  auto boxes = parseDetections(
      "\xEF\xBB\xBF"
      "10,0,20,5\n\n0,0,4,4\n10,0,20,5",
      "1.jpg.txt");
  ASSERT_TRUE(boxes.ok()) << boxes.status().message();
  EXPECT_EQ(*boxes, (std::vector<Box>{{10, 0, 20, 5}, {0, 0, 4, 4}, {10, 0, 20, 5}}));
  auto none = parseDetections("\r\n", "2.jpg.txt");
  ASSERT_TRUE(none.ok());
  EXPECT_TRUE(none->empty());
}

TEST(FormatGroundTruth, WritesEitherStyleAndReadsBackToTheSameWords) {
  const std::vector<WordBox> words = {
      {158, 128, 411, 181, "Footpath", false},
      {0, 0, 0, 0, "two words, one comma", false},
      {-3, 7, 5, 9, "say \"hi\"", false},
      {1, 2, 3, 4, "###", true},
      {1, 2, 3, 4, "", false},
  };
  EXPECT_EQ(formatGroundTruth({words[0]}), "158, 128, 411, 181, \"Footpath\"\n");
  EXPECT_EQ(formatGroundTruth({words[0]}, GroundTruthStyle::kSpaces),
            "158 128 411 181 \"Footpath\"\n");
  EXPECT_EQ(formatGroundTruth({}), "");
  for (GroundTruthStyle style : {GroundTruthStyle::kCommas, GroundTruthStyle::kSpaces}) {
    const std::string text = formatGroundTruth(words, style);
    Result<std::vector<WordBox>> read = parseGroundTruth(text, "gt.txt");
    ASSERT_TRUE(read.ok()) << read.status().message() << "\n" << text;
    EXPECT_EQ(*read, words) << text;
  }
}

TEST(FormatBoxList, ScalesEveryBoxAndReadsBackInOrder) {
  const BoxList boxes = {{10, 0, 20, 5}, {0, 0, 4, 4}, {3, 1, 3, 1}};
  EXPECT_EQ(formatBoxList(boxes, 1), "10,0,20,5\n0,0,4,4\n3,1,3,1\n");
  EXPECT_EQ(formatBoxList(boxes, 2), "20,0,40,10\n0,0,8,8\n6,2,6,2\n");
  EXPECT_EQ(formatBoxList({}, 3), "");
  for (int factor : {1, 3}) {
    Result<std::vector<Box>> read = parseDetections(formatBoxList(boxes, factor), "boxes.txt");
    ASSERT_TRUE(read.ok()) << read.status().message();
    ASSERT_EQ(read->size(), boxes.size());
    for (size_t i = 0; i < boxes.size(); ++i) {
      const Box& b = boxes[i];
      EXPECT_EQ((*read)[i],
                (Box{b.left * factor, b.top * factor, b.right * factor, b.bottom * factor}));
    }
  }
}

TEST(FormatScoredBoxList, AppendsTheScoreWithSixDecimals) {
  EXPECT_EQ(formatScoredBoxList({{{20, 40, 220, 90}, 0.5, {}}, {{0, 0, 0, 0}, 0.1234567, {}}}),
            "20,40,220,90,0.500000\n0,0,0,0,0.123457\n");
  EXPECT_EQ(formatScoredBoxList({}), "");
}

TEST(FormatWordBoxList, ListsEveryWordOfEveryLineInOrderWithItsLineScore) {
  const std::vector<InputLine> lines{
      {{20, 40, 220, 90}, 0.5, {{20, 40, 100, 90}, {130, 42, 220, 88}}},
      {{0, 100, 50, 120}, 0.75, {{2, 101, 48, 119}}}};
  EXPECT_EQ(formatWordBoxList(lines, false), "20,40,100,90\n130,42,220,88\n2,101,48,119\n");
  EXPECT_EQ(formatWordBoxList(lines, true),
            "20,40,100,90,0.500000\n130,42,220,88,0.500000\n2,101,48,119,0.750000\n");
  EXPECT_EQ(formatWordBoxList({}, true), "");
}

}  // namespace
}  // namespace scenetext::io
