#include "features/nearest_edge.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include <opencv2/core.hpp>

#include "straightforward/nearest_edge.hpp"

namespace scenetext::features {
namespace {

cv::Mat edgeMapWith(int rows, int cols, std::initializer_list<cv::Point> edgePixels) {
  cv::Mat e(rows, cols, CV_8UC1, cv::Scalar(0));
  for (const cv::Point& p : edgePixels) e.at<uchar>(p) = 255;
  return e;
}

cv::Point2f nearestAt(const cv::Mat& field, int row, int col) {
  const cv::Vec2f n = field.at<cv::Vec2f>(row, col);
  return {n[1], n[0]};  // as (x = column, y = row)
}

TEST(NearestEdgeTransform, SingleEdgePixelIsEveryonesNearestEdge) {
  for (const cv::Point edge : {cv::Point(0, 0), cv::Point(50, 23), cv::Point(95, 47)}) {
    const cv::Mat field = nearestEdgeTransform(edgeMapWith(48, 96, {edge}));
    ASSERT_EQ(field.type(), CV_32FC2);
    ASSERT_EQ(field.size(), cv::Size(96, 48));
    for (int i = 0; i < 48; ++i) {
      for (int j = 0; j < 96; ++j) {
        ASSERT_EQ(nearestAt(field, i, j), cv::Point2f(edge))
            << "pixel " << i << "," << j << " edge " << edge;
      }
    }
  }
}

TEST(NearestEdgeTransform, EdgePixelsMapToThemselves) {
  cv::Mat e(48, 96, CV_8UC1);
  cv::RNG rng(3);
  rng.fill(e, cv::RNG::UNIFORM, 0, 40);
  e = (e == 0);  // about one pixel in forty, as 255
  const cv::Mat field = nearestEdgeTransform(e);
  for (int i = 0; i < 48; ++i) {
    for (int j = 0; j < 96; ++j) {
      if (e.at<uchar>(i, j) == 255) {
        EXPECT_EQ(nearestAt(field, i, j), cv::Point2f(j, i));
      }
    }
  }
}

// Edge pixels at rows 0 and 4 of a column: row 2 lies exactly on the bound between the two
// parabolas and keeps the earlier source.
TEST(NearestEdgeTransform, TieGoesToTheEarlierSource) {
  const cv::Mat field = nearestEdgeTransform(edgeMapWith(5, 1, {{0, 0}, {0, 4}}));
  const std::vector<float> expectedRows = {0, 0, 0, 4, 4};
  for (int i = 0; i < 5; ++i)
    EXPECT_EQ(field.at<cv::Vec2f>(i, 0)[0], expectedRows[i]) << "row " << i;
}

TEST(NearestEdgeTransform, OnlyTheValue255IsAnEdge) {
  cv::Mat e = edgeMapWith(6, 6, {{4, 4}});
  e.at<uchar>(1, 1) = 1;
  e.at<uchar>(0, 5) = 254;
  const cv::Mat field = nearestEdgeTransform(e);
  EXPECT_EQ(nearestAt(field, 1, 1), cv::Point2f(4, 4));
  EXPECT_EQ(nearestAt(field, 0, 5), cv::Point2f(4, 4));
}

// The row pass copies dRow from the entry it has already rewritten for the winning column. Row 2
// after the column pass: column 0 costs 0 (edge at row 2), column 1 costs 4 (edge at row 4).
// Column 1 itself is won by column 0 (cost 1 < 4) and so takes dRow 0; column 3 is won by column
// 1 (cost 4 + 4 < 9) and copies that rewritten dRow, giving (2, 1), which is not an edge pixel.
TEST(NearestEdgeTransform, RowPassCopiesTheRewrittenRowOffset) {
  const cv::Mat field = nearestEdgeTransform(edgeMapWith(6, 5, {{0, 2}, {1, 4}}));
  EXPECT_EQ(nearestAt(field, 2, 1), cv::Point2f(0, 2));
  EXPECT_EQ(nearestAt(field, 2, 3), cv::Point2f(1, 2));
}

// The two passes put together from distanceTransform1D, as the transform is defined; the
// library's own passes (a division-free column pass among them) must give the same field.
cv::Mat literalNearestEdges(const cv::Mat& edges) {
  const int h = edges.rows, w = edges.cols;
  cv::Mat f(h, w, CV_32FC1);
  for (int i = 0; i < h; ++i) {
    for (int j = 0; j < w; ++j)
      f.at<float>(i, j) = edges.at<uchar>(i, j) == 255 ? 0.0f : kBackgroundCost;
  }
  cv::Mat offsets(h, w, CV_32FC2, cv::Scalar::all(0));
  for (int j = 0; j < w; ++j) {
    std::vector<float> column(h);
    for (int i = 0; i < h; ++i) column[i] = f.at<float>(i, j);
    const std::vector<float> out = distanceTransform1D(column, kColumnPass, offsets, j);
    for (int i = 0; i < h; ++i) f.at<float>(i, j) = out[i];
  }
  for (int i = 0; i < h; ++i) {
    const std::vector<float> row(f.ptr<float>(i), f.ptr<float>(i) + w);
    distanceTransform1D(row, kRowPass, offsets, i);
  }
  cv::Mat nearest(h, w, CV_32FC2);
  for (int i = 0; i < h; ++i) {
    for (int j = 0; j < w; ++j) {
      const cv::Vec2f d = offsets.at<cv::Vec2f>(i, j);
      nearest.at<cv::Vec2f>(i, j) =
          cv::Vec2f(static_cast<float>(i) - d[0], static_cast<float>(j) - d[1]);
    }
  }
  return nearest;
}

TEST(NearestEdgeTransform, EqualsThePassesOfTheOneDimensionalTransform) {
  // Sparse and dense edges, columns longer than the division-free limit of 91, lines of one
  // pixel, and maps without any edge (whose positions are arbitrary but must still agree).
  const struct {
    cv::Size size;
    int percent;
  } cases[] = {{{96, 48}, 3},  {{96, 48}, 30}, {{96, 48}, 0},  {{20, 91}, 5}, {{20, 92}, 5},
               {{7, 150}, 2},  {{1, 40}, 10},  {{40, 1}, 10},  {{1, 1}, 0},   {{96, 48}, 100},
               {{128, 91}, 1}, {{128, 91}, 8}, {{129, 40}, 4}, {{96, 48}, 1}, {{96, 48}, 12}};
  cv::RNG rng(9);
  for (const auto& c : cases) {
    cv::Mat edges(c.size, CV_8UC1);
    for (int i = 0; i < edges.rows; ++i) {
      for (int j = 0; j < edges.cols; ++j)
        edges.at<uchar>(i, j) = rng.uniform(0, 100) < c.percent ? 255 : 0;
    }
    const cv::Mat library = nearestEdgeTransform(edges);
    const cv::Mat literal = literalNearestEdges(edges);
    ASSERT_EQ(library.size(), literal.size());
    EXPECT_EQ(std::memcmp(library.data, literal.data, literal.total() * literal.elemSize()), 0)
        << c.size << " " << c.percent << "% edges";
  }
}

// Real-looking densities on the patch size, many times: rows whose exact bounds nearly meet are
// rare, and each must give what the division gives.
TEST(NearestEdgeTransform, ManyPatchSizedMapsEqualTheOneDimensionalTransform) {
  cv::RNG rng(17);
  for (int trial = 0; trial < 300; ++trial) {
    cv::Mat edges = cv::Mat::zeros(48, 96, CV_8UC1);
    const int strokes = rng.uniform(1, 12);
    for (int k = 0; k < strokes; ++k) {
      const cv::Point a(rng.uniform(0, 96), rng.uniform(0, 48));
      const cv::Point b(rng.uniform(0, 96), rng.uniform(0, 48));
      for (int t = 0; t <= 20; ++t) edges.at<uchar>(a + (b - a) * t / 20) = 255;
    }
    const cv::Mat library = nearestEdgeTransform(edges);
    const cv::Mat literal = literalNearestEdges(edges);
    ASSERT_EQ(std::memcmp(library.data, literal.data, literal.total() * literal.elemSize()), 0)
        << "trial " << trial;
  }
}

// The row pass without the envelope against the envelope itself, where they could part: a few
// far-apart edge pixels (positions more than 8 columns from their winner), edges mirrored about
// a column (equal costs on both sides), blocks of edge columns next to empty ones, dense noise,
// and the largest maps it serves (91 rows, 512 columns).
TEST(NearestEdgeTransform, RowPassByWindowEqualsTheEnvelope) {
  cv::RNG rng(23);
  for (int trial = 0; trial < 1500; ++trial) {
    const int kind = trial % 5;
    const cv::Size size = trial % 50 == 49   ? cv::Size(512, 91)
                          : trial % 50 == 48 ? cv::Size(rng.uniform(100, 512), rng.uniform(2, 91))
                                             : cv::Size(96, 48);
    cv::Mat edges = cv::Mat::zeros(size, CV_8UC1);
    const auto set = [&](int row, int col) {
      if (row >= 0 && row < size.height && col >= 0 && col < size.width)
        edges.at<uchar>(row, col) = 255;
    };
    const int count = rng.uniform(1, kind == 0 ? 6 : 40);
    for (int k = 0; k < count; ++k) {
      const int row = rng.uniform(0, size.height), col = rng.uniform(0, size.width);
      switch (kind) {
        case 0:  // sparse points
        case 1:  // points, each with its mirror about column 40
          set(row, col);
          if (kind == 1) set(rng.uniform(0, size.height), 80 - col);
          break;
        case 2:  // vertical bars of a few columns
          for (int c = col; c < col + rng.uniform(1, 4); ++c)
            for (int r = row; r < row + rng.uniform(1, 20); ++r) set(r, c);
          break;
        case 3:  // noise
          for (int n = 0; n < 20; ++n) set(rng.uniform(0, size.height), rng.uniform(0, size.width));
          break;
        default:  // symmetric pairs about a pixel, both rows and columns
          set(row - 3, col - 2);
          set(row + 3, col + 2);
          set(row - 2, col + 3);
          break;
      }
    }
    const cv::Mat library = nearestEdgeTransform(edges);
    const cv::Mat literal = literalNearestEdges(edges);
    ASSERT_EQ(std::memcmp(library.data, literal.data, literal.total() * literal.elemSize()), 0)
        << "trial " << trial << " kind " << kind << " size " << size;
  }
}

// Every column of up to 12 rows, as a one-column map: the closed-form column pass against the
// one-dimensional transform.
TEST(NearestEdgeTransform, EveryShortColumnEqualsTheOneDimensionalTransform) {
  for (int rows = 1; rows <= 12; ++rows) {
    for (int pattern = 0; pattern < (1 << rows); ++pattern) {
      cv::Mat edges(rows, 1, CV_8UC1);
      for (int i = 0; i < rows; ++i) edges.at<uchar>(i, 0) = (pattern >> i) & 1 ? 255 : 0;
      const cv::Mat library = nearestEdgeTransform(edges);
      const cv::Mat literal = literalNearestEdges(edges);
      ASSERT_EQ(std::memcmp(library.data, literal.data, literal.total() * literal.elemSize()), 0)
          << rows << " rows, pattern " << pattern;
    }
  }
}

TEST(DistanceTransform1D, OnePixelLineKeepsItsCostAndSource) {
  cv::Mat offsets(1, 1, CV_32FC2, cv::Scalar(9, 9));
  const std::vector<float> line = {7.5f};
  for (int mode : {kColumnPass, kRowPass}) {
    const std::vector<float> out = distanceTransform1D(line, mode, offsets, 0);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0], 7.5f);
    EXPECT_EQ(offsets.at<cv::Vec2f>(0, 0)[0], 0.0f);
  }
  EXPECT_EQ(offsets.at<cv::Vec2f>(0, 0)[1], 0.0f);
}

