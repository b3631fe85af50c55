#include "features/region_features.hpp"

#include <algorithm>
#include <limits>

#include "common/instruction_sets.hpp"
#include "edges/edge_detection.hpp"
#include "features/feature_maps.hpp"
#include "features/integral_image.hpp"
#include "features/orientation_maps.hpp"
#include "features/region_features_avx2.hpp"
#include "features/stripe_contrasts.hpp"

namespace scenetext::features {
namespace {

// Feature maps: 0-2 the gradient maps, 3 the edge projection, 4 the edge orientation, 5 + g the
// orientation band of window g.
constexpr int kProjectionMap = 3;
constexpr int kEdgeOrientationMap = 4;
constexpr int kFirstBandMap = 5;
constexpr int kBandSpan = OrientationBandParams{}.bandSpan;
static_assert(kIntegralLanes == 4, "RegionFeatures groups maps by four");

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

void RegionFeatures::storeValues(int map, const IntegralView& integral) {
  const std::array<float, kTableValueCount> values = tableContrasts(integral);
  std::copy(values.begin(), values.end(), values_.begin() + map * kValuesPerMap);
  computed_[map] = true;
}

// The maps are integrated four at a time (integrateLanes), in groups that need the same inputs:
// the three gradient maps; the edge orientation map with the first three bands; then four bands
// at a time. The projection map, the only map of the EdgeMap alone, is integrated on its own.
void RegionFeatures::computeMap(int map) {
  if (map == kProjectionMap) {
    storeValues(map, IntegralView::of(edgeProjectionIntegral(edgeMap())));
    return;
  }
  const int first =
      map < kProjectionMap ? 0 : kEdgeOrientationMap + (map - kEdgeOrientationMap) / 4 * 4;
  const int count = map < kProjectionMap ? kProjectionMap : std::min(4, kFeatureMapCount - first);
  const int rows = kPatchHeight, cols = kPatchWidth;
  Scratch& buffers = scratch();
  if (first == 0) {
    const edges::GradientMaps& g = gradients();
    interleaveGradients(buffers.lanes, g);
  } else {
    // A band map is the edge orientation inside its window, 0 elsewhere. The edge orientation map
    // itself has the window of all numbers (it holds no NaN: every value is a folded atan2 or
    // 0), and so has an unused lane.
    constexpr float kInfinity = std::numeric_limits<float>::infinity();
    std::array<Window, 4> windows;
    windows.fill({-kInfinity, kInfinity});
    for (int lane = 0; lane < count; ++lane) {
      const int m = first + lane;
      if (m == kEdgeOrientationMap) continue;
      const int window = m - kFirstBandMap;
      windows[lane] = {bandBounds()[window], bandBounds()[window + kBandSpan - 1]};
    }
    interleaveWindows(buffers.lanes, edgeOrientation(), windows);
  }
  integrateLanes(buffers.lanes.data(), buffers.integrals.data(), rows, cols);
  for (int lane = 0; lane < count; ++lane) {
    const IntegralView view{buffers.integrals.data() + lane, rows, cols,
                            static_cast<size_t>(cols) * kIntegralLanes, kIntegralLanes};
    storeValues(first + lane, view);
  }
}

RegionFeatures::Scratch& RegionFeatures::scratch() {
  // Only computeMap uses it, and only until the values are stored, so one per thread serves
  // every region; it spares two 72 KiB allocations per candidate.
  thread_local Scratch buffers;
  return buffers;
}

void RegionFeatures::interleaveGradients(std::vector<float>& lanes,
                                         const edges::GradientMaps& maps) {
  // Each pixel's gx, gy, magnitude and a zero (the unused lane). Values are only moved.
  float* out = lanes.data();
  for (int y = 0; y < maps.gx.rows; ++y) {
    const float* gx = maps.gx.ptr<float>(y);
    const float* gy = maps.gy.ptr<float>(y);
    const float* magnitude = maps.magnitude.ptr<float>(y);
    for (int x = 0; x < maps.gx.cols; ++x, out += kIntegralLanes) {
      out[0] = gx[x];
      out[1] = gy[x];
      out[2] = magnitude[x];
      out[3] = 0.0f;
    }
  }
}

void RegionFeatures::interleaveWindows(std::vector<float>& lanes, const cv::Mat& map,
                                       const std::array<Window, 4>& windows) {
  float* out = lanes.data();
#ifdef SCENETEXT_X86_SIMD
  if (haveAvx2()) {
    std::array<float, 4> lower, upper;
    for (int lane = 0; lane < 4; ++lane) {
      lower[lane] = windows[lane].lower;
      upper[lane] = windows[lane].upper;
    }
    return interleaveWindowsAvx2(out, map.ptr<float>(0), map.step1(), map.rows, map.cols,
                                 lower.data(), upper.data());
  }
#endif
  // A failed test gives +0, whatever the value's sign.
  for (int y = 0; y < map.rows; ++y) {
    const float* in = map.ptr<float>(y);
    for (int x = 0; x < map.cols; ++x, out += kIntegralLanes) {
      const float v = in[x];
      for (int lane = 0; lane < 4; ++lane) {
        out[lane] = windows[lane].lower <= v && v <= windows[lane].upper ? v : 0.0f;
      }
    }
  }
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
