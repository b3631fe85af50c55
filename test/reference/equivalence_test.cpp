// The library against the literal reading in src/reference, stage by stage, bit for bit, on real
// photos and synthetic images. Each stage is fed the reference's output of the stage before, so a
// difference is reported at the stage that makes it and does not spill into the later ones; the
// end-to-end comparisons then run the library's whole chain on its own.

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <limits>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "classifier/stump_cascade.hpp"
#include "common/box_list.hpp"
#include "driver/run.hpp"
#include "edges/edge_detection.hpp"
#include "features/feature_vector.hpp"
#include "reference/cascade.hpp"
#include "reference/comparison.hpp"
#include "reference/edge_detection.hpp"
#include "reference/features.hpp"
#include "reference/regions.hpp"
#include "reference/run.hpp"
#include "regions/band_classification.hpp"
#include "regions/component_boxes.hpp"
#include "regions/detection.hpp"
#include "regions/row_bands.hpp"

#if defined(__SANITIZE_ADDRESS__)
#define SCENETEXT_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SCENETEXT_SANITIZED 1
#endif
#endif

namespace scenetext {
namespace {

using reference::FlatBoxList;
using namespace reference::testing;

const std::filesystem::path kPhotoFolder =
    std::filesystem::path(SCENETEXT_SOURCE_DIR) / ".." / "shared" / "data" / "icdar2013-train";

// Photos of every size class of the set: 640 x 480 and its portrait, 1280 x 960, 1600 x 1200 (the
// largest unreduced size), 2048 x 1536 (reduced by 2), 1598 x 922 (padded to exactly 1600), and
// widths that are not multiples of 4 (985, 422, 629, 713). The sanitizer build takes the three
// smallest.
#ifdef SCENETEXT_SANITIZED
const std::vector<std::string> kPhotos{"245.jpg", "273.jpg", "100.jpg"};
#else
const std::vector<std::string> kPhotos{"100.jpg", "101.jpg", "103.jpg", "104.jpg",
                                       "112.jpg", "126.jpg", "296.jpg", "308.jpg",
                                       "255.jpg", "245.jpg", "273.jpg", "305.jpg"};
#endif

// ---------------------------------------------------------------------------------------------
// The corpus.

struct CorpusEntry {
  std::string name;
  std::function<cv::Mat()> make;
};

void PrintTo(const CorpusEntry& entry, std::ostream* os) { *os << entry.name; }

cv::Mat loadPhoto(const std::string& file) {
  const std::filesystem::path path = kPhotoFolder / file;
  if (!std::filesystem::exists(path)) return {};
  return cv::imread(path.string(), cv::IMREAD_COLOR);
}

cv::Mat randomImage(int width, int height, int type, uint64_t seed) {
  cv::Mat image(height, width, type);
  cv::RNG rng(seed);
  rng.fill(image, cv::RNG::UNIFORM, 0, 256);
  return image;
}

// Dark text on a light, slightly noisy background, as a line of a sign.
cv::Mat textImage(int width, int height, int type, const std::string& text, double scale,
                  uint64_t seed) {
  cv::Mat image(height, width, type, cv::Scalar::all(215));
  cv::Mat noise(height, width, type);
  cv::RNG rng(seed);
  rng.fill(noise, cv::RNG::NORMAL, 0, 6);
  image += noise;
  cv::putText(image, text, cv::Point(width / 20, height * 2 / 3), cv::FONT_HERSHEY_SIMPLEX, scale,
              cv::Scalar(30, 40, 50), std::max(1, static_cast<int>(scale * 2)), cv::LINE_AA);
  return image;
}

// 96 x 48 vertical bars of period 12: gradients everywhere, yet so many pixels share the top
// magnitude bin that the patch's EdgeMap is empty.
cv::Mat barsImage() {
  cv::Mat image(48, 96, CV_8UC3);
  for (int x = 0; x < 96; ++x) {
    image.col(x).setTo(x % 12 < 6 ? cv::Scalar(40, 60, 80) : cv::Scalar(200, 210, 220));
  }
  return image;
}

// ---------------------------------------------------------------------------------------------
// Cascades.

classifier::StumpRecord stump(int index, int polarity, float threshold, float weight) {
  return {index, 0.0f, threshold, polarity, weight, 0.0f};
}

classifier::StumpRecord thresholdRecord(float stageThreshold) {
  return {-1, -1.0f, stageThreshold, -1, -1.0f, -1.0f};
}

// Feature vectors of a few regions of two synthetic images: realistic values for every index
// (they span 1e-5 to 1e6 from one index to another), from which the stumps take their thresholds.
const std::vector<cv::Mat>& thresholdPool() {
  static const std::vector<cv::Mat> pool = [] {
    const cv::Mat text = textImage(480, 100, CV_8UC3, "Pool of thresholds 77", 1.6, 99);
    const cv::Mat noise = randomImage(120, 60, CV_8UC3, 98);
    std::vector<cv::Mat> vectors;
    for (const cv::Rect& r :
         {cv::Rect(0, 0, 480, 100), cv::Rect(20, 30, 200, 50), cv::Rect(200, 20, 150, 70),
          cv::Rect(40, 40, 60, 40), cv::Rect(300, 10, 170, 80)}) {
      vectors.push_back(reference::computeFeatureVector(text(r).clone()));
    }
    vectors.push_back(reference::computeFeatureVector(noise));
    return vectors;
  }();
  return pool;
}

// A fixed cascade of five stages drawn from a seeded generator (raw 32-bit draws only, so the
// same with every standard library): each stump's threshold is the value at its index of one
// vector of the pool, weights mostly positive, one stump in ten abstaining with polarity 0, and
// stage thresholds a little below zero, so that both answers and the early exit all occur.
classifier::StumpCascade randomCascade() {
  std::mt19937 generator(20130612u);
  auto uniform = [&generator] { return generator() / 4294967296.0; };
  const std::vector<cv::Mat>& pool = thresholdPool();
  classifier::StumpCascade cascade;
  for (int s = 0; s < 5; ++s) {
    classifier::CascadeStage stage;
    const int stumps = 3 + static_cast<int>(generator() % 6);
    double totalWeight = 0.0;
    for (int i = 0; i < stumps; ++i) {
      const int index = static_cast<int>(generator() % features::kFeatureCount);
      const int polarity = generator() % 10 == 0 ? 0 : (generator() % 2 == 0 ? 1 : -1);
      const float threshold = pool[generator() % pool.size()].at<float>(0, index);
      const float weight = static_cast<float>(uniform() * 1.2 - 0.2);
      totalWeight += std::fabs(weight);
      stage.push_back(stump(index, polarity, threshold, weight));
    }
    stage.push_back(thresholdRecord(static_cast<float>(-uniform() * totalWeight * 0.5)));
    cascade.push_back(stage);
  }
  return cascade;
}

// One stage whose stumps sit exactly on feature values of `features` (so they fire on the tie)
// and whose threshold is exactly the reference's vote sum (so the stage passes on the tie).
classifier::StumpCascade tieCascade(const cv::Mat& features) {
  classifier::CascadeStage stage;
  for (int i = 0; i < features::kFeatureCount; i += 7) {
    stage.push_back(stump(i, i % 2 == 0 ? 1 : -1, features.at<float>(0, i), 0.1f + 0.01f * i));
  }
  float sum = 0.0f;
  for (const classifier::StumpRecord& s : stage)
    sum = s.polarity == 1 ? sum + s.weight : sum - s.weight;
  stage.push_back(thresholdRecord(sum));
  return {stage};
}

// Every stage on its own and the whole cascade.
void expectSameDecisions(const std::string& stage, const cv::Mat& features,
                         const classifier::StumpCascade& cascade) {
  for (size_t s = 0; s < cascade.size(); ++s) {
    const std::vector<classifier::StumpRecord> stumps(cascade[s].begin(), cascade[s].end() - 1);
    const float threshold = cascade[s].back().threshold;
    EXPECT_EQ(classifier::evaluateStage(stumps, features.ptr<float>(0), threshold),
              reference::evaluateStage(stumps, features, threshold))
        << stage << ": stage " << s;
  }
  EXPECT_EQ(classifier::evaluateStumpCascade(features, cascade),
            reference::evaluateStumpCascade(features, cascade))
      << stage << ": cascade";
}

std::vector<CorpusEntry> corpus() {
  std::vector<CorpusEntry> entries;
  for (const std::string& photo : kPhotos) {
    entries.push_back(
        {"photo_" + photo.substr(0, photo.find('.')), [photo] { return loadPhoto(photo); }});
  }
  entries.push_back({"one_pixel", [] { return cv::Mat(1, 1, CV_8UC3, cv::Scalar(10, 200, 30)); }});
  entries.push_back({"three_by_three", [] { return randomImage(3, 3, CV_8UC3, 3); }});
  entries.push_back({"five_by_seven", [] { return randomImage(5, 7, CV_8UC3, 57); }});
  entries.push_back(
      {"uniform", [] { return cv::Mat(48, 64, CV_8UC3, cv::Scalar(120, 130, 140)); }});
  entries.push_back({"noise", [] { return randomImage(160, 120, CV_8UC3, 7); }});
  entries.push_back({"bars_period_12", [] { return barsImage(); }});
  entries.push_back(
      {"text_line", [] { return textImage(480, 100, CV_8UC3, "Scene Text 2013 OPEN", 1.6, 11); }});
  entries.push_back(
      {"grey_text", [] { return textImage(320, 90, CV_8UC1, "grey channel 42", 1.1, 12); }});
  entries.push_back(
      {"width_641", [] { return textImage(641, 120, CV_8UC3, "WIDTH 641 pixels", 1.8, 13); }});
  entries.push_back({"reduced_by_2",
                     [] { return textImage(1700, 300, CV_8UC3, "REDUCED BY TWO 1700", 5.0, 14); }});
  entries.push_back({"reduced_by_4",
                     [] { return textImage(3300, 200, CV_8UC3, "FOUR TIMES SMALLER", 6.0, 15); }});
  return entries;
}

// ---------------------------------------------------------------------------------------------

class Equivalence : public ::testing::TestWithParam<CorpusEntry> {};

// Distinct candidate rectangles plus a few odd ones: one pixel, one column, one row, the whole
// image.
std::vector<cv::Rect> featureRects(const std::vector<cv::Rect>& candidates, const cv::Size& size) {
  std::vector<cv::Rect> rects;
  std::set<std::tuple<int, int, int, int>> seen;
  auto add = [&](const cv::Rect& r) {
    if (seen.insert({r.x, r.y, r.width, r.height}).second) rects.push_back(r);
  };
  for (const cv::Rect& r : candidates) add(r);
  add(cv::Rect(0, 0, 1, 1));
  add(cv::Rect(size.width / 2, 0, 1, size.height));
  add(cv::Rect(0, size.height / 2, size.width, 1));
  add(cv::Rect(0, 0, size.width, size.height));
  return rects;
}

// Interior bounds at a third and a half of the height, when they are distinct.
std::vector<int> severalBands(int height) {
  std::vector<int> bands{0};
  for (int b : {height / 3, height / 2}) {
    if (b > bands.back() && b < height) bands.push_back(b);
  }
  bands.push_back(height);
  return bands;
}

TEST_P(Equivalence, EveryStageEqualsTheReference) {
  const cv::Mat input = GetParam().make();
  ASSERT_FALSE(input.empty()) << "cannot read the photo of " << GetParam().name << " in "
                              << kPhotoFolder
                              << " (the shared data folder must lie beside the clone)";

  // Input preparation and reduction.
  const driver::WorkingInput libraryInput = driver::prepareWorkingInput(input.clone());
  const reference::WorkingInput referenceInput = reference::prepareWorkingInput(input);
  EXPECT_EQ(libraryInput.factor, referenceInput.factor) << "reduction factor";
  expectSameMat("WorkingImage", libraryInput.working, referenceInput.working);
  const cv::Mat& working = referenceInput.working;
  const int width = working.cols;
  const int height = working.rows;

  // EdgeMap of the WorkingImage.
  const cv::Mat edges = reference::detectEdges(working, 0.9f);
  expectSameMat("EdgeMap", edges::detectEdges(working, 0.9f), edges);

  // Component boxes: contours, filter, band split.
  FlatBoxList boxes = reference::contourBoxes(edges, width, height);
  expectSameBoxes("contour boxes", regions::contourBoxes(edges, width, height), boxes);
  BoxList libraryFiltered = unflatten(boxes);
  regions::filterComponentBoxes(libraryFiltered);
  reference::filterComponentBoxes(boxes);
  expectSameBoxes("filtered boxes", libraryFiltered, boxes);
  for (const std::vector<int>& bands : {std::vector<int>{0, height}, severalBands(height)}) {
    BoxList librarySplit = unflatten(boxes);
    FlatBoxList referenceSplit = boxes;
    regions::splitBoxesAtBands(librarySplit, bands);
    reference::splitBoxesAtBands(referenceSplit, bands);
    expectSameBoxes("boxes split at " + std::to_string(bands.size() - 2) + " interior bounds",
                    librarySplit, referenceSplit);
  }

  // Candidate rectangles.
  const std::vector<cv::Rect> candidates = reference::formCandidates(boxes);
  expectSameRects("candidates", regions::formCandidates(unflatten(boxes)), candidates);

  // Feature vectors and cascade decisions on every distinct rectangle.
  const classifier::StumpCascade cascade = randomCascade();
  int accepted = 0;
  const std::vector<cv::Rect> rects = featureRects(candidates, working.size());
  for (const cv::Rect& rect : rects) {
    const cv::Mat crop = working(rect).clone();
    const cv::Mat vector = reference::computeFeatureVector(crop);
    expectSameMat("feature vector of " + rectText(rect), features::computeFeatureVector(crop),
                  vector);
    expectSameDecisions("random cascade on " + rectText(rect), vector, cascade);
    expectSameDecisions("tie cascade on " + rectText(rect), vector, tieCascade(vector));
    cv::Mat withNaN = vector.clone();
    for (int i = 0; i < features::kFeatureCount; i += 3) {
      withNaN.at<float>(0, i) = std::numeric_limits<float>::quiet_NaN();
    }
    expectSameDecisions("random cascade with NaN features on " + rectText(rect), withNaN, cascade);
    accepted += reference::evaluateStumpCascade(vector, cascade) == 1;
  }
  RecordProperty("working_size", std::to_string(width) + "x" + std::to_string(height));
  RecordProperty("boxes", static_cast<int>(boxes.size() / 4));
  RecordProperty("candidates", static_cast<int>(candidates.size()));
  RecordProperty("feature_vectors", static_cast<int>(rects.size()));
  RecordProperty("accepted_by_random_cascade", accepted);

  // The detection driver over several bands with the random cascade, on the reference EdgeMap.
  const std::vector<int> bands = severalBands(height);
  BoxList libraryBoxes;
  cv::Mat libraryText;
  cv::Mat libraryBoxMask;
  regions::detectTextRegions(libraryBoxes, libraryText, libraryBoxMask, working, edges, bands,
                             cascade);
  FlatBoxList referenceBoxes;
  cv::Mat referenceText;
  cv::Mat referenceBoxMask;
  reference::detectTextRegions(referenceBoxes, referenceText, referenceBoxMask, working, edges,
                               bands, cascade);
  expectSameMat("TextMask over bands, random cascade", libraryText, referenceText);
  expectSameBoxes("final boxes over bands, random cascade", libraryBoxes, referenceBoxes);
  expectSameMat("BoxMask over bands, random cascade", libraryBoxMask, referenceBoxMask);

  // The whole chain of the run from the WorkingImage, accepting every candidate.
  const driver::Detection library = driver::detectText(working, classifier::StumpCascade{});
  const reference::Detection expected = reference::detectText(working, classifier::StumpCascade{});
  expectSameMat("TextMask end to end", library.textMask, expected.textMask);
  expectSameBoxes("final boxes end to end", library.boxes, expected.boxes);
  expectSameMat("BoxMask end to end", library.boxMask, expected.boxMask);
}

INSTANTIATE_TEST_SUITE_P(Corpus, Equivalence, ::testing::ValuesIn(corpus()),
                         [](const ::testing::TestParamInfo<CorpusEntry>& info) {
                           return info.param.name;
                         });

TEST(EquivalenceCorpus, PhotoFolderIsPresent) {
  ASSERT_TRUE(std::filesystem::is_directory(kPhotoFolder))
      << kPhotoFolder
      << " is missing: the equivalence test needs the shared photos beside the clone";
  for (const std::string& photo : kPhotos) {
    EXPECT_TRUE(std::filesystem::exists(kPhotoFolder / photo)) << photo;
  }
}

}  // namespace
}  // namespace scenetext
