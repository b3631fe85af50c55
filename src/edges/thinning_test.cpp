#include "edges/thinning.hpp"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <string>
#include <vector>

namespace scenetext::edges {
namespace {

// Shapes as text, one string per row: '#' foreground (255.0), '.' background.
cv::Mat fromPicture(const std::vector<std::string>& rows) {
  cv::Mat t(static_cast<int>(rows.size()), static_cast<int>(rows[0].size()), CV_32FC1);
  for (int r = 0; r < t.rows; ++r)
    for (int c = 0; c < t.cols; ++c) t.at<float>(r, c) = rows[r][c] == '#' ? 255.0f : 0.0f;
  return t;
}

std::vector<std::string> toPicture(const cv::Mat& t) {
  std::vector<std::string> rows;
  for (int r = 0; r < t.rows; ++r) {
    std::string row;
    for (int c = 0; c < t.cols; ++c) {
      const float v = t.at<float>(r, c);
      row += v == 1.0f ? '#' : v == 0.0f ? '.' : '?';
    }
    rows.push_back(row);
  }
  return rows;
}

std::string join(const std::vector<std::string>& rows) {
  std::string text;
  for (const std::string& row : rows) text += row + "\n";
  return text;
}

struct ThinningCase {
  const char* name;
  std::vector<std::string> input;
  std::vector<std::string> expected;
};

TEST(ThinEdgesTest, Shapes) {
  const ThinningCase cases[] = {
      {"empty", {"....", "...."}, {"....", "...."}},
      {"isolated pixel", {"...", ".#.", "..."}, {"...", ".#.", "..."}},
      {"straight line", {".....", ".###.", "....."}, {".....", ".###.", "....."}},
      {"diagonal line", {"#...", ".#..", "..#.", "...#"}, {"#...", ".#..", "..#.", "...#"}},
      {"2x2 block keeps its lower-left pixel",
       {"....", ".##.", ".##.", "...."},
       {"....", "....", ".#..", "...."}},
      {"3x3 block keeps its centre",
       {".....", ".###.", ".###.", ".###.", "....."},
       {".....", ".....", "..#..", ".....", "....."}},
      {"3x7 bar keeps its middle row without the ends",
       {".........", ".#######.", ".#######.", ".#######.", "........."},
       {".........", ".........", "..#####..", ".........", "........."}},
      {"L corner loses its corner and stays connected",
       {".......", ".#.....", ".#.....", ".#.....", ".#####.", "......."},
       {".......", ".#.....", ".#.....", ".#.....", "..####.", "......."}},
      {"block on the outer rows and columns thins like any other", {"##", "##"}, {"..", "#."}},
  };
  for (const ThinningCase& c : cases) {
    cv::Mat t = fromPicture(c.input);
    thinEdges(t);
    EXPECT_EQ(join(toPicture(t)), join(c.expected)) << c.name;
  }
}

TEST(ThinEdgesTest, ForegroundStartsAtOneHalf) {
  cv::Mat t(3, 5, CV_32FC1, cv::Scalar(0));
  t.at<float>(1, 1) = 0.5f;
  t.at<float>(1, 2) = 0.49999997f;
  t.at<float>(1, 3) = 7.0f;
  thinEdges(t);
  EXPECT_EQ(join(toPicture(t)), join({".....", ".#.#.", "....."}));
}

TEST(ThinEdgesTest, ThickRegionBecomesAnEightConnectedSkeleton) {
  // A filled 9 x 15 rectangle: thinning leaves a non-empty one-pixel skeleton with no 2 x 2
  // block of foreground, all of it one 8-connected piece inside the rectangle.
  cv::Mat t(13, 19, CV_32FC1, cv::Scalar(0));
  t(cv::Rect(2, 2, 15, 9)).setTo(255);
  thinEdges(t);
  int kept = 0;
  for (int r = 0; r < t.rows; ++r)
    for (int c = 0; c < t.cols; ++c) {
      if (t.at<float>(r, c) == 0.0f) continue;
      ASSERT_EQ(t.at<float>(r, c), 1.0f);
      EXPECT_TRUE(cv::Rect(2, 2, 15, 9).contains({c, r}));
      ++kept;
      if (r + 1 < t.rows && c + 1 < t.cols) {
        EXPECT_FALSE(t.at<float>(r, c + 1) && t.at<float>(r + 1, c) && t.at<float>(r + 1, c + 1))
            << "2x2 block at " << r << "," << c;
      }
    }
  ASSERT_GT(kept, 0);
  cv::Mat mask;
  t.convertTo(mask, CV_8U);
  cv::Mat labels;
  EXPECT_EQ(cv::connectedComponents(mask, labels, 8), 2);  // background and one piece
}

}  // namespace
}  // namespace scenetext::edges
