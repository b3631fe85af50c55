// The library's stage functions against the literal reading on crafted inputs that photos almost
// never produce: exact ties of magnitudes, gradients on sector boundaries, thick blobs for the
// thinning, nested and duplicate boxes, neighbours on every limit of the grouping tests, text
// masks with corner contacts and more than 255 areas, sparse edge maps with equidistant edges,
// orientations on the window bounds, and cascades whose features sit on their thresholds. Inputs
// come from seeded generators, so every run sees the same cases.

#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <array>
#include <limits>
#include <string>
#include <vector>

#include "classifier/stump_cascade.hpp"
#include "edges/edge_detection.hpp"
#include "edges/gradient_maps.hpp"
#include "edges/gradients.hpp"
#include "edges/non_max_suppression.hpp"
#include "edges/thinning.hpp"
#include "features/stripe_contrasts.hpp"
#include "reference/cascade.hpp"
#include "reference/comparison.hpp"
#include "reference/edge_detection.hpp"
#include "reference/features.hpp"
#include "reference/regions.hpp"
#include "regions/band_classification.hpp"
#include "regions/component_boxes.hpp"
#include "regions/final_regions.hpp"
#include "regions/row_bands.hpp"
#include "straightforward/feature_maps.hpp"
#include "straightforward/nearest_edge.hpp"
#include "straightforward/orientation_maps.hpp"
#include "straightforward/stripe_contrasts.hpp"
#include "straightforward/thinning.hpp"

namespace scenetext {
namespace {

using reference::FlatBoxList;
using namespace reference::testing;

std::string caseName(const std::string& what, int index) {
  return what + " #" + std::to_string(index);
}

// A matrix of `type` whose elements are drawn from `levels` only, so that equal values abound.
cv::Mat levelsMatrix(cv::RNG& rng, int rows, int cols, int type,
                     const std::vector<double>& levels) {
  cv::Mat m(rows, cols, type);
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < cols * m.channels(); ++c) {
      const double v = levels[rng.uniform(0, static_cast<int>(levels.size()))];
      if (m.depth() == CV_8U) m.ptr<uchar>(r)[c] = cv::saturate_cast<uchar>(v);
      if (m.depth() == CV_32F) m.ptr<float>(r)[c] = static_cast<float>(v);
    }
  }
  return m;
}

TEST(CraftedEquivalence, KernelsGreyPlanesAndGradients) {
  const edges::GaussianKernels library = edges::buildGaussianKernels();
  const reference::GaussianKernels expected = reference::buildGaussianKernels();
  expectSameMat("row kernel", library.row, expected.row);
  expectSameMat("column kernel", library.column, expected.column);
  expectSameMat("KX", library.kx, expected.kx);
  expectSameMat("KY", library.ky, expected.ky);

  cv::RNG rng(31);
  const std::vector<cv::Size> sizes{{1, 1}, {2, 5}, {5, 2}, {17, 13}, {64, 48}, {97, 50}};
  for (size_t i = 0; i < sizes.size(); ++i) {
    for (int type : {CV_8UC1, CV_8UC3}) {
      cv::Mat image(sizes[i], type);
      rng.fill(image, cv::RNG::UNIFORM, 0, 256);
      const std::string name =
          caseName("image", static_cast<int>(i)) + (type == CV_8UC1 ? " grey" : " colour");
      const cv::Size stretched((image.cols + 3) / 4 * 4, (image.rows + 3) / 4 * 4);
      expectSameMat(name + " grey plane", edges::makeGreyPlane(image, image.cols, image.rows),
                    reference::makeGreyPlane(image, image.cols, image.rows));
      expectSameMat(name + " stretched grey plane",
                    edges::makeGreyPlane(image, stretched.width, stretched.height),
                    reference::makeGreyPlane(image, stretched.width, stretched.height));
      const edges::GradientMaps maps = edges::computeGradientMaps(image);
      const reference::GradientMaps expectedMaps = reference::computeGradientMaps(image);
      expectSameMat(name + " gx", maps.gx, expectedMaps.gx);
      expectSameMat(name + " gy", maps.gy, expectedMaps.gy);
      expectSameMat(name + " magnitude", maps.magnitude, expectedMaps.magnitude);
    }
  }
}

