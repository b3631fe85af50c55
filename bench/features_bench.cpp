// Cost of one FeatureVector on a typical 96 x 48 text patch, and of the stages inside it.

#include <benchmark/benchmark.h>

#include <opencv2/imgproc.hpp>

#include "edges/edge_detection.hpp"
#include "edges/gradient_maps.hpp"
#include "features/feature_vector.hpp"
#include "features/integral_image.hpp"
#include "features/nearest_edge.hpp"
#include "features/orientation_maps.hpp"
#include "features/stripe_contrasts.hpp"

namespace {

using namespace scenetext;

// Light text on a darker, slightly shaded background, as a candidate region looks after the crop.
cv::Mat textPatch() {
  cv::Mat patch(features::kPatchHeight, features::kPatchWidth, CV_8UC3);
  for (int y = 0; y < patch.rows; ++y) patch.row(y).setTo(cv::Scalar(60 + y, 80 + y, 100 + y));
  cv::putText(patch, "Exit 7", cv::Point(5, 36), cv::FONT_HERSHEY_SIMPLEX, 1.1,
              cv::Scalar(240, 240, 235), 2, cv::LINE_AA);
  return patch;
}

void BM_ComputeFeatureVector(benchmark::State& state) {
  const cv::Mat patch = textPatch();
  for (auto _ : state) benchmark::DoNotOptimize(features::computeFeatureVector(patch));
}
BENCHMARK(BM_ComputeFeatureVector)->Unit(benchmark::kMicrosecond);

// The same region cut from a larger crop, so the resampling is part of the cost.
void BM_ComputeFeatureVectorFrom200x40(benchmark::State& state) {
  cv::Mat region;
  cv::resize(textPatch(), region, cv::Size(200, 40));
  for (auto _ : state) benchmark::DoNotOptimize(features::computeFeatureVector(region));
}
BENCHMARK(BM_ComputeFeatureVectorFrom200x40)->Unit(benchmark::kMicrosecond);

void BM_FeatureGradientMaps(benchmark::State& state) {
  const cv::Mat patch = textPatch();
  for (auto _ : state) benchmark::DoNotOptimize(edges::computeGradientMaps(patch).magnitude.data);
}
BENCHMARK(BM_FeatureGradientMaps)->Unit(benchmark::kMicrosecond);

void BM_FeaturePatchEdges(benchmark::State& state) {
  const cv::Mat grey = features::greyCopy(textPatch());
  for (auto _ : state) benchmark::DoNotOptimize(edges::detectEdges(grey, edges::kEdgeFraction));
}
BENCHMARK(BM_FeaturePatchEdges)->Unit(benchmark::kMicrosecond);

void BM_FeatureNearestEdgeTransform(benchmark::State& state) {
  const cv::Mat edgeMap = edges::detectEdges(textPatch(), edges::kEdgeFraction);
  std::vector<int> indices;
  for (auto _ : state) {
    features::nearestEdgeIndices(edgeMap, indices);
    benchmark::DoNotOptimize(indices.data());
  }
}
BENCHMARK(BM_FeatureNearestEdgeTransform)->Unit(benchmark::kMicrosecond);

// The orientation family's first map given its EdgeMap: nearest-edge transform and the
// orientations at the nearest edges (the bands are window tests inside the integration).
void BM_FeatureEdgeOrientation(benchmark::State& state) {
  const cv::Mat grey = features::greyCopy(textPatch());
  const cv::Mat edgeMap = edges::detectEdges(grey, edges::kEdgeFraction);
  for (auto _ : state) benchmark::DoNotOptimize(features::edgeOrientationMap(grey, edgeMap));
}
BENCHMARK(BM_FeatureEdgeOrientation)->Unit(benchmark::kMicrosecond);

// The stripe contrasts of all 19 maps, one integral image per map.
void BM_FeatureStripeContrasts19Maps(benchmark::State& state) {
  const cv::Mat map = edges::computeGradientMaps(textPatch()).magnitude;
  for (auto _ : state) {
    for (int m = 0; m < 19; ++m) {
      const cv::Mat integral = features::integralImage(map);
      benchmark::DoNotOptimize(features::tableContrasts(features::IntegralView::of(integral)));
    }
  }
}
BENCHMARK(BM_FeatureStripeContrasts19Maps)->Unit(benchmark::kMicrosecond);

// Four maps integrated side by side (integrateLanes), as the feature vector integrates them.
void BM_FeatureIntegrateLanes(benchmark::State& state) {
  const edges::GradientMaps gradients = edges::computeGradientMaps(textPatch());
  const cv::Mat maps[] = {gradients.gx, gradients.gy, gradients.magnitude};
  const int rows = features::kPatchHeight, cols = features::kPatchWidth;
  std::vector<float> lanes(static_cast<size_t>(rows) * cols * features::kIntegralLanes);
  for (size_t i = 0; i < lanes.size(); ++i) {
    lanes[i] = maps[i % 3].ptr<float>(0)[i / features::kIntegralLanes];
  }
  std::vector<float> integrals(lanes.size());
  for (auto _ : state) {
    features::integrateLanes(lanes.data(), integrals.data(), rows, cols);
    benchmark::DoNotOptimize(integrals.data());
  }
}
BENCHMARK(BM_FeatureIntegrateLanes)->Unit(benchmark::kMicrosecond);

}  // namespace
