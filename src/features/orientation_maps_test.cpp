#include "features/orientation_maps.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "edges/edge_detection.hpp"
#include "edges/gradient_maps.hpp"
#include "features/nearest_edge.hpp"
#include "straightforward/nearest_edge.hpp"
#include "straightforward/orientation_maps.hpp"

namespace scenetext::features {
namespace {

constexpr int kRows = 48;
constexpr int kCols = 96;

// A grey patch whose two halves meet at column 48 (vertical split) or row 24 (horizontal split).
cv::Mat twoHalves(bool verticalSplit, uchar first, uchar second) {
  cv::Mat grey(kRows, kCols, CV_8UC1, cv::Scalar(first));
  (verticalSplit ? grey.colRange(kCols / 2, kCols) : grey.rowRange(kRows / 2, kRows)).setTo(second);
  return grey;
}

TEST(OrientationBinBounds, SixteenBinsFromFiveHalvesOfPiUp) {
  const std::vector<float> expected = {4.9087386f, 5.1050882f, 5.3014374f, 5.4977870f,
                                       5.6941366f, 5.8904862f, 6.0868359f, 6.2831855f,
                                       6.4795346f, 6.6758842f, 6.8722339f, 7.0685835f,
                                       7.2649331f, 7.4612827f, 7.6576319f, 7.8539815f};
  const std::vector<float> bounds = orientationBinBounds({16, 3});
  ASSERT_EQ(bounds.size(), 16u);
  for (int j = 0; j < 16; ++j) EXPECT_FLOAT_EQ(bounds[j], expected[j]) << "bound " << j;
  // The two bounds that the orientations of axis-aligned gradients hit exactly.
  EXPECT_EQ(bounds[7], static_cast<float>(2 * 3.141592653589793));
  EXPECT_EQ(bounds[15], static_cast<float>(2.5 * 3.141592653589793));
}

// Sobel orientations at the boundary of two halves, and the fold: atan2 in (-pi/2, pi/2] stays,
// pi becomes 2 pi, -pi/2 becomes 5 pi/2, and pi/2, whose single-precision value lies above the
// double pi/2, becomes 3 pi/2.
TEST(OrientationMap, FoldsAxisAlignedGradients) {
  struct Case {
    const char* name;
    cv::Mat grey;
    cv::Point at;
    float expected;
  };
  const std::vector<Case> cases = {
      {"uniform", cv::Mat(kRows, kCols, CV_8UC1, cv::Scalar(77)), {48, 24}, 0.0f},
      {"dx > 0", twoHalves(true, 40, 200), {48, 24}, 0.0f},
      {"dx < 0", twoHalves(true, 200, 40), {48, 24}, 6.2831855f},
      {"dy < 0", twoHalves(false, 200, 40), {48, 24}, 7.8539815f},
      {"dy > 0", twoHalves(false, 40, 200), {48, 24}, 4.7123890f},
  };
  for (const Case& c : cases) {
    const cv::Mat g = orientationMap(c.grey);
    ASSERT_EQ(g.type(), CV_32FC1) << c.name;
    ASSERT_EQ(g.size(), c.grey.size()) << c.name;
    EXPECT_FLOAT_EQ(g.at<float>(c.at), c.expected) << c.name;
    EXPECT_EQ(g.at<float>(5, 5), 0.0f) << c.name << ": away from the boundary";
  }
  EXPECT_EQ(orientationMap(twoHalves(true, 200, 40)).at<float>(24, 48),
            static_cast<float>(2 * 3.141592653589793));
}

// One edge pixel on the boundary of the halves: every pixel takes its orientation, which then
// decides the windows. 2 pi equals b[7] (the upper end of window 5, the lower end of window 7);
// 5 pi/2 equals b[15] (window 13 only); orientations of gradients with dx > 0 are in none.
TEST(OrientationBandMaps, OrientationOfTheNearestEdgeFallsInItsWindows) {
  struct Case {
    const char* name;
    cv::Mat grey;
    std::vector<int> windows;
  };
  const std::vector<Case> cases = {
      {"dx < 0", twoHalves(true, 200, 40), {5, 6, 7}},
      {"dy < 0", twoHalves(false, 200, 40), {13}},
      {"dx > 0", twoHalves(true, 40, 200), {}},
  };
  for (const Case& c : cases) {
    cv::Mat e(kRows, kCols, CV_8UC1, cv::Scalar(0));
    e.at<uchar>(24, 48) = 255;
    const std::vector<cv::Mat> maps = orientationBandMapsOfEdgeMap(c.grey, e, {16, 3});
    ASSERT_EQ(maps.size(), 15u) << c.name;
    const float edgeOrientation = orientationMap(c.grey).at<float>(24, 48);
    EXPECT_EQ(cv::countNonZero(maps[0] != edgeOrientation), 0) << c.name;
    for (int g = 0; g < 14; ++g) {
      const bool inWindow = std::find(c.windows.begin(), c.windows.end(), g) != c.windows.end();
      const cv::Mat& band = maps[1 + g];
      EXPECT_EQ(cv::countNonZero(band != (inWindow ? edgeOrientation : 0.0f)), 0)
          << c.name << " window " << g;
    }
  }
}

constexpr double kPi = std::numbers::pi;

// Every pair of derivatives an 8-bit image can give, against atan2 of the library rounded to
// single precision and folded: the approximation must never round to another value.
TEST(SobelOrientation, EqualsTheLibrarysFoldedAtan2ForEveryPairOfDerivatives) {
  std::vector<int> dxs, dys;
  std::vector<float> expected;
  for (int dx = -1020; dx <= 1020; ++dx) {
    for (int dy = -1020; dy <= 1020; ++dy) {
      dxs.push_back(dx);
      dys.push_back(dy);
      float e = 0.0f;
      if (dx != 0 || dy != 0) {
        const double t = static_cast<float>(std::atan2(static_cast<double>(dy), dx));
        e = static_cast<float>(t <= -kPi / 2 ? t + 3 * kPi : t > kPi / 2 ? t + kPi : t);
      }
      expected.push_back(e);
    }
  }
  // All at once (four lanes at a time and a tail of one), and a few one by one.
  std::vector<float> batch(expected.size());
  sobelOrientations(dxs.data(), dys.data(), batch.data(), static_cast<int>(batch.size()));
  ASSERT_EQ(batch.size() % 4, 1u);
  for (size_t i = 0; i < expected.size(); ++i) {
    ASSERT_EQ(std::memcmp(&batch[i], &expected[i], sizeof(float)), 0) << dxs[i] << ", " << dys[i];
  }
  for (size_t i = 0; i < expected.size(); i += 9973) {
    const float single = sobelOrientation(dxs[i], dys[i]);
    ASSERT_EQ(std::memcmp(&single, &expected[i], sizeof(float)), 0) << dxs[i] << ", " << dys[i];
  }
}

// One pixel's orientation from its own neighbourhood equals the whole map's, border pixels and
// zero derivatives included (atan2 tells +0 from -0, so the bits must agree, not only the values).
TEST(OrientationAt, EqualsTheOrientationMapAtEveryPixel) {
  cv::RNG rng(17);
  for (const cv::Size size :
       {cv::Size(96, 48), cv::Size(1, 1), cv::Size(5, 1), cv::Size(1, 7), cv::Size(13, 9)}) {
    for (int kind = 0; kind < 3; ++kind) {
      cv::Mat grey(size, CV_8UC1);
      if (kind == 0) rng.fill(grey, cv::RNG::UNIFORM, 0, 256);
      if (kind == 1) rng.fill(grey, cv::RNG::UNIFORM, 100, 102);  // many zero derivatives
      if (kind == 2) {
        grey.setTo(0);
        cv::circle(grey, {size.width / 2, size.height / 2}, size.height / 3, cv::Scalar(255), 2);
      }
      const cv::Mat g = orientationMap(grey);
      for (int y = 0; y < grey.rows; ++y) {
        for (int x = 0; x < grey.cols; ++x) {
          const float at = orientationAt(grey, y, x);
          ASSERT_EQ(std::memcmp(&at, &g.at<float>(y, x), sizeof(float)), 0)
              << size << " kind " << kind << " at " << y << ", " << x;
        }
      }
    }
  }
}

// The edge orientation map folds atan2 only at the positions the nearest-edge field names; it
// must equal the whole orientation map read at those positions, on real edges of every direction.
TEST(EdgeOrientationMap, EqualsTheOrientationMapReadAtTheNearestEdges) {
  cv::Mat grey(kRows, kCols, CV_8UC1);
  cv::RNG rng(3);
  rng.fill(grey, cv::RNG::UNIFORM, 60, 90);
  cv::circle(grey, {30, 24}, 14, cv::Scalar(220), 3);
  cv::line(grey, {50, 5}, {90, 40}, cv::Scalar(10), 2);
  cv::rectangle(grey, {60, 30, 20, 12}, cv::Scalar(250), cv::FILLED);
  const cv::Mat e = edges::detectEdges(grey, edges::kEdgeFraction);
  ASSERT_GT(cv::countNonZero(e), 100);
  const cv::Mat g = orientationMap(grey);
  const cv::Mat n = nearestEdgeTransform(e);
  const cv::Mat o = edgeOrientationMap(grey, e);
  ASSERT_EQ(o.type(), CV_32FC1);
  ASSERT_EQ(o.size(), grey.size());
  for (int y = 0; y < kRows; ++y) {
    for (int x = 0; x < kCols; ++x) {
      const cv::Vec2f at = n.at<cv::Vec2f>(y, x);
      const float expected = g.at<float>(static_cast<int>(at[0]), static_cast<int>(at[1]));
      ASSERT_EQ(std::memcmp(&o.at<float>(y, x), &expected, sizeof(float)), 0) << y << ", " << x;
    }
  }
}

TEST(OrientationBandMaps, UniformPatchGivesFifteenZeroMaps) {
  const cv::Mat uniform(kRows, kCols, CV_8UC3, cv::Scalar(10, 200, 90));
  const std::vector<cv::Mat> maps = orientationBandMaps(uniform, {});
  ASSERT_EQ(maps.size(), 15u);
  for (const cv::Mat& m : maps) {
    EXPECT_EQ(m.type(), CV_32FC1);
    EXPECT_EQ(m.size(), uniform.size());
    EXPECT_EQ(cv::countNonZero(m), 0);
  }
}

// Vertical bars of period 12 put every bar edge at the same magnitude, so far more than a tenth
// of the pixels reach the top histogram bin and the EdgeMap is empty, although the gradients are
// not. With no edge pixel there is no orientation to carry: all fifteen maps are 0.
TEST(OrientationBandMaps, PatchWithGradientsButNoEdgePixelGivesZeroMaps) {
  cv::Mat bars(kRows, kCols, CV_8UC3, cv::Scalar(30, 30, 30));
  for (int x = 0; x < kCols; x += 12) bars.colRange(x, x + 6).setTo(cv::Scalar(220, 220, 220));
  ASSERT_EQ(cv::countNonZero(edges::detectEdges(bars, edges::kEdgeFraction)), 0);
  ASSERT_GT(cv::countNonZero(edges::computeGradientMaps(bars).magnitude > 0.01f), 0);
  ASSERT_GT(cv::countNonZero(orientationMap(greyCopy(bars))), 0);

  const std::vector<cv::Mat> maps = orientationBandMaps(bars, {});
  ASSERT_EQ(maps.size(), 15u);
  for (const cv::Mat& m : maps) EXPECT_EQ(cv::countNonZero(m), 0);
}

TEST(OrientationBandMaps, WindowCountFollowsTheParameters) {
  cv::Mat e(kRows, kCols, CV_8UC1, cv::Scalar(0));
  e.at<uchar>(24, 48) = 255;
  const cv::Mat grey = twoHalves(true, 200, 40);
  EXPECT_EQ(orientationBandMapsOfEdgeMap(grey, e, {8, 2}).size(), 8u);
  EXPECT_EQ(orientationBandMapsOfEdgeMap(grey, e, {16, 16}).size(), 2u);
  EXPECT_THROW(orientationBandMapsOfEdgeMap(grey, e, {16, 17}), cv::Exception);
  EXPECT_THROW(orientationBandMapsOfEdgeMap(grey, e, {16, 0}), cv::Exception);
}

}  // namespace
}  // namespace scenetext::features