// Gradients on and beside every sector boundary (|gx| = |gy|, zeros) and magnitudes that tie with
// their neighbours, with a NaN now and then.
TEST(CraftedEquivalence, NonMaximumSuppressionOnTiesAndSectorBoundaries) {
  cv::RNG rng(32);
  const std::vector<double> gradientLevels{-2, -1, -0.5, 0, 0.5, 1, 2};
  const std::vector<double> magnitudeLevels{0, 0.25, 0.5, 1, 1, 1};
  const std::vector<cv::Size> sizes{{1, 1}, {2, 2}, {3, 3}, {12, 9}, {40, 30}};
  int index = 0;
  for (const cv::Size& size : sizes) {
    for (int repeat = 0; repeat < 6; ++repeat, ++index) {
      const cv::Mat gx = levelsMatrix(rng, size.height, size.width, CV_32FC1, gradientLevels);
      const cv::Mat gy = levelsMatrix(rng, size.height, size.width, CV_32FC1, gradientLevels);
      cv::Mat magnitude = levelsMatrix(rng, size.height, size.width, CV_32FC1, magnitudeLevels);
      if (repeat == 5)
        magnitude.at<float>(size.height / 2, size.width / 2) =
            std::numeric_limits<float>::quiet_NaN();
      // The library labels the four sectors in one scan: with both thresholds below every
      // magnitude its strong points are its kept points in row-major order.
      cv::Mat labels;
      std::vector<edges::EdgePoint> library;
      const double below = -std::numeric_limits<double>::infinity();
      edges::labelLocalMaxima(gx, gy, magnitude, below, below, labels, library);
      cv::Mat kept = cv::Mat::zeros(size, CV_8UC1);
      for (int sector = 1; sector <= 4; ++sector) {
        std::vector<reference::EdgePoint> expected;
        reference::suppressNonMaxima(expected, sector, gx, gy, magnitude);
        for (const reference::EdgePoint& p : expected) ++kept.at<uchar>(p.y, p.x);
      }
      FlatBoxList libraryPoints;
      FlatBoxList expectedPoints;
      for (const edges::EdgePoint& p : library)
        libraryPoints.insert(libraryPoints.end(), {p.x, p.y});
      for (int y = 0; y < size.height; ++y)
        for (int x = 0; x < size.width; ++x)
          for (int k = 0; k < kept.at<uchar>(y, x); ++k)
            expectedPoints.insert(expectedPoints.end(), {x, y});
      EXPECT_EQ(libraryPoints, expectedPoints) << caseName("maps", index);
    }
  }
}

// Tiny images of few grey levels: sizes whose pixel count times 0.9 lies just above an integer
// (10 x 10 gives 89.9999976), plateaus, uniform parts, single columns and rows.
TEST(CraftedEquivalence, EdgeMapsOfTinyAndFewLevelImages) {
  cv::RNG rng(33);
  for (int i = 0; i < 160; ++i) {
    const int width = i < 20 ? 10 : rng.uniform(1, 25);
    const int height = i < 20 ? 10 : rng.uniform(1, 25);
    const int type = i % 3 == 0 ? CV_8UC1 : CV_8UC3;
    const cv::Mat image = i % 2 == 0 ? levelsMatrix(rng, height, width, type, {0, 0, 255, 128})
                                     : levelsMatrix(rng, height, width, type, {10, 200});
    expectSameMat(caseName("image", i) + " EdgeMap", edges::detectEdges(image, 0.9f),
                  reference::detectEdges(image, 0.9f));
  }
}

// Thick blobs and values around the foreground limit 0.5.
TEST(CraftedEquivalence, ThinningOfBlobs) {
  cv::RNG rng(34);
  for (int i = 0; i < 80; ++i) {
    const int rows = rng.uniform(1, 30);
    const int cols = rng.uniform(1, 40);
    cv::Mat t = i % 4 == 3
                    ? levelsMatrix(rng, rows, cols, CV_32FC1, {0.0, 0.49999997, 0.5, 1.0, 255.0})
                    : levelsMatrix(rng, rows, cols, CV_32FC1, {0.0, 255.0, 255.0});
    cv::Mat library = t.clone();
    cv::Mat expected = t.clone();
    edges::thinEdges(library);
    reference::thinEdges(expected);
    expectSameMat(caseName("blob", i), library, expected);
  }
}

// Random boxes on a small grid: many nested, identical and side-sharing boxes.
FlatBoxList randomBoxes(cv::RNG& rng, int count, int extent) {
  FlatBoxList boxes;
  for (int k = 0; k < count; ++k) {
    const int x1 = rng.uniform(0, extent);
    const int y1 = rng.uniform(0, extent);
    boxes.insert(boxes.end(),
                 {x1, y1, x1 + rng.uniform(0, extent / 2), y1 + rng.uniform(0, extent / 2)});
  }
  return boxes;
}

