// scenetext-digest OUT_DIR [PHOTO_DIR]: digests of every intermediate output of the detector on a
// fixed corpus (photos of several sizes, reduced ones among them, and synthetic tiny, uniform,
// textured and text images), one line per value: the working image's EdgeMap, the component boxes,
// the candidate rectangles, every candidate's feature vector and its patch-level maps, the
// cascade decisions of four cascades and the final boxes and masks. Two builds whose digest files
// are equal produced the same bytes at every stage. The random cascades are made from the first
// run's feature vectors and saved in OUT_DIR, so later runs judge with the very same cascades.
//
// The digests are of this machine's OpenCV build (its SIMD dispatch decides some roundings):
// compare runs on one machine only.

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "classifier/stump_cascade.hpp"
#include "driver/input_preparation.hpp"
#include "driver/run.hpp"
#include "edges/edge_detection.hpp"
#include "edges/gradient_maps.hpp"
#include "features/feature_maps.hpp"
#include "features/feature_vector.hpp"
#include "features/orientation_maps.hpp"
#include "random_cascade.hpp"
#include "regions/band_classification.hpp"
#include "regions/component_boxes.hpp"
#include "regions/detection.hpp"
#include "straightforward/feature_maps.hpp"
#include "straightforward/orientation_maps.hpp"

namespace {

using namespace scenetext;

// FNV-1a over the bytes of the values, with the type and size of a matrix first.
class Digest {
 public:
  void bytes(const void* data, size_t n) {
    const auto* p = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < n; ++i) hash_ = (hash_ ^ p[i]) * 1099511628211ull;
  }
  void mat(const cv::Mat& m) {
    const int header[4] = {m.type(), m.rows, m.cols, m.dims};
    bytes(header, sizeof header);
    for (int r = 0; r < m.rows; ++r) bytes(m.ptr(r), m.cols * m.elemSize());
  }
  void boxes(const BoxList& list) {
    for (const Box& b : list) bytes(&b, sizeof b);
  }
  std::string hex() const {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash_));
    return text;
  }

 private:
  uint64_t hash_ = 1469598103934665603ull;
};

std::string digestOf(const cv::Mat& m) {
  Digest d;
  d.mat(m);
  return d.hex();
}

std::string digestOf(const std::vector<cv::Mat>& maps) {
  Digest d;
  for (const cv::Mat& m : maps) d.mat(m);
  return d.hex();
}

struct Sample {
  std::string name;
  cv::Mat image;  // as loaded, before preparation
};

// Synthetic images: tiny, uniform, textured and dense text, and odd widths.
std::vector<Sample> syntheticSamples(const std::vector<Sample>& photos) {
  std::vector<Sample> out;
  cv::RNG rng(12345);
  out.push_back({"synthetic-1x1", cv::Mat(1, 1, CV_8UC3, cv::Scalar(10, 200, 30))});
  out.push_back({"synthetic-3x2", cv::Mat(2, 3, CV_8UC3, cv::Scalar(0, 0, 0))});
  cv::Mat small(7, 13, CV_8UC3);
  rng.fill(small, cv::RNG::UNIFORM, 0, 256);
  out.push_back({"synthetic-noise-13x7", small});
  out.push_back({"synthetic-uniform-320x200", cv::Mat(200, 320, CV_8UC3, cv::Scalar(90, 90, 90))});
  cv::Mat noise(240, 322, CV_8UC3);
  rng.fill(noise, cv::RNG::NORMAL, 128, 40);
  out.push_back({"synthetic-noise-322x240", noise});
  cv::Mat text(480, 641, CV_8UC3);
  for (int y = 0; y < text.rows; ++y) text.row(y).setTo(cv::Scalar(200 - y / 4, 180, 120 + y / 5));
  const char* lines[] = {"OPEN 24 HOURS", "Exit 7 ->", "PHARMACY", "no parking", "SALE 50%"};
  for (int i = 0; i < 5; ++i) {
    cv::putText(text, lines[i], cv::Point(20 + 7 * i, 80 + 85 * i), cv::FONT_HERSHEY_SIMPLEX,
                1.2 + 0.3 * i, cv::Scalar(20 + 40 * i, 20, 30), 2 + i % 3, cv::LINE_AA);
  }
  out.push_back({"synthetic-text-641x480", text});
  cv::Mat checker(120, 160, CV_8UC3);
  for (int y = 0; y < checker.rows; ++y)
    for (int x = 0; x < checker.cols; ++x)
      checker.at<cv::Vec3b>(y, x) =
          ((x / 8 + y / 8) % 2) ? cv::Vec3b(250, 250, 250) : cv::Vec3b(5, 5, 5);
  out.push_back({"synthetic-checker-160x120", checker});
  if (!photos.empty()) {
    cv::Mat big;  // reduced by 4 after padding: 3301 pads to 3304
    cv::resize(photos.front().image, big, cv::Size(3301, 1700), 0, 0, cv::INTER_LINEAR);
    out.push_back({"synthetic-upscaled-3301x1700", big});
    cv::Mat grey;
    cv::cvtColor(photos.back().image, grey, cv::COLOR_BGR2GRAY);
    cv::cvtColor(grey, grey, cv::COLOR_GRAY2BGR);
    out.push_back({"synthetic-grey-" + photos.back().name, grey});
  }
  return out;
}

