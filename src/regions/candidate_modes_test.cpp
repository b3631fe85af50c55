#include "regions/candidate_modes.hpp"

#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include "edges/edge_detection.hpp"
#include "regions/band_classification.hpp"
#include "regions/component_boxes.hpp"

namespace scenetext::regions {
namespace {

TEST(CandidateModeTest, NamesRoundTrip) {
  EXPECT_EQ(parseCandidateMode("exact"), CandidateMode::kExact);
  EXPECT_EQ(parseCandidateMode("extended"), CandidateMode::kExtended);
  EXPECT_EQ(parseCandidateMode("Extended"), std::nullopt);
  EXPECT_EQ(parseCandidateMode(""), std::nullopt);
  for (CandidateMode mode : {CandidateMode::kExact, CandidateMode::kExtended}) {
    EXPECT_EQ(parseCandidateMode(candidateModeName(mode)), mode);
  }
}

TEST(ScaleBoxToWorkingTest, CoversWholeBlocksAndClipsToTheImage) {
  // A reduced pixel stands for a factor x factor block: the far ends take the block's last row
  // and column.
  EXPECT_EQ(scaleBoxToWorking({3, 4, 10, 12}, 2, 640, 480), (Box{6, 8, 21, 25}));
  EXPECT_EQ(scaleBoxToWorking({3, 4, 10, 12}, 4, 640, 480), (Box{12, 16, 43, 51}));
  EXPECT_EQ(scaleBoxToWorking({0, 0, 0, 0}, 4, 640, 480), (Box{0, 0, 3, 3}));
  // An odd WorkingImage loses its last column to the reduction; the ends never pass W-1, H-1.
  EXPECT_EQ(scaleBoxToWorking({100, 70, 160, 119}, 4, 641, 478), (Box{400, 280, 640, 477}));
  EXPECT_EQ(scaleBoxToWorking({5, 5, 5, 5}, 1, 10, 10), (Box{5, 5, 5, 5}));
}

cv::Mat letters(const std::string& text, double scale, int thickness) {
  cv::Mat image(220, 640, CV_8UC3, cv::Scalar(245, 245, 245));
  cv::putText(image, text, cv::Point(20, 170), cv::FONT_HERSHEY_SIMPLEX, scale,
              cv::Scalar(15, 15, 15), thickness, cv::LINE_8);
  return image;
}

TEST(ExtendedCandidatesTest, LettersWithTwoHolesSurvive) {
  // A thin 8 gives an outer contour and two holes, each traced twice: its outer boxes enclose
  // four boxes and the exact mode drops them; the extended mode's limit of 8 keeps them.
  const cv::Mat image = letters("8B8B8", 5.0, 2);
  const cv::Mat edges = edges::detectEdges(image, edges::kEdgeFraction);
  BoxList exact = contourBoxes(edges, image.cols, image.rows);
  BoxList extended = exact;
  filterComponentBoxes(exact);
  filterComponentBoxes(extended, kExtendedNestingLimit);
  auto tallBoxes = [](const BoxList& boxes) {
    return std::count_if(boxes.begin(), boxes.end(),
                         [](const Box& box) { return box.bottom - box.top > 80; });
  };
  EXPECT_EQ(tallBoxes(exact), 0);
  EXPECT_GE(tallBoxes(extended), 5);
  // Only the extended mode forms a candidate as tall as the letters (the holes still do in both).
  auto tallest = [](const std::vector<cv::Rect>& candidates) {
    int height = 0;
    for (const cv::Rect& rect : candidates) height = std::max(height, rect.height);
    return height;
  };
  EXPECT_LT(tallest(candidateRectangles(image, edges, CandidateMode::kExact)), 80);
  EXPECT_GT(tallest(candidateRectangles(image, edges, CandidateMode::kExtended)), 80);
}

TEST(ExtendedCandidatesTest, ExactModeIsTheSingleBandCandidateStage) {
  const cv::Mat image = letters("OPEN 24", 2.0, 3);
  const cv::Mat edges = edges::detectEdges(image, edges::kEdgeFraction);
  BoxList boxes = contourBoxes(edges, image.cols, image.rows);
  filterComponentBoxes(boxes);
  EXPECT_EQ(candidateRectangles(image, edges, CandidateMode::kExact), formCandidates(boxes));
  // The extended list starts with the full-size source's own candidates.
  const std::vector<cv::Rect> extended = extendedCandidates(image, edges);
  BoxList loose = contourBoxes(edges, image.cols, image.rows);
  filterComponentBoxes(loose, kExtendedNestingLimit);
  const std::vector<cv::Rect> fullSize = formCandidates(loose, kExtendedCentreDistanceFactor);
  ASSERT_GE(extended.size(), fullSize.size());
  EXPECT_TRUE(std::equal(fullSize.begin(), fullSize.end(), extended.begin()));
}

TEST(ExtendedCandidatesTest, NeighbourReachEndsAtFourWidths) {
  // A seed 10 wide centred at x = 104 (the boxes' centres are what count). The reach is measured
  // as |cx - jcx + 1|, so it ends at 4 x 10 = 40: jcx = 145 on the right, 65 on the left.
  const Box seed{100, 100, 109, 119};
  auto reached = [&](int neighbourCx, int factor) {
    const BoxList boxes{seed, {neighbourCx - 4, 100, neighbourCx + 5, 119}};
    NeighbourSet neighbours;
    collectNeighbours(boxes, neighbours, seed, factor);
    return neighbours.leftPositions.size() + neighbours.rightPositions.size() == 1;
  };
  EXPECT_TRUE(reached(145, kExtendedCentreDistanceFactor));
  EXPECT_FALSE(reached(146, kExtendedCentreDistanceFactor));
  EXPECT_TRUE(reached(65, kExtendedCentreDistanceFactor));
  EXPECT_FALSE(reached(64, kExtendedCentreDistanceFactor));
  // The exact mode's reach of two widths stops at 20.
  EXPECT_TRUE(reached(125, 2));
  EXPECT_FALSE(reached(126, 2));
}

TEST(ExtendedCandidatesTest, TinyImagesSkipSourcesThatVanish) {
  const cv::Mat tiny(3, 5, CV_8UC3, cv::Scalar(1, 2, 3));
  const cv::Mat edges = edges::detectEdges(tiny, edges::kEdgeFraction);
  EXPECT_TRUE(extendedCandidates(tiny, edges).empty());
  BoxList boxes;
  cv::Mat textMask, boxMask;
  detectTextRegionsExtended(boxes, textMask, boxMask, tiny, edges, {});
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(textMask.size(), tiny.size());
  EXPECT_EQ(boxMask.size(), tiny.size());
}

}  // namespace
}  // namespace scenetext::regions