TEST(CraftedEquivalence, ContoursFilterAndBandSplitOfCraftedBoxes) {
  cv::RNG rng(35);
  for (int i = 0; i < 60; ++i) {
    const cv::Mat edges =
        levelsMatrix(rng, rng.uniform(1, 40), rng.uniform(1, 40), CV_8UC1, {0, 0, 0, 255});
    expectSameBoxes(caseName("edge map", i) + " contour boxes",
                    regions::contourBoxes(edges, edges.cols, edges.rows),
                    reference::contourBoxes(edges, edges.cols, edges.rows));

    FlatBoxList expected = randomBoxes(rng, rng.uniform(0, 60), 30);
    BoxList library = unflatten(expected);
    regions::filterComponentBoxes(library);
    reference::filterComponentBoxes(expected);
    expectSameBoxes(caseName("box list", i) + " filtered", library, expected);

    FlatBoxList toSplit = randomBoxes(rng, rng.uniform(0, 20), 50);
    std::vector<int> bands{0};
    while (bands.back() < 60) bands.push_back(bands.back() + rng.uniform(1, 15));
    BoxList librarySplit = unflatten(toSplit);
    regions::splitBoxesAtBands(librarySplit, bands);
    reference::splitBoxesAtBands(toSplit, bands);
    expectSameBoxes(caseName("box list", i) + " split", librarySplit, toSplit);
  }
}

// Boxes along one line with heights and spacings near every limit of the grouping tests.
TEST(CraftedEquivalence, CandidatesOfCraftedLines) {
  cv::RNG rng(36);
  for (int i = 0; i < 300; ++i) {
    FlatBoxList boxes;
    const int count = rng.uniform(1, 12);
    for (int k = 0; k < count; ++k) {
      const int x1 = rng.uniform(0, 120);
      const int y1 = rng.uniform(0, 6);
      boxes.insert(boxes.end(), {x1, y1, x1 + rng.uniform(0, 20), y1 + rng.uniform(1, 16)});
    }
    if (i % 5 == 0 && count > 1) std::copy(boxes.begin(), boxes.begin() + 4, boxes.end() - 4);
    expectSameRects(caseName("line", i) + " candidates", regions::formCandidates(unflatten(boxes)),
                    reference::formCandidates(boxes));
  }
}

TEST(CraftedEquivalence, FinalRegionsOfCraftedTextMasks) {
  cv::RNG rng(37);
  for (int i = 0; i < 40; ++i) {
    cv::Mat mask(rng.uniform(1, 40), rng.uniform(1, 50), CV_8UC1, cv::Scalar(0));
    const int rectangles = rng.uniform(0, 9);
    for (int k = 0; k < rectangles; ++k) {
      const int x = rng.uniform(0, mask.cols);
      const int y = rng.uniform(0, mask.rows);
      mask(cv::Rect(x, y, rng.uniform(1, mask.cols - x + 1), rng.uniform(1, mask.rows - y + 1)))
          .setTo(255);
    }
    BoxList library;
    FlatBoxList expected;
    regions::textMaskRegions(mask, library);
    reference::textMaskRegions(mask, expected);
    expectSameBoxes(caseName("mask", i) + " regions", library, expected);
    expectSameMat(caseName("mask", i) + " BoxMask",
                  regions::fillBoxMask(library, mask.rows, mask.cols),
                  reference::fillBoxMask(expected, mask.rows, mask.cols));
  }
  // 640 isolated pixels and a diagonal chain touching only at corners: labels beyond 255.
  cv::Mat dots(40, 64, CV_8UC1, cv::Scalar(0));
  for (int y = 0; y < 40; y += 2) {
    for (int x = y % 4 == 0 ? 0 : 1; x < 64; x += 2) dots.at<uchar>(y, x) = 255;
  }
  for (int k = 0; k < 39; ++k) dots.at<uchar>(k, k + 1) = 255;
  BoxList library;
  FlatBoxList expected;
  regions::textMaskRegions(dots, library);
  reference::textMaskRegions(dots, expected);
  expectSameBoxes("dots regions", library, expected);
}

TEST(CraftedEquivalence, StripeContrastsIntegralImagesAndProjections) {
  cv::RNG rng(38);
  const std::array<reference::StripeLayout, 6> layouts = reference::stripeLayoutTable();
  for (int i = 0; i < 40; ++i) {
    const cv::Size size =
        i < 30 ? cv::Size(96, 48) : cv::Size(rng.uniform(12, 130), rng.uniform(12, 70));
    cv::Mat map(size, CV_32FC1);
    if (i % 3 == 0) {
      rng.fill(map, cv::RNG::UNIFORM, -1000.0, 1000.0);
    } else if (i % 3 == 1) {
      rng.fill(map, cv::RNG::UNIFORM, 0.0, 1e-3);
    } else {
      map = levelsMatrix(rng, size.height, size.width, CV_32FC1, {0, 1, 7.8539815, 96, 4608});
    }
    expectSameMat(caseName("map", i) + " integral image", features::integralImage(map),
                  reference::integralImage(map));
    std::vector<reference::StripeLayout> tried(layouts.begin(), layouts.end());
    tried.push_back({0, {0.5f, 0.0f, 0.0f, 0.0f}});  // kinds outside 1..5 yield nothing
    tried.push_back({6, {0.5f, 0.0f, 0.0f, 0.0f}});
    for (size_t l = 0; l < tried.size(); ++l) {
      const reference::StripeLayout& layout = tried[l];
      const features::StripeLayout libraryLayout{
          layout.kind,
          {layout.fractions[0], layout.fractions[1], layout.fractions[2], layout.fractions[3]}};
      const std::vector<float> library = features::stripeContrasts(map, libraryLayout);
      const std::vector<float> expected = reference::stripeContrasts(map, layout);
      const std::string name = caseName("map", i) + ", layout " + std::to_string(l);
      ASSERT_EQ(library.size(), expected.size()) << name;
      if (!expected.empty())
        expectSameMat(name, cv::Mat(library).clone(), cv::Mat(expected).clone());
    }
  }
  for (int i = 0; i < 20; ++i) {
    const cv::Mat patch = levelsMatrix(rng, 48, 96, CV_8UC3, {0, 255, 128, 128, 128});
    expectSameMat(caseName("patch", i) + " edge projection", features::edgeProjectionMap(patch),
                  reference::edgeProjectionMap(patch));
  }
}

