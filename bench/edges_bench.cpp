// Time of the edge detector on a candidate patch (96 x 48, run twice per candidate region) and
// on a whole VGA-sized working image, and of the feature gradient maps on a patch.

#include <benchmark/benchmark.h>
#include <opencv2/imgproc.hpp>

#include "edges/edge_detection.hpp"
#include "edges/gradient_maps.hpp"

namespace {

// A photograph-like scene: smooth shading, noise, a few shapes and lines of text.
cv::Mat syntheticScene(int width, int height) {
  cv::Mat image(height, width, CV_8UC3);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      image.at<cv::Vec3b>(y, x) = cv::Vec3b(static_cast<uchar>(60 + x * 120 / width),
                                            static_cast<uchar>(80 + y * 100 / height),
                                            static_cast<uchar>(140 - x * 60 / width));
  cv::Mat noise(height, width, CV_8UC3);
  cv::RNG rng(2024);
  rng.fill(noise, cv::RNG::UNIFORM, 0, 24);
  image += noise;
  cv::rectangle(image, cv::Rect(width / 10, height / 10, width / 4, height / 5),
                cv::Scalar(30, 40, 200), cv::FILLED);
  cv::circle(image, cv::Point(width * 3 / 4, height / 3), height / 6, cv::Scalar(230, 230, 230),
             cv::FILLED);
  const double scale = height / 96.0;
  for (int line = 0; line < 3; ++line) {
    cv::putText(image, "OPEN 24 HOURS", cv::Point(width / 12, height * (line + 2) / 5),
                cv::FONT_HERSHEY_SIMPLEX, scale, cv::Scalar(10, 10, 10), std::max(1, height / 120),
                cv::LINE_AA);
  }
  return image;
}

void BM_DetectEdges(benchmark::State& state) {
  const cv::Mat image =
      syntheticScene(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  for (auto _ : state) {
    cv::Mat edges = scenetext::edges::detectEdges(image, scenetext::edges::kEdgeFraction);
    benchmark::DoNotOptimize(edges.data);
  }
  state.SetItemsProcessed(state.iterations() * image.total());
}
BENCHMARK(BM_DetectEdges)->Args({96, 48})->Args({640, 480})->Unit(benchmark::kMicrosecond);

void BM_ComputeGradientMaps(benchmark::State& state) {
  const cv::Mat patch = syntheticScene(96, 48);
  for (auto _ : state) {
    scenetext::edges::GradientMaps maps = scenetext::edges::computeGradientMaps(patch);
    benchmark::DoNotOptimize(maps.magnitude.data);
  }
}
BENCHMARK(BM_ComputeGradientMaps)->Unit(benchmark::kMicrosecond);

}  // namespace