const char* kPhotos[] = {"100.jpg", "101.jpg", "103.jpg", "106.jpg", "107.jpg", "111.jpg",
                         "113.jpg", "116.jpg", "117.jpg", "121.jpg", "112.jpg", "120.jpg",
                         "126.jpg", "296.jpg", "255.jpg", "283.jpg", "305.jpg", "148.jpg",
                         "245.jpg", "223.jpg", "298.jpg", "308.jpg", "104.jpg", "184.jpg"};

struct Run {
  std::vector<Sample> samples;
  std::vector<cv::Mat> workings;
  std::vector<std::vector<cv::Rect>> candidates;
  std::vector<std::vector<bench::SampleVector>> features;
};

bench::SampleVector toArray(const cv::Mat& fv) {
  bench::SampleVector a{};
  for (int i = 0; i < classifier::kFeatureCount; ++i) a[i] = fv.at<float>(0, i);
  return a;
}

// Random crops of random sizes, tiny and thin ones among them, for the feature-level checks.
std::vector<cv::Rect> randomRegions(const cv::Mat& image, uint32_t seed, int count) {
  std::mt19937 rng(seed);
  std::vector<cv::Rect> out;
  for (int i = 0; i < count; ++i) {
    const int w = 1 + static_cast<int>(rng() % std::min(image.cols, i % 3 == 0 ? 4 : 300));
    const int h = 1 + static_cast<int>(rng() % std::min(image.rows, i % 4 == 1 ? 3 : 120));
    const int x = static_cast<int>(rng() % (image.cols - w + 1));
    const int y = static_cast<int>(rng() % (image.rows - h + 1));
    out.emplace_back(x, y, w, h);
  }
  return out;
}

