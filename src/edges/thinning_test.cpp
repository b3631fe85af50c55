#include "edges/thinning.hpp"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <string>
#include <vector>

#include "straightforward/thinning.hpp"

namespace scenetext::edges {
namespace {

// Shapes as text, one string per row: '#' foreground (255.0), '.' background.
cv::Mat fromPicture(const std::vector<std::string>& rows) {
  cv::Mat t(static_cast<int>(rows.size()), static_cast<int>(rows[0].size()), CV_32FC1);
  for (int r = 0; r < t.rows; ++r)
    for (int c = 0; c < t.cols; ++c) t.at<float>(r, c) = rows[r][c] == '#' ? 255.0f : 0.0f;
  return t;
}

// The matrix as text, '#' for 1.0, '.' for 0.0, '?' for anything else, rows ended by '\n'.
std::string toText(const cv::Mat& t) {
  std::string text;
  for (int r = 0; r < t.rows; ++r, text += '\n')
    for (int c = 0; c < t.cols; ++c)
      text += t.at<float>(r, c) == 1.0f ? '#' : t.at<float>(r, c) == 0.0f ? '.' : '?';
  return text;
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
    EXPECT_EQ(toText(t), join(c.expected)) << c.name;
  }
}

// The thinning read literally: single-precision working matrices with a frame, neighbours
// truncated to integers, convergence by element-wise comparison of whole iterations.
cv::Mat literalThinning(const cv::Mat& t) {
  cv::Mat p = cv::Mat::zeros(t.rows + 2, t.cols + 2, CV_32FC1);
  p(cv::Rect(1, 1, t.cols, t.rows)).setTo(1.0f, t >= 0.5f);
  auto pass = [](const cv::Mat& src, int which) {
    cv::Mat dst = src.clone();
    for (int r = 1; r + 1 < src.rows; ++r)
      for (int c = 1; c + 1 < src.cols; ++c) {
        if (src.at<float>(r, c) != 1.0f) continue;
        auto x = [&](int dr, int dc) { return static_cast<int>(src.at<float>(r + dr, c + dc)); };
        const int x1 = x(0, 1), x2 = x(-1, 1), x3 = x(-1, 0), x4 = x(-1, -1), x5 = x(0, -1),
                  x6 = x(1, -1), x7 = x(1, 0), x8 = x(1, 1);
        const int crossings =
            ((x1 || x2) && !x3) + ((x3 || x4) && !x5) + ((x5 || x6) && !x7) + ((x7 || x8) && !x1);
        const int s1 = (x1 || x2) + (x3 || x4) + (x5 || x6) + (x7 || x8);
        const int s2 = (x2 || x3) + (x4 || x5) + (x6 || x7) + (x8 || x1);
        const int n = std::min(s1, s2);
        const bool own = which == 1 ? (x1 && (x2 || x3 || !x8)) : (x5 && (x6 || x7 || !x4));
        if (crossings == 1 && n >= 2 && n <= 3 && !own) dst.at<float>(r, c) = 0.0f;
      }
    return dst;
  };
  for (bool converged = false; !converged;) {
    const cv::Mat b = pass(pass(p, 1), 2);
    converged = cv::countNonZero(b != p) == 0;
    b.copyTo(p);
  }
  return p(cv::Rect(1, 1, t.cols, t.rows)).clone();
}

TEST(ThinEdgesTest, EqualsTheLiteralReadingOnRandomBlobs) {
  cv::RNG rng(4242);
  for (int trial = 0; trial < 200; ++trial) {
    // Noise (odd trials) or overlapping filled rectangles and discs: thick parts, holes,
    // touching corners.
    cv::Mat t = cv::Mat::zeros(rng.uniform(3, 30), rng.uniform(3, 30), CV_32FC1);
    if (trial % 2) {
      cv::Mat u(t.size(), CV_32FC1);
      rng.fill(u, cv::RNG::UNIFORM, 0.0f, 1.0f);
      t.setTo(255, u > 0.4f);
    }
    for (int k = trial % 2 ? 0 : rng.uniform(1, 6); k > 0; --k) {
      const cv::Point centre(rng.uniform(0, t.cols), rng.uniform(0, t.rows));
      if (rng.uniform(0, 2))
        cv::circle(t, centre, rng.uniform(1, 8), cv::Scalar(255), cv::FILLED);
      else
        cv::rectangle(t, cv::Rect(centre, cv::Size(rng.uniform(1, 12), rng.uniform(1, 12))),
                      cv::Scalar(rng.uniform(0, 2) ? 255 : 0), cv::FILLED);
    }
    // The 8-bit form sees the same foreground in any non-zero byte and writes 255 for 1.0.
    cv::Mat bytes;
    t.convertTo(bytes, CV_8U);
    if (trial % 3 == 0) bytes.setTo(rng.uniform(1, 255), bytes == 255);
    const cv::Mat expected = literalThinning(t);
    thinEdges(t);
    ASSERT_EQ(toText(t), toText(expected)) << "trial " << trial;
    thinEdgeBytes(bytes);
    cv::Mat keptBytes;
    t.convertTo(keptBytes, CV_8U, 255.0);
    ASSERT_EQ(cv::countNonZero(bytes != keptBytes), 0) << "trial " << trial;
  }
}

}  // namespace
}  // namespace scenetext::edges
