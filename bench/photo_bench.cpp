// Whole-photo and per-candidate times over the ICDAR photographs, on one core.
//
// Reads every *.jpg of SCENETEXT_SOURCE_DIR/../shared/data/icdar2013-train (or the folder named
// by SCENETEXT_PHOTO_DIR) and judges with the model file named by SCENETEXT_BENCH_MODEL, else
// models/default.model when it exists, else (or when SCENETEXT_BENCH_MODEL is "random") with a
// seeded random cascade of five stages (3, 6, 12, 24 and 40 stumps, each passing about 60 % of
// the candidates that reach it), whose stumps split at feature values of real candidates. One
// iteration is one pass over the corpus; the distributions are printed after the Google Benchmark
// table and the medians are also its counters.
//
//   BM_PhotoDetection     detectText on the WorkingImage: edge map, regions, classification
//   BM_PhotoCommand       detectFile: read the JPEG, detect, encode and write both results
//   BM_CandidateDecision  classifyCandidate per distinct candidate rectangle (crop, features,
//                         cascade, painting), as the detector classifies them; also the
//                         classification time per candidate formed (duplicates included)

#include <benchmark/benchmark.h>
#include <opencv2/imgcodecs.hpp>

#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "driver/run.hpp"
#include "edges/edge_detection.hpp"
#include "features/feature_vector.hpp"
#include "random_cascade.hpp"
#include "regions/band_classification.hpp"
#include "regions/component_boxes.hpp"

