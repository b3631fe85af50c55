#include "features/region_features.hpp"

#include <immintrin.h>

#include <algorithm>
#include <limits>

#include "common/instruction_sets.hpp"
#include "edges/edge_detection.hpp"
#include "features/feature_maps.hpp"
#include "features/integral_image.hpp"
#include "features/orientation_maps.hpp"
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
  // Four pixels at a time: their gx, gy, magnitude and a zero (the unused lane) as four rows of a
  // 4 x 4 block, transposed into four pixels of four lanes. Values are only moved.
  float* out = lanes.data();
  for (int y = 0; y < maps.gx.rows; ++y) {
    const float* gx = maps.gx.ptr<float>(y);
    const float* gy = maps.gy.ptr<float>(y);
    const float* magnitude = maps.magnitude.ptr<float>(y);
    int x = 0;
    for (; x + 4 <= maps.gx.cols; x += 4, out += 4 * kIntegralLanes) {
      __m128 a = _mm_loadu_ps(gx + x), b = _mm_loadu_ps(gy + x);
      __m128 c = _mm_loadu_ps(magnitude + x), d = _mm_setzero_ps();
      _MM_TRANSPOSE4_PS(a, b, c, d);
      _mm_storeu_ps(out, a);
      _mm_storeu_ps(out + 4, b);
      _mm_storeu_ps(out + 8, c);
      _mm_storeu_ps(out + 12, d);
    }
    for (; x < maps.gx.cols; ++x, out += kIntegralLanes) {
      _mm_storeu_ps(out, _mm_setr_ps(gx[x], gy[x], magnitude[x], 0.0f));
    }
  }
}

SCENETEXT_BEGIN_AVX2

namespace {

// interleaveWindows with AVX2: two pixels per register, each repeated over its four lanes.
void interleaveWindowsAvx2(float* out, const cv::Mat& map, __m128 lower4, __m128 upper4) {
  const __m256 lower = _mm256_set_m128(lower4, lower4), upper = _mm256_set_m128(upper4, upper4);
  const __m256i firstTwo = _mm256_setr_epi32(0, 0, 0, 0, 1, 1, 1, 1);
  const __m256i lastTwo = _mm256_setr_epi32(2, 2, 2, 2, 3, 3, 3, 3);
  const auto masked = [&](__m256 v) {
    const __m256 inside = _mm256_and_ps(_mm256_cmp_ps(lower, v, _CMP_LE_OQ),
                                        _mm256_cmp_ps(v, upper, _CMP_LE_OQ));
    return _mm256_and_ps(inside, v);
  };
  for (int y = 0; y < map.rows; ++y) {
    const float* in = map.ptr<float>(y);
    int x = 0;
    for (; x + 4 <= map.cols; x += 4, out += 4 * kIntegralLanes) {
      const __m256 four = _mm256_castps128_ps256(_mm_loadu_ps(in + x));
      _mm256_storeu_ps(out, masked(_mm256_permutevar8x32_ps(four, firstTwo)));
      _mm256_storeu_ps(out + 8, masked(_mm256_permutevar8x32_ps(four, lastTwo)));
    }
    for (; x < map.cols; ++x, out += kIntegralLanes) {
      const __m128 v = _mm_set1_ps(in[x]);
      _mm_storeu_ps(out, _mm_and_ps(_mm_and_ps(_mm_cmple_ps(lower4, v), _mm_cmple_ps(v, upper4)), v));
    }
  }
}

}  // namespace

SCENETEXT_END_TARGET

void RegionFeatures::interleaveWindows(std::vector<float>& lanes, const cv::Mat& map,
                                       const std::array<Window, 4>& windows) {
  // Four window tests of one pixel in one SSE register; a failed test masks the value to +0.
  const __m128 lower =
      _mm_setr_ps(windows[0].lower, windows[1].lower, windows[2].lower, windows[3].lower);
  const __m128 upper =
      _mm_setr_ps(windows[0].upper, windows[1].upper, windows[2].upper, windows[3].upper);
  if (haveAvx2()) return interleaveWindowsAvx2(lanes.data(), map, lower, upper);
  float* out = lanes.data();
  for (int y = 0; y < map.rows; ++y) {
    const float* in = map.ptr<float>(y);
    for (int x = 0; x < map.cols; ++x, out += kIntegralLanes) {
      const __m128 v = _mm_set1_ps(in[x]);
      const __m128 inside = _mm_and_ps(_mm_cmple_ps(lower, v), _mm_cmple_ps(v, upper));
      _mm_storeu_ps(out, _mm_and_ps(inside, v));
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
