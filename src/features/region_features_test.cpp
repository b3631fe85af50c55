#include "features/region_features.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <random>
#include <vector>

#include <opencv2/imgproc.hpp>

namespace scenetext::features {
namespace {

cv::Mat textRegion() {
  cv::Mat region(37, 150, CV_8UC3, cv::Scalar(40, 70, 110));
  cv::putText(region, "Exit 24", cv::Point(4, 28), cv::FONT_HERSHEY_SIMPLEX, 0.9,
              cv::Scalar(235, 230, 220), 2);
  return region;
}

bool sameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Features asked for in any order, a map at a time or scattered, are the values of the whole
// vector: which map is computed first must not matter.
TEST(RegionFeatures, AnyOrderOfRequestsGivesTheWholeVector) {
  const cv::Mat region = textRegion();
  const cv::Mat whole = computeFeatureVector(region);
  std::vector<int> order(kFeatureCount);
  std::iota(order.begin(), order.end(), 0);
  std::mt19937 rng(11);
  for (int round = 0; round < 4; ++round) {
    std::shuffle(order.begin(), order.end(), rng);
    RegionFeatures features(region);
    for (int index : order) {
      ASSERT_TRUE(sameBits(features.feature(index), whole.at<float>(0, index))) << index;
    }
  }
}

// A band map's values come from the edge orientation map without the band map being made; the
// first feature asked for may be one of them.
TEST(RegionFeatures, BandMapFirstGivesTheSameValues) {
  const cv::Mat region = textRegion();
  const cv::Mat whole = computeFeatureVector(region);
  for (int index : {50, 123, 189, 47}) {
    RegionFeatures features(region);
    EXPECT_TRUE(sameBits(features.feature(index), whole.at<float>(0, index))) << index;
  }
}

// A rectangle viewed inside a larger image gives the vector of its copy: the resampling onto
// the patch reads no pixel around the rectangle, wherever it lies.
TEST(RegionFeatures, ViewOfARectangleEqualsItsCopy) {
  cv::Mat image(120, 200, CV_8UC3);
  cv::RNG rng(4);
  rng.fill(image, cv::RNG::UNIFORM, 0, 256);
  cv::putText(image, "Exit 24", cv::Point(10, 70), cv::FONT_HERSHEY_SIMPLEX, 1.5,
              cv::Scalar(250, 250, 250), 3);
  for (const cv::Rect& rect :
       {cv::Rect(0, 0, 200, 120), cv::Rect(0, 30, 150, 50), cv::Rect(57, 41, 143, 79),
        cv::Rect(100, 60, 3, 2), cv::Rect(199, 119, 1, 1), cv::Rect(5, 5, 96, 48)}) {
    const cv::Mat fromView = computeFeatureVector(image(rect));
    const cv::Mat fromCopy = computeFeatureVector(image(rect).clone());
    EXPECT_EQ(std::memcmp(fromView.data, fromCopy.data, fromCopy.total() * sizeof(float)), 0)
        << rect;
  }
}

TEST(RegionFeatures, RejectsIndicesOutsideTheVectorAndBadRegions) {
  RegionFeatures features(textRegion());
  EXPECT_THROW(features.feature(-1), cv::Exception);
  EXPECT_THROW(features.feature(kFeatureCount), cv::Exception);
  EXPECT_THROW(RegionFeatures(cv::Mat()), cv::Exception);
  EXPECT_THROW(RegionFeatures(cv::Mat(4, 4, CV_32FC1)), cv::Exception);
}

}  // namespace
}  // namespace scenetext::features
