#include "features/feature_vector.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include <opencv2/imgproc.hpp>

#include "features/feature_maps.hpp"
#include "features/orientation_maps.hpp"
#include "features/stripe_contrasts.hpp"
#include "straightforward/feature_maps.hpp"
#include "straightforward/orientation_maps.hpp"
#include "straightforward/stripe_contrasts.hpp"

namespace scenetext::features {
namespace {

// The straightforward path: each family from the patch on its own (two edge detections, the
// colour patch's and the grey copy's), a fresh integral image per map and layout, maps in family
// order, layouts in table order.
cv::Mat straightforwardFeatureVector(const cv::Mat& region) {
  const cv::Mat patch = regionPatch(region);
  std::vector<cv::Mat> maps = gradientFeatureMaps(patch);
  maps.push_back(edgeProjectionMap(patch));
  for (const cv::Mat& m : orientationBandMaps(patch, {16, 3})) maps.push_back(m);
  std::vector<float> values;
  for (const cv::Mat& map : maps) {
    for (const StripeLayout& layout : kStripeLayoutTable) {
      const std::vector<float> v = stripeContrasts(map, layout);
      values.insert(values.end(), v.begin(), v.end());
    }
  }
  return cv::Mat(values, true).reshape(1, 1);
}

cv::Mat textRegion(cv::Size size, int channels) {
  cv::Mat region(size, CV_8UC3, cv::Scalar(40, 70, 110));
  cv::putText(region, "Hotel 24", cv::Point(4, size.height * 3 / 4), cv::FONT_HERSHEY_SIMPLEX,
              size.height / 40.0, cv::Scalar(235, 230, 220), 2);
  if (channels == 1) cv::cvtColor(region, region, cv::COLOR_BGR2GRAY);
  return region;
}

cv::Mat noiseRegion(cv::Size size) {
  cv::Mat region(size, CV_8UC3);
  cv::RNG rng(5);
  rng.fill(region, cv::RNG::UNIFORM, 0, 256);
  return region;
}

cv::Mat barsRegion() {
  cv::Mat bars(48, 96, CV_8UC3, cv::Scalar(30, 30, 30));
  for (int x = 0; x < 96; x += 12) bars.colRange(x, x + 6).setTo(cv::Scalar(220, 220, 220));
  return bars;
}

bool bitwiseEqual(const cv::Mat& a, const cv::Mat& b) {
  return a.size() == b.size() && a.type() == b.type() &&
         std::memcmp(a.data, b.data, a.total() * a.elemSize()) == 0;
}

// One EdgeMap for both edge families and one integral image per map must not change a single bit.
TEST(FeatureVector, SharedEdgeMapAndIntegralImageLeaveTheVectorUnchanged) {
  const std::vector<std::pair<const char*, cv::Mat>> regions = {
      {"text 96x48", textRegion({96, 48}, 3)},
      {"text 200x40", textRegion({200, 40}, 3)},
      {"grey text 150x37", textRegion({150, 37}, 1)},
      {"noise 61x29", noiseRegion({61, 29})},
      {"bars", barsRegion()},
      {"1x1", cv::Mat(1, 1, CV_8UC3, cv::Scalar(9, 99, 199))},
  };
  for (const auto& [name, region] : regions) {
    const cv::Mat shared = computeFeatureVector(region);
    ASSERT_EQ(shared.type(), CV_32FC1) << name;
    ASSERT_EQ(shared.size(), cv::Size(kFeatureCount, 1)) << name;
    EXPECT_TRUE(bitwiseEqual(shared, straightforwardFeatureVector(region))) << name;
  }
}

// Feature index = 10 * map + slot: each block of ten is the stripe contrasts of its map.
TEST(FeatureVector, BlocksOfTenFollowTheMapOrder) {
  const cv::Mat region = textRegion({96, 48}, 3);
  const cv::Mat v = computeFeatureVector(region);
  const cv::Mat patch = regionPatch(region);
  const std::vector<cv::Mat> gradients = gradientFeatureMaps(patch);
  const std::vector<cv::Mat> orientation = orientationBandMaps(patch, {});
  const std::vector<std::pair<int, cv::Mat>> maps = {
      {0, gradients[0]},   {1, gradients[1]},   {2, gradients[2]},    {3, edgeProjectionMap(patch)},
      {4, orientation[0]}, {5, orientation[1]}, {18, orientation[14]}};
  for (const auto& [index, map] : maps) {
    const std::vector<float> expected = mapFeatures(map);
    ASSERT_EQ(expected.size(), 10u);
    for (int slot = 0; slot < 10; ++slot) {
      EXPECT_EQ(v.at<float>(0, 10 * index + slot), expected[slot])
          << "map " << index << " slot " << slot;
    }
  }
  // A text patch has edges, and some of them face left or up, so the band maps are not all 0.
  EXPECT_GT(cv::countNonZero(v.colRange(30, 190)), 0);
}

TEST(FeatureVector, OnePixelRegionStillGivesAllValues) {
  const cv::Mat v = computeFeatureVector(cv::Mat(1, 1, CV_8UC3, cv::Scalar(50, 60, 70)));
  ASSERT_EQ(v.size(), cv::Size(kFeatureCount, 1));
  // A uniform patch: gradients 0 up to rounding, no edges, hence no projection and no orientation.
  EXPECT_EQ(cv::countNonZero(v.colRange(30, 190)), 0);
  for (int i = 0; i < 30; ++i) EXPECT_LT(std::fabs(v.at<float>(0, i)), 1e-3f) << "feature " << i;
}

// Bars of period 12: gradients everywhere but an empty EdgeMap, so features 30-189 are 0.
TEST(FeatureVector, TextureWithoutEdgePixelsHasOnlyGradientFeatures) {
  const cv::Mat v = computeFeatureVector(barsRegion());
  EXPECT_GT(cv::countNonZero(v.colRange(0, 30)), 0);
  EXPECT_EQ(cv::countNonZero(v.colRange(30, 190)), 0);
}

TEST(RegionPatch, IsNinetySixWideAndAnExactCopyAtThatSize) {
  const cv::Mat region = noiseRegion({96, 48});
  const cv::Mat patch = regionPatch(region);
  EXPECT_TRUE(bitwiseEqual(patch, region));
  EXPECT_EQ(regionPatch(noiseRegion({10, 300})).size(), cv::Size(96, 48));
}

TEST(FeatureVector, RejectsRegionsOutsideTheContract) {
  EXPECT_THROW(computeFeatureVector(cv::Mat()), cv::Exception);
  EXPECT_THROW(computeFeatureVector(cv::Mat(10, 10, CV_8UC4, cv::Scalar::all(0))), cv::Exception);
  EXPECT_THROW(computeFeatureVector(cv::Mat(10, 10, CV_32FC1, cv::Scalar::all(0))), cv::Exception);
}

}  // namespace
}  // namespace scenetext::features