void patchLevel(std::ostream& out, const std::string& prefix, const cv::Mat& region) {
  const cv::Mat patch = features::regionPatch(region);
  const cv::Mat grey = features::greyCopy(patch);
  const edges::GradientMaps g = edges::computeGradientMaps(patch);
  out << prefix << " patch-edges " << digestOf(edges::detectEdges(patch, edges::kEdgeFraction))
      << ' ' << digestOf(edges::detectEdges(grey, edges::kEdgeFraction)) << '\n';
  out << prefix << " patch-gradients " << digestOf({g.gx, g.gy, g.magnitude}) << '\n';
  out << prefix << " patch-projection " << digestOf(features::edgeProjectionMap(patch)) << '\n';
  out << prefix << " patch-orientation " << digestOf(features::orientationBandMaps(patch, {}))
      << ' ' << digestOf(features::orientationMap(grey)) << '\n';
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: scenetext-digest OUT_DIR [PHOTO_DIR]\n";
    return 2;
  }
  const std::filesystem::path outDir = argv[1];
  const std::string photoDir =
      argc > 2 ? argv[2] : std::string(SCENETEXT_SOURCE_DIR) + "/../shared/data/icdar2013-train";
  std::filesystem::create_directories(outDir);

  Run run;
  for (const char* name : kPhotos) {
    cv::Mat image =
        cv::imread(photoDir + "/" + name, cv::IMREAD_COLOR | cv::IMREAD_IGNORE_ORIENTATION);
    if (image.empty()) {
      std::cerr << "scenetext-digest: cannot read " << photoDir << "/" << name << "\n";
      return 1;
    }
    run.samples.push_back({name, image});
  }
  for (Sample& s : syntheticSamples(run.samples)) run.samples.push_back(std::move(s));

  std::ofstream out(outDir / "digests.txt");
  std::ofstream raw(outDir / "features.bin", std::ios::binary);
  // Stage by stage up to the feature vectors, with no cascade involved.
  for (const Sample& sample : run.samples) {
    const driver::WorkingInput input = driver::prepareWorkingInput(sample.image);
    const cv::Mat& working = input.working;
    const std::string& n = sample.name;
    out << n << " working " << working.cols << 'x' << working.rows << " factor " << input.factor
        << ' ' << digestOf(working) << '\n';
    cv::Mat edgeMap = edges::detectEdges(working, edges::kEdgeFraction);
    out << n << " edges " << digestOf(edgeMap) << '\n';
    BoxList boxes = regions::contourBoxes(edgeMap, working.cols, working.rows);
    Digest raw0;
    raw0.boxes(boxes);
    regions::filterComponentBoxes(boxes);
    Digest filtered;
    filtered.boxes(boxes);
    out << n << " boxes " << raw0.hex() << ' ' << filtered.hex() << " count " << boxes.size()
        << '\n';
    const std::vector<cv::Rect> candidates = regions::formCandidates(boxes);
    out << n << " candidates " << candidates.size() << ':';
    for (const cv::Rect& r : candidates)
      out << ' ' << r.x << ',' << r.y << ',' << r.width << ',' << r.height;
    out << '\n';
    std::vector<bench::SampleVector> vectors;
    for (size_t i = 0; i < candidates.size(); ++i) {
      const cv::Mat crop = regions::cropRegion(working, candidates[i]);
      const cv::Mat fv = features::computeFeatureVector(crop);
      raw.write(reinterpret_cast<const char*>(fv.ptr<float>(0)), fv.cols * sizeof(float));
      out << n << " candidate " << i << " features " << digestOf(fv) << '\n';
      patchLevel(out, n + " candidate " + std::to_string(i), crop);
      vectors.push_back(toArray(fv));
    }
    if (working.cols >= 4 && working.rows >= 4) {
      const std::vector<cv::Rect> regionsOfImage = randomRegions(working, 77, 12);
      for (size_t i = 0; i < regionsOfImage.size(); ++i) {
        const cv::Mat crop = regions::cropRegion(working, regionsOfImage[i]);
        const std::string p = n + " region " + std::to_string(i);
        out << p << " features " << digestOf(features::computeFeatureVector(crop)) << '\n';
        patchLevel(out, p, crop);
        out << p << " crop-edges " << digestOf(edges::detectEdges(crop, edges::kEdgeFraction))
            << " crop-gradient-maps ";
        const edges::GradientMaps g = edges::computeGradientMaps(crop);
        out << digestOf({g.gx, g.gy, g.magnitude}) << '\n';
      }
    }
    run.workings.push_back(working);
    run.candidates.push_back(candidates);
    run.features.push_back(std::move(vectors));
    std::cerr << '.' << std::flush;
  }

  // Four cascades: made once from this corpus's vectors, then reused from the files.
  std::vector<bench::SampleVector> all;
  for (const auto& v : run.features) all.insert(all.end(), v.begin(), v.end());
  std::vector<classifier::StumpCascade> cascades;
  const std::vector<bench::RandomCascadeShape> shapes = {
      {}, {{2, 4, 8}, 0.5}, {{10, 10}, 0.8}, {{1, 1, 1, 1, 1, 1}, 0.7}};
  for (size_t c = 0; c < shapes.size(); ++c) {
    const std::string path = (outDir / ("cascade_" + std::to_string(c) + ".model")).string();
    classifier::StumpCascade cascade;
    if (std::filesystem::exists(path)) {
      const Status loaded = classifier::loadStumpCascade(path, cascade);
      if (!loaded.ok()) {
        std::cerr << loaded.message() << '\n';
        return 1;
      }
    } else {
      cascade = bench::makeRandomCascade(all, 1000 + static_cast<uint32_t>(c), shapes[c]);
      const Status saved = classifier::saveStumpCascade(path, cascade);
      if (!saved.ok()) {
        std::cerr << saved.message() << '\n';
        return 1;
      }
    }
    cascades.push_back(std::move(cascade));
  }
  cascades.push_back({});  // the empty cascade accepts every candidate

  for (size_t s = 0; s < run.samples.size(); ++s) {
    const std::string& n = run.samples[s].name;
    for (size_t c = 0; c < cascades.size(); ++c) {
      out << n << " cascade " << c << " decisions ";
      std::string full, lazy;
      for (const bench::SampleVector& v : run.features[s]) {
        full += classifier::evaluateStumpCascade(std::span<const float>(v), cascades[c]) == 1 ? '+'
                                                                                              : '-';
      }
      for (const cv::Rect& rect : run.candidates[s]) {
        const cv::Mat crop = regions::cropRegion(run.workings[s], rect);
        lazy += regions::classifyRegion(crop, cascades[c]) == 1 ? '+' : '-';
      }
      out << full;
      // The decisions with features computed on demand must be those of the whole vectors.
      if (lazy != full) out << " on-demand decisions DIFFER: " << lazy;
      const driver::Detection d = driver::detectText(run.workings[s], cascades[c]);
      Digest boxes;
      boxes.boxes(d.boxes);
      out << " boxes " << d.boxes.size() << ' ' << boxes.hex() << " masks " << digestOf(d.textMask)
          << ' ' << digestOf(d.boxMask) << '\n';
    }
  }
  std::cerr << "\n";
  return 0;
}
