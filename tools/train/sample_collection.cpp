#include "train/sample_collection.hpp"

#include <atomic>
#include <mutex>
#include <thread>

#include "driver/run.hpp"
#include "features/feature_vector.hpp"
#include "regions/band_classification.hpp"

namespace scenetext::training {
namespace {

// Computes the entries of `pending` (indices into `images`) on `jobs` threads; each result lands
// in its own slot, so the order of completion does not matter.
Status computeInParallel(const std::vector<TrainingImage>& images,
                         const std::vector<size_t>& pending, const CollectionOptions& options,
                         const Progress& progress, std::vector<CandidateFeatures>& results) {
  std::atomic<size_t> next{0};
  std::atomic<size_t> done{0};
  std::atomic<bool> failed{false};
  std::mutex mutex;
  Status firstFailure;
  size_t firstFailureIndex = pending.size();
  // Progress about every twentieth of the work.
  const size_t reportEvery = std::max<size_t>(1, pending.size() / 20);
  auto work = [&] {
    for (size_t i = next++; i < pending.size() && !failed; i = next++) {
      const TrainingImage& image = images[pending[i]];
      Result<CandidateFeatures> computed = Status::error("");
      try {
        computed = computeCandidateFeatures(image.imagePath, options.source);
      } catch (const cv::Exception& error) {
        computed = Status::error("'" + image.imagePath + "': image library error: " + error.msg);
      }
      std::lock_guard<std::mutex> lock(mutex);
      if (!computed.ok()) {
        failed = true;
        if (i < firstFailureIndex) {
          firstFailureIndex = i;
          firstFailure = computed.status();
        }
        continue;
      }
      results[pending[i]] = std::move(computed).value();
      const size_t finished = ++done;
      if (progress && (finished % reportEvery == 0 || finished == pending.size())) {
        progress("features: " + std::to_string(finished) + " of " + std::to_string(pending.size()) +
                 " images");
      }
    }
  };
  std::vector<std::thread> workers;
  const size_t threadCount =
      std::min<size_t>(static_cast<size_t>(std::max(options.jobs, 1)), pending.size());
  for (size_t t = 0; t < threadCount; ++t) workers.emplace_back(work);
  for (std::thread& worker : workers) worker.join();
  return firstFailure;
}

}  // namespace

std::span<const float> ImageSamples::featuresOf(size_t k) const {
  return std::span<const float>(candidates.features)
      .subspan(k * features::kFeatureCount, features::kFeatureCount);
}

Result<CandidateFeatures> computeCandidateFeatures(const std::string& path,
                                                   const CandidateSource& source) {
  Result<cv::Mat> input = driver::loadColourImage(path);
  if (!input.ok()) return input.status();
  const driver::WorkingInput prepared = driver::prepareWorkingInput(std::move(input).value());
  CandidateFeatures result;
  result.factor = prepared.factor;
  result.width = prepared.working.cols;
  result.height = prepared.working.rows;
  result.rects = distinctRectangles(source.candidates(prepared.working));
  result.features.reserve(result.rects.size() * features::kFeatureCount);
  for (const cv::Rect& rect : result.rects) {
    const cv::Mat vector =
        features::computeFeatureVector(regions::cropRegion(prepared.working, rect));
    result.features.insert(result.features.end(), vector.ptr<float>(0),
                           vector.ptr<float>(0) + vector.cols);
  }
  return result;
}

void labelSamples(ImageSamples& samples, const LabelRule& rule) {
  samples.labels.assign(samples.size(), SampleLabel::NotText);
  if (samples.image.role == ImageRole::TextFree) return;
  const std::vector<evaluation::WordBox> scaled =
      scaleWords(samples.words, samples.candidates.factor);
  for (size_t k = 0; k < samples.size(); ++k) {
    samples.labels[k] = labelCandidate(samples.candidates.rects[k], scaled, rule);
  }
}

Result<std::vector<ImageSamples>> collectSamples(const std::vector<TrainingImage>& images,
                                                 const CollectionOptions& options,
                                                 const Progress& progress,
                                                 CollectionReport* report) {
  CollectionReport local;
  CollectionReport& counts = report ? *report : local;
  std::vector<ImageSamples> samples(images.size());
  for (size_t i = 0; i < images.size(); ++i) {
    samples[i].image = images[i];
    Result<std::vector<evaluation::WordBox>> words = readWords(images[i]);
    if (!words.ok()) return words.status();
    samples[i].words = std::move(words).value();
  }

  SampleCache cache;
  cache.key = sampleCacheKey(options.source);
  if (!options.cachePath.empty()) {
    Result<CacheReading> reading = readSampleCache(options.cachePath, cache.key);
    if (!reading.ok()) return reading.status();
    cache = std::move(reading->cache);
    counts.staleCache = reading->stale;
  }

  std::vector<std::string> identities(images.size());
  std::vector<CandidateFeatures> computed(images.size());
  std::vector<size_t> pending;
  for (size_t i = 0; i < images.size(); ++i) {
    identities[i] = imageIdentity(images[i].imagePath);
    auto found = cache.entries.find(identities[i]);
    if (!identities[i].empty() && found != cache.entries.end()) {
      samples[i].candidates = found->second;
      ++counts.fromCache;
    } else {
      pending.push_back(i);
    }
  }
  Status status = computeInParallel(images, pending, options, progress, computed);
  if (!status.ok()) return status;
  counts.computed = pending.size();
  for (size_t i : pending) {
    samples[i].candidates = std::move(computed[i]);
    if (!identities[i].empty()) cache.entries[identities[i]] = samples[i].candidates;
  }
  if (!options.cachePath.empty() && !pending.empty()) {
    Status written = writeSampleCache(options.cachePath, cache);
    if (!written.ok()) return written;
    counts.cacheWritten = true;
  }
  for (ImageSamples& image : samples) labelSamples(image, options.rule);
  return samples;
}

}  // namespace scenetext::training
