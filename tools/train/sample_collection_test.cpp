#include "train/sample_collection.hpp"

#include <gtest/gtest.h>

#include <fstream>

#include "classifier/stump_cascade.hpp"
#include "common/test_support.hpp"
#include "driver/run.hpp"
#include "features/feature_vector.hpp"
#include "regions/band_classification.hpp"
#include "train/sample_cache.hpp"
#include "train/test_support.hpp"

namespace scenetext::training {
namespace {

using scenetext::testing::ScratchFolder;

std::vector<TrainingImage> generatedImages(const ScratchFolder& scratch, int count) {
  testing::writeGeneratedSet(scratch / "set", count, 7);
  auto listing = listLabelledFolder((scratch / "set").string());
  EXPECT_TRUE(listing.ok()) << listing.status().message();
  return listing->images;
}

TEST(SampleCollection, CandidatesAreTheDistinctRectanglesOfTheDetectionWithTheirFeatures) {
  ScratchFolder scratch("train-collect");
  const std::vector<TrainingImage> images = generatedImages(scratch, 4);
  auto samples = collectSamples(images, {});
  ASSERT_TRUE(samples.ok()) << samples.status().message();
  size_t text = 0, notText = 0;
  for (const ImageSamples& image : *samples) {
    auto input = driver::loadColourImage(image.image.imagePath);
    ASSERT_TRUE(input.ok());
    const driver::WorkingInput prepared = driver::prepareWorkingInput(*input);
    // The detector's candidates in seed order, each kept at its first appearance.
    const std::vector<cv::Rect> all = exactCandidateSource().candidates(prepared.working);
    EXPECT_EQ(image.candidates.rects, distinctRectangles(all)) << image.image.imagePath;
    EXPECT_LE(image.candidates.rects.size(), all.size());
    ASSERT_EQ(image.candidates.features.size(), image.size() * features::kFeatureCount);
    ASSERT_EQ(image.labels.size(), image.size());
    for (size_t k = 0; k < image.size(); ++k) {
      const cv::Mat expected = features::computeFeatureVector(
          regions::cropRegion(prepared.working, image.candidates.rects[k]));
      const std::span<const float> got = image.featuresOf(k);
      ASSERT_TRUE(std::equal(got.begin(), got.end(), expected.ptr<float>(0)));
      text += image.labels[k] == SampleLabel::Text;
      notText += image.labels[k] == SampleLabel::NotText;
    }
  }
  // The generated pages hold both kinds, or the other tests would prove little.
  EXPECT_GT(text, 3u);
  EXPECT_GT(notText, 3u);
}

TEST(SampleCollection, DistinctRectanglesKeepTheFirstAppearance) {
  const std::vector<cv::Rect> rects{
      {1, 2, 3, 4}, {0, 0, 5, 5}, {1, 2, 3, 4}, {1, 2, 4, 3}, {0, 0, 5, 5}};
  EXPECT_EQ(distinctRectangles(rects),
            (std::vector<cv::Rect>{{1, 2, 3, 4}, {0, 0, 5, 5}, {1, 2, 4, 3}}));
}

void expectSameSamples(const std::vector<ImageSamples>& a, const std::vector<ImageSamples>& b) {
  ASSERT_EQ(a.size(), b.size());
  for (size_t i = 0; i < a.size(); ++i) {
    EXPECT_EQ(a[i].candidates.rects, b[i].candidates.rects);
    EXPECT_EQ(a[i].candidates.features, b[i].candidates.features);
    EXPECT_EQ(a[i].candidates.factor, b[i].candidates.factor);
    EXPECT_EQ(a[i].labels, b[i].labels);
  }
}

TEST(SampleCollection, ThreadsAndCacheGiveTheSameSamples) {
  ScratchFolder scratch("train-cache");
  const std::vector<TrainingImage> images = generatedImages(scratch, 5);
  auto plain = collectSamples(images, {});
  ASSERT_TRUE(plain.ok());

  CollectionOptions options;
  options.jobs = 3;
  options.cachePath = (scratch / "samples.cache").string();
  CollectionReport first, second;
  auto computed = collectSamples(images, options, {}, &first);
  ASSERT_TRUE(computed.ok()) << computed.status().message();
  EXPECT_EQ(first.computed, 5u);
  EXPECT_TRUE(first.cacheWritten);
  expectSameSamples(*plain, *computed);

  auto cached = collectSamples(images, options, {}, &second);
  ASSERT_TRUE(cached.ok()) << cached.status().message();
  EXPECT_EQ(second.fromCache, 5u);
  EXPECT_EQ(second.computed, 0u);
  EXPECT_FALSE(second.cacheWritten);
  expectSameSamples(*plain, *cached);
  // No temporary is left beside the cache.
  EXPECT_EQ(scratch.listing(),
            (std::vector<std::string>{"samples.cache", "set", "set/gt_page1.txt",
                                      "set/gt_page2.txt", "set/gt_page3.txt", "set/gt_page4.txt",
                                      "set/gt_page5.txt", "set/page1.png", "set/page2.png",
                                      "set/page3.png", "set/page4.png", "set/page5.png"}));
}

TEST(SampleCollection, CacheOfOtherFeatureCodeIsIgnoredAndDamageIsReported) {
  ScratchFolder scratch("train-stale");
  const std::vector<TrainingImage> images = generatedImages(scratch, 2);
  CollectionOptions options;
  options.cachePath = (scratch / "samples.cache").string();
  ASSERT_TRUE(collectSamples(images, options).ok());

  // A cache made under another key (other feature code) is stale: everything is computed again.
  auto reading = readSampleCache(options.cachePath, sampleCacheKey(options.source));
  ASSERT_TRUE(reading.ok());
  SampleCache other = reading->cache;
  other.key ^= 1;
  ASSERT_TRUE(writeSampleCache(options.cachePath, other).ok());
  CollectionReport report;
  ASSERT_TRUE(collectSamples(images, options, {}, &report).ok());
  EXPECT_TRUE(report.staleCache);
  EXPECT_EQ(report.computed, 2u);

  // A truncated cache is an error that names the file, not a silent recomputation.
  std::string bytes = scenetext::testing::slurp(options.cachePath);
  scratch.write("samples.cache", bytes.substr(0, bytes.size() - 7));
  auto damaged = collectSamples(images, options);
  ASSERT_FALSE(damaged.ok());
  EXPECT_NE(damaged.status().message().find("samples.cache"), std::string::npos)
      << damaged.status().message();
}

TEST(SampleCollection, CacheKeyDependsOnTheCandidateSource) {
  const CandidateSource exact = exactCandidateSource();
  EXPECT_EQ(sampleCacheKey(exact), sampleCacheKey(exact));
  // A source that shifts every candidate by a pixel must not share cached samples.
  CandidateSource shifted{"exact", [](const cv::Mat& working) {
                            std::vector<cv::Rect> rects =
                                exactCandidateSource().candidates(working);
                            for (cv::Rect& rect : rects) rect.x += 1;
                            return rects;
                          }};
  EXPECT_NE(sampleCacheKey(exact), sampleCacheKey(shifted));
  EXPECT_NE(sampleCacheKey(exact), sampleCacheKey({"extended", exact.candidates}));
}

TEST(SampleCollection, ListingAndReadingFailuresNameTheCulprit) {
  ScratchFolder scratch("train-listing");
  std::filesystem::create_directories(scratch / "photos");
  cv::imwrite((scratch / "photos/a.png").string(), cv::Mat(20, 20, CV_8UC3, cv::Scalar::all(128)));
  auto none = listLabelledFolder((scratch / "photos").string());
  ASSERT_FALSE(none.ok());
  EXPECT_NE(none.status().message().find("no ground truth found"), std::string::npos)
      << none.status().message();

  cv::imwrite((scratch / "photos/b.png").string(), cv::Mat(20, 20, CV_8UC3, cv::Scalar::all(128)));
  scratch.write("photos/gt_b.txt", "1 2 3 4 \"ok\"\n");
  auto listing = listLabelledFolder((scratch / "photos").string());
  ASSERT_TRUE(listing.ok());
  ASSERT_EQ(listing->images.size(), 1u);
  EXPECT_EQ(listing->images[0].stem, "b");
  EXPECT_EQ(listing->withoutGroundTruth.size(), 1u);

  scratch.write("photos/gt_b.txt", "1 2 3\n");
  auto broken = collectSamples(listing->images, {});
  ASSERT_FALSE(broken.ok());
  EXPECT_NE(broken.status().message().find("gt_b.txt:1"), std::string::npos)
      << broken.status().message();

  scratch.write("photos/gt_b.txt", "1 2 3 4 \"ok\"\n");
  scratch.write("photos/b.png", "not an image");
  auto unreadable = collectSamples(listing->images, {});
  ASSERT_FALSE(unreadable.ok());
  EXPECT_NE(unreadable.status().message().find("b.png"), std::string::npos)
      << unreadable.status().message();
}

}  // namespace
}  // namespace scenetext::training