TEST(DistanceTransform1D, ColumnPassGivesSquaredDistancesAndRowOffsets) {
  cv::Mat offsets(5, 2, CV_32FC2, cv::Scalar(0, 0));
  const std::vector<float> column = {kBackgroundCost, 0, kBackgroundCost, kBackgroundCost,
                                     kBackgroundCost};
  const std::vector<float> out = distanceTransform1D(column, kColumnPass, offsets, 1);
  EXPECT_EQ(out, (std::vector<float>{1, 0, 1, 4, 9}));
  for (int q = 0; q < 5; ++q) EXPECT_EQ(offsets.at<cv::Vec2f>(q, 1)[0], static_cast<float>(q - 1));
  for (int q = 0; q < 5; ++q)
    EXPECT_EQ(offsets.at<cv::Vec2f>(q, 0)[0], 0.0f);  // other column untouched
}

// The intersection is formed in double precision: on a line of 96 background costs, 1e20 + q*q
// is 1e20 for q <= 90 but the next double (1e20 + 16384) from q = 91 (q*q > 8192, half the spacing
// of doubles there), so the envelope ends as {0, 90, 95} with bounds 0 and 1638.4, and every
// position from 1 on takes source 90. Single-precision sums would make every bound 0 and give 95.
TEST(DistanceTransform1D, BackgroundLineRoundsItsBoundsInDouble) {
  cv::Mat offsets(1, 96, CV_32FC2, cv::Scalar(0, 0));
  const std::vector<float> line(96, kBackgroundCost);
  distanceTransform1D(line, kRowPass, offsets, 0);
  EXPECT_EQ(offsets.at<cv::Vec2f>(0, 0)[1], 0.0f);
  for (int q = 1; q < 96; ++q)
    EXPECT_EQ(offsets.at<cv::Vec2f>(0, q)[1], static_cast<float>(q - 90)) << q;
}

TEST(DistanceTransform1D, RejectsALineOfTheWrongLength) {
  cv::Mat offsets(4, 3, CV_32FC2, cv::Scalar(0, 0));
  const std::vector<float> line(3, 0.0f);
  EXPECT_THROW(distanceTransform1D(line, kColumnPass, offsets, 0), cv::Exception);
  EXPECT_NO_THROW(distanceTransform1D(line, kRowPass, offsets, 3));
  EXPECT_THROW(distanceTransform1D(line, kRowPass, offsets, 4), cv::Exception);
}

}  // namespace
}  // namespace scenetext::features