// Sparse edge maps (with equidistant edge pairs and non-255 values that do not count), and
// few-level patches whose Sobel orientations fall on 0, +-pi/2, pi and the window bounds.
TEST(CraftedEquivalence, NearestEdgesAndOrientationMaps) {
  cv::RNG rng(39);
  for (int i = 0; i < 60; ++i) {
    const int rows = i < 40 ? 48 : rng.uniform(1, 20);
    const int cols = i < 40 ? 96 : rng.uniform(1, 20);
    cv::Mat edges(rows, cols, CV_8UC1, cv::Scalar(0));
    const int count = rng.uniform(1, 12);
    for (int k = 0; k < count; ++k)
      edges.at<uchar>(rng.uniform(0, rows), rng.uniform(0, cols)) = k % 5 == 4 ? 1 : 255;
    edges.at<uchar>(rng.uniform(0, rows), rng.uniform(0, cols)) = 255;
    expectSameMat(caseName("edge map", i) + " nearest edges", features::nearestEdgeTransform(edges),
                  reference::nearestEdgeTransform(edges));
  }
  for (int i = 0; i < 30; ++i) {
    const cv::Mat grey = levelsMatrix(rng, 48, 96, CV_8UC1, {0, 0, 64, 255, 255});
    expectSameMat(caseName("grey", i) + " orientation", features::orientationMap(grey),
                  reference::orientationMap(grey));
    const cv::Mat patch = i % 2 == 0 ? grey : levelsMatrix(rng, 48, 96, CV_8UC3, {0, 255});
    const std::vector<cv::Mat> library = features::orientationBandMaps(patch, {16, 3});
    const std::vector<cv::Mat> expected = reference::orientationBandMaps(patch, 16, 3);
    ASSERT_EQ(library.size(), expected.size());
    for (size_t m = 0; m < expected.size(); ++m) {
      expectSameMat(caseName("patch", i) + " orientation map " + std::to_string(m), library[m],
                    expected[m]);
    }
  }
}

// Features on their thresholds, NaN and infinite features, negative weights, polarities that
// abstain, sums landing on the stage threshold.
TEST(CraftedEquivalence, CascadeDecisionsOnTies) {
  cv::RNG rng(40);
  const std::vector<double> values{0.0,
                                   -0.0,
                                   0.5,
                                   1.0,
                                   1.5,
                                   std::numeric_limits<double>::quiet_NaN(),
                                   std::numeric_limits<double>::infinity(),
                                   -2.0};
  for (int i = 0; i < 400; ++i) {
    const cv::Mat vector = levelsMatrix(rng, 1, 190, CV_32FC1, values);
    classifier::StumpCascade cascade;
    const int stages = rng.uniform(0, 4);
    for (int s = 0; s < stages; ++s) {
      classifier::CascadeStage stage;
      const int stumps = rng.uniform(0, 5);
      for (int k = 0; k < stumps; ++k) {
        const int polarity = std::vector<int>{1, -1, 0, 2}[rng.uniform(0, 4)];
        stage.push_back({rng.uniform(0, 190), 0.0f, static_cast<float>(values[rng.uniform(0, 8)]),
                         polarity, std::vector<float>{0.5f, 0.25f, -0.25f, 0.1f}[rng.uniform(0, 4)],
                         0.0f});
      }
      stage.push_back({-1, -1.0f, std::vector<float>{0.0f, 0.25f, -0.5f, 0.1f}[rng.uniform(0, 4)],
                       -1, -1.0f, -1.0f});
      cascade.push_back(stage);
    }
    EXPECT_EQ(classifier::evaluateStumpCascade(vector, cascade),
              reference::evaluateStumpCascade(vector, cascade))
        << caseName("cascade", i);
  }
}

}  // namespace
}  // namespace scenetext
