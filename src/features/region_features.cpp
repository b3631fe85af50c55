#include "features/region_features.hpp"

#include <algorithm>

#include "edges/edge_detection.hpp"
#include "features/feature_maps.hpp"
#include "features/orientation_maps.hpp"
#include "features/stripe_contrasts.hpp"

namespace scenetext::features {
namespace {

// Feature maps: 0-2 the gradient maps, 3 the edge projection, 4 the edge orientation, 5 + g the
// orientation band of window g.
constexpr int kProjectionMap = 3;
constexpr int kEdgeOrientationMap = 4;
constexpr int kFirstBandMap = 5;

// The window bounds of the band maps, fixed by OrientationBandParams {16, 3}.
const std::vector<float>& bandBounds() {
  static const std::vector<float> bounds = orientationBinBounds(OrientationBandParams{});
  return bounds;
}

}  // namespace

RegionFeatures::RegionFeatures(const cv::Mat& region) {
  CV_Assert(!region.empty() && region.depth() == CV_8U &&
            (region.channels() == 1 || region.channels() == 3));
  patch_ = regionPatch(region);
}

const cv::Mat& RegionFeatures::grey() {
  if (grey_.empty()) grey_ = greyCopy(patch_);
  return grey_;
}

// The gradient maps of the patch are those of its grey copy: computeGradientMaps converts the
// 96 x 48 colour patch with the same blue-green-red to grey conversion, and both sides are
// already multiples of 4, so nothing is stretched.
const edges::GradientMaps& RegionFeatures::gradients() {
  if (!gradients_) gradients_ = edges::computeGradients(grey());
  return *gradients_;
}

// detectEdges of the grey copy (or of the colour patch, which has the same grey plane), from the
// gradients already computed for maps 0-2.
const cv::Mat& RegionFeatures::edgeMap() {
  if (edgeMap_.empty()) edgeMap_ = edges::edgeMapOfGradients(gradients(), edges::kEdgeFraction);
  return edgeMap_;
}

const cv::Mat& RegionFeatures::edgeOrientation() {
  if (edgeOrientation_.empty()) edgeOrientation_ = edgeOrientationMap(grey(), edgeMap());
  return edgeOrientation_;
}

void RegionFeatures::computeMap(int map) {
  cv::Mat integral;
  if (map < kProjectionMap) {
    const edges::GradientMaps& g = gradients();
    integral = integralImage(map == 0 ? g.gx : map == 1 ? g.gy : g.magnitude);
  } else if (map == kProjectionMap) {
    integral = integralImage(edgeProjectionOfEdgeMap(edgeMap()));
  } else if (map == kEdgeOrientationMap) {
    integral = integralImage(edgeOrientation());
  } else {
    // A band map is the edge orientation inside its window: its integral image is taken from
    // the edge orientation map directly, without making the band map.
    const int window = map - kFirstBandMap;
    const int span = OrientationBandParams{}.bandSpan;
    integral = windowedIntegralImage(edgeOrientation(), bandBounds()[window],
                                     bandBounds()[window + span - 1]);
  }
  const std::array<float, kTableValueCount> values = tableContrastsOfIntegral(integral);
  std::copy(values.begin(), values.end(), values_.begin() + map * kValuesPerMap);
  computed_[map] = true;
}

float RegionFeatures::feature(int index) {
  CV_Assert(index >= 0 && index < kFeatureCount);
  const int map = index / kValuesPerMap;
  if (!computed_[map]) computeMap(map);
  return values_[index];
}

cv::Mat RegionFeatures::vector() {
  cv::Mat vector(1, kFeatureCount, CV_32FC1);
  for (int i = 0; i < kFeatureCount; ++i) vector.at<float>(0, i) = feature(i);
  return vector;
}

}  // namespace scenetext::features