namespace {

using namespace scenetext;
using Clock = std::chrono::steady_clock;

std::string photoDir() {
  if (const char* dir = std::getenv("SCENETEXT_PHOTO_DIR")) return dir;
  return std::string(SCENETEXT_SOURCE_DIR) + "/../shared/data/icdar2013-train";
}

std::vector<std::string> photoPaths() {
  std::vector<std::string> paths;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(photoDir(), error)) {
    if (entry.path().extension() == ".jpg") paths.push_back(entry.path().string());
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

double processCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

struct Photo {
  std::string path;
  driver::WorkingInput input;
  std::vector<cv::Rect> candidates;  // of the working image, in seed order
};

const std::vector<Photo>& photos() {
  static const std::vector<Photo> all = [] {
    std::vector<Photo> out;
    for (const std::string& path : photoPaths()) {
      cv::Mat image = cv::imread(path, cv::IMREAD_COLOR | cv::IMREAD_IGNORE_ORIENTATION);
      if (image.empty()) continue;
      Photo photo{path, driver::prepareWorkingInput(image), {}};
      const cv::Mat& working = photo.input.working;
      BoxList boxes = regions::contourBoxes(edges::detectEdges(working, edges::kEdgeFraction),
                                            working.cols, working.rows);
      regions::filterComponentBoxes(boxes);
      photo.candidates = regions::formCandidates(boxes);
      out.push_back(std::move(photo));
    }
    return out;
  }();
  return all;
}

// The bundled model, or a random cascade placed on the candidates of the first ten photos.
const classifier::StumpCascade& model() {
  static const classifier::StumpCascade cascade = [] {
    const char* chosen = std::getenv("SCENETEXT_BENCH_MODEL");
    const std::string path =
        chosen ? chosen : std::string(SCENETEXT_SOURCE_DIR) + "/models/default.model";
    classifier::StumpCascade loaded;
    if (path != "random" && std::filesystem::exists(path) &&
        classifier::loadStumpCascade(path, loaded).ok()) {
      std::printf("model: %s\n", path.c_str());
      return loaded;
    }
    std::vector<bench::SampleVector> samples;
    const std::vector<Photo>& all = photos();
    for (size_t p = 0; p < std::min<size_t>(10, all.size()); ++p) {
      for (const cv::Rect& rect : all[p].candidates) {
        const cv::Mat fv =
            features::computeFeatureVector(regions::cropRegion(all[p].input.working, rect));
        bench::SampleVector v{};
        std::copy(fv.ptr<float>(0), fv.ptr<float>(0) + fv.cols, v.begin());
        samples.push_back(v);
      }
    }
    std::printf("model: seeded random cascade, stages of 3, 6, 12, 24, 40 stumps\n");
    return bench::makeRandomCascade(samples, 1);
  }();
  return cascade;
}

struct Distribution {
  double median, p90, max, mean;
};

Distribution distributionOf(std::vector<double> values) {
  if (values.empty()) return {0, 0, 0, 0};
  std::sort(values.begin(), values.end());
  const auto at = [&](double q) {
    return values[static_cast<size_t>(q * (values.size() - 1) + 0.5)];
  };
  double sum = 0;
  for (double v : values) sum += v;
  return {at(0.5), at(0.9), values.back(), sum / static_cast<double>(values.size())};
}

void printDistribution(const char* what, const std::vector<double>& ms) {
  const Distribution d = distributionOf(ms);
  std::printf("  %-34s n=%4zu  median %8.3f  p90 %8.3f  max %8.3f  mean %8.3f ms\n", what,
              ms.size(), d.median, d.p90, d.max, d.mean);
}

bool havePhotos(benchmark::State& state) {
  if (!photos().empty()) return true;
  state.SkipWithError(("no photographs in " + photoDir() + "; set SCENETEXT_PHOTO_DIR").c_str());
  for (auto _ : state) {
  }
  return false;
}

std::string sizeClass(const cv::Mat& image) {
  return std::to_string(image.cols) + "x" + std::to_string(image.rows);
}

void BM_PhotoDetection(benchmark::State& state) {
  if (!havePhotos(state)) return;
  cv::setNumThreads(1);
  const classifier::StumpCascade& cascade = model();
  std::vector<double> wall, cpu, edgeMs, restMs;
  std::map<std::string, std::vector<double>> bySize;
  std::vector<double> typical;  // 640 x 480 to 1280 x 960 working images
  for (auto _ : state) {
    wall.clear();
    cpu.clear();
    edgeMs.clear();
    restMs.clear();
    bySize.clear();
    typical.clear();
    for (const Photo& photo : photos()) {
      const cv::Mat& working = photo.input.working;
      double edgesDone = 0;
      bool first = true;
      const auto mark = [&] {
        if (first) edgesDone = processCpuSeconds();
        first = false;
      };
      const double cpuStart = processCpuSeconds();
      const Clock::time_point start = Clock::now();
      driver::Detection detection = driver::detectText(working, cascade, mark);
      const Clock::time_point end = Clock::now();
      benchmark::DoNotOptimize(detection.boxes.data());
      const double ms = std::chrono::duration<double, std::milli>(end - start).count();
      wall.push_back(ms);
      const double cpuEnd = processCpuSeconds();
      cpu.push_back(1e3 * (cpuEnd - cpuStart));
      edgeMs.push_back(1e3 * (edgesDone - cpuStart));
      restMs.push_back(1e3 * (cpuEnd - edgesDone));
      bySize[sizeClass(working)].push_back(ms);
      const long pixels = static_cast<long>(working.cols) * working.rows;
      if (pixels >= 640L * 480 && pixels <= 1280L * 960) typical.push_back(ms);
    }
  }
  const Distribution d = distributionOf(wall);
  state.counters["median_ms"] = d.median;
  state.counters["p90_ms"] = d.p90;
  state.counters["max_ms"] = d.max;
  std::printf("\nPer photo, detectText on the WorkingImage, one thread (%zu photos):\n",
              wall.size());
  printDistribution("wall, all photos", wall);
  printDistribution("cpu, all photos", cpu);
  printDistribution("wall, 640x480 .. 1280x960 pixels", typical);
  printDistribution("cpu, the edge map", edgeMs);
  printDistribution("cpu, regions and classification", restMs);
  for (const auto& [size, ms] : bySize) {
    if (ms.size() >= 3) printDistribution(("wall, " + size).c_str(), ms);
  }
  std::fflush(stdout);
}
BENCHMARK(BM_PhotoDetection)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PhotoCommand(benchmark::State& state) {
  if (!havePhotos(state)) return;
  cv::setNumThreads(1);
  const classifier::StumpCascade& cascade = model();
  const std::filesystem::path out =
      std::filesystem::temp_directory_path() / ("scenetext-bench-" + std::to_string(::getpid()));
  std::filesystem::create_directories(out);
  std::vector<double> wall, cpu;
  for (auto _ : state) {
    wall.clear();
    cpu.clear();
    for (const Photo& photo : photos()) {
      const double cpuStart = processCpuSeconds();
      const Clock::time_point start = Clock::now();
      auto written = driver::detectFile(cascade, photo.path, out.string() + "/");
      wall.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
      cpu.push_back(1e3 * (processCpuSeconds() - cpuStart));
      if (!written.ok()) state.SkipWithError(written.status().message().c_str());
    }
  }
  std::filesystem::remove_all(out);
  const Distribution d = distributionOf(wall);
  state.counters["median_ms"] = d.median;
  std::printf("\nPer photo, detectFile (decode, detect, encode, write), one thread:\n");
  printDistribution("wall", wall);
  printDistribution("cpu", cpu);
  std::fflush(stdout);
}
BENCHMARK(BM_PhotoCommand)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CandidateDecision(benchmark::State& state) {
  if (!havePhotos(state)) return;
  cv::setNumThreads(1);
  const classifier::StumpCascade& cascade = model();
  std::vector<double> us, cpuUs;
  size_t accepted = 0, formed = 0;
  for (auto _ : state) {
    us.clear();
    cpuUs.clear();
    accepted = 0;
    formed = 0;
    for (const Photo& photo : photos()) {
      const cv::Mat& working = photo.input.working;
      cv::Mat result = cv::Mat::zeros(working.rows, working.cols, CV_8UC1);
      // Several seeds form the same rectangle; the detector decides each rectangle once.
      formed += photo.candidates.size();
      for (const cv::Rect& rect : regions::distinctCandidates(photo.candidates)) {
        const double cpuStart = processCpuSeconds();
        const Clock::time_point start = Clock::now();
        const int decision = regions::classifyCandidate(rect, result, working, cascade);
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        cpuUs.push_back(1e6 * (processCpuSeconds() - cpuStart));
        accepted += decision == 1;
      }
    }
  }
  const auto toMs = [](std::vector<double> v) {
    for (double& x : v) x /= 1e3;
    return v;
  };
  const std::vector<double> ms = toMs(us);
  const Distribution d = distributionOf(ms);
  const Distribution cpu = distributionOf(toMs(cpuUs));
  state.counters["median_ms"] = d.median;
  state.counters["mean_ms"] = d.mean;
  std::printf(
      "\nPer classification of a distinct candidate rectangle, classifyCandidate (crop, features,\n"
      "cascade), one thread, %zu of %zu accepted:\n",
      accepted, us.size());
  printDistribution("wall", ms);
  printDistribution("cpu", toMs(cpuUs));
  const double perFormed = static_cast<double>(us.size()) / static_cast<double>(formed);
  std::printf(
      "Per candidate formed (%zu candidates, %zu distinct), classification time / candidates:\n"
      "  wall %.3f ms, cpu %.3f ms\n",
      formed, us.size(), d.mean * perFormed, cpu.mean * perFormed);
  std::fflush(stdout);
}
BENCHMARK(BM_CandidateDecision)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
