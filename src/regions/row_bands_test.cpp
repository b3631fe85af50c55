#include "regions/row_bands.hpp"

#include <gtest/gtest.h>

#include "regions/test_support.hpp"

namespace scenetext::regions {
namespace {

TEST(SplitBoxesAtBandsTest, BoxesTouchingTheBoundFromEitherSideStayWhole) {
  BoxList boxes{{1, 10, 4, 15}, {2, 3, 6, 9}};
  splitBoxesAtBands(boxes, {0, 10, 20});
  EXPECT_EQ(boxes, (BoxList{{1, 10, 4, 15}, {2, 3, 6, 9}}));
}

TEST(SplitBoxesAtBandsTest, CrossingBoxesMoveToTheEndAsUpperThenLowerPiece) {
  BoxList boxes{{1, 9, 4, 10}, {0, 0, 3, 3}, {2, 8, 7, 12}, {5, 11, 6, 19}};
  splitBoxesAtBands(boxes, {0, 10, 20});
  EXPECT_EQ(boxes, (BoxList{{0, 0, 3, 3},
                            {5, 11, 6, 19},
                            {1, 9, 4, 9},
                            {1, 10, 4, 10},
                            {2, 8, 7, 9},
                            {2, 10, 7, 12}}));
}

TEST(SplitBoxesAtBandsTest, BoxCrossingTwoBoundsIsCutAtEachInTurn) {
  BoxList boxes{{5, 5, 8, 25}, {0, 0, 1, 1}};
  splitBoxesAtBands(boxes, {0, 10, 20, 30});
  EXPECT_EQ(boxes, (BoxList{{0, 0, 1, 1}, {5, 5, 8, 9}, {5, 10, 8, 19}, {5, 20, 8, 25}}));
}

TEST(SplitBoxesAtBandsTest, WithoutInteriorBoundsNothingChanges) {
  // The outer bounds are not cut, even by a box reaching past them.
  const BoxList original{{0, 0, 9, 29}, {1, 5, 2, 30}, {3, 3, 3, 3}, {3, 3, 3, 3}};
  for (const BandBoundaryList& bands :
       {BandBoundaryList{0, 30}, BandBoundaryList{15}, BandBoundaryList{}}) {
    BoxList boxes = original;
    splitBoxesAtBands(boxes, bands);
    EXPECT_EQ(boxes, original) << bands.size() << " bounds";
  }
  BoxList empty;
  splitBoxesAtBands(empty, {0, 10, 20});
  EXPECT_TRUE(empty.empty());
}

}  // namespace
}  // namespace scenetext::regions
