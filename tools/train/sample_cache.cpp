#include "train/sample_cache.hpp"

#include <opencv2/imgproc.hpp>

#include <cstring>
#include <filesystem>
#include <system_error>

#include "common/file_output.hpp"
#include "features/feature_vector.hpp"

namespace scenetext::training {
namespace {

constexpr char kMagic[8] = {'S', 'T', 'R', 'N', 'C', 'A', 'C', 'H'};
// Raise when the meaning of the cached values changes without the probe noticing.
constexpr uint32_t kCacheFormatVersion = 1;

constexpr uint64_t kFnvOffset = 14695981039346656037ull;
constexpr uint64_t kFnvPrime = 1099511628211ull;

uint64_t hashBytes(uint64_t hash, const void* data, size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  for (size_t i = 0; i < size; ++i) hash = (hash ^ bytes[i]) * kFnvPrime;
  return hash;
}

// A light page with two rows of dark letter-like shapes (bars and rings of similar height, evenly
// spaced) over a gentle gradient and fixed noise: it yields component boxes, candidates and
// feature vectors with edges, so a change anywhere in that code changes the key.
cv::Mat probeImage() {
  cv::Mat image(120, 320, CV_8UC3);
  uint32_t noise = 12345u;
  for (int y = 0; y < image.rows; ++y) {
    for (int x = 0; x < image.cols; ++x) {
      noise = noise * 1664525u + 1013904223u;  // a fixed linear congruential sequence
      const int value = 190 + x / 8 + static_cast<int>(noise >> 28);
      image.at<cv::Vec3b>(y, x) =
          cv::Vec3b(cv::saturate_cast<uchar>(value), cv::saturate_cast<uchar>(value - 10),
                    cv::saturate_cast<uchar>(value - 20));
    }
  }
  for (int row = 0; row < 2; ++row) {
    for (int k = 0; k < 9; ++k) {
      const cv::Point origin(20 + k * 32, 18 + row * 52);
      const cv::Scalar ink(40 + 10 * k, 30, 60 - 5 * k);
      if ((k + row) % 3 == 0) {
        cv::rectangle(image, origin, origin + cv::Point(8, 28), ink, cv::FILLED);
      } else {
        cv::ellipse(image, origin + cv::Point(10, 14), cv::Size(10, 14), 0, 0, 360, ink, 4);
      }
    }
  }
  return image;
}

template <typename T>
void put(std::string& out, const T& value) {
  out.append(reinterpret_cast<const char*>(&value), sizeof(T));
}

class Reader {
 public:
  explicit Reader(const std::string& bytes) : bytes_(bytes) {}
  template <typename T>
  bool get(T& value) {
    if (bytes_.size() - offset_ < sizeof(T)) return false;
    std::memcpy(&value, bytes_.data() + offset_, sizeof(T));
    offset_ += sizeof(T);
    return true;
  }
  bool getBytes(void* target, size_t size) {
    if (bytes_.size() - offset_ < size) return false;
    std::memcpy(target, bytes_.data() + offset_, size);
    offset_ += size;
    return true;
  }
  bool atEnd() const { return offset_ == bytes_.size(); }
  size_t left() const { return bytes_.size() - offset_; }

 private:
  const std::string& bytes_;
  size_t offset_ = 0;
};

bool readEntry(Reader& reader, std::string& identity, CandidateFeatures& entry) {
  uint32_t identityLength = 0;
  if (!reader.get(identityLength) || identityLength > reader.left()) return false;
  identity.resize(identityLength);
  int32_t factor = 0, width = 0, height = 0;
  uint32_t count = 0;
  if (!reader.getBytes(identity.data(), identityLength) || !reader.get(factor) ||
      !reader.get(width) || !reader.get(height) || !reader.get(count)) {
    return false;
  }
  // Each rectangle takes 16 bytes and its features 760: a count beyond what is left is damage.
  const size_t perRect = 4 * sizeof(int32_t) + features::kFeatureCount * sizeof(float);
  if (count > reader.left() / perRect) return false;
  entry.factor = factor;
  entry.width = width;
  entry.height = height;
  entry.rects.resize(count);
  for (cv::Rect& rect : entry.rects) {
    int32_t values[4];
    if (!reader.getBytes(values, sizeof(values))) return false;
    rect = cv::Rect(values[0], values[1], values[2], values[3]);
  }
  entry.features.resize(static_cast<size_t>(count) * features::kFeatureCount);
  return reader.getBytes(entry.features.data(), entry.features.size() * sizeof(float));
}

}  // namespace

uint64_t sampleCacheKey(const CandidateSource& source) {
  uint64_t hash = hashBytes(kFnvOffset, &kCacheFormatVersion, sizeof(kCacheFormatVersion));
  hash = hashBytes(hash, source.name.data(), source.name.size());
  const cv::Mat probe = probeImage();
  const std::vector<cv::Rect> rects = source.candidates(probe);
  for (const cv::Rect& rect : rects) {
    const int32_t values[4] = {rect.x, rect.y, rect.width, rect.height};
    hash = hashBytes(hash, values, sizeof(values));
  }
  // The whole probe, and its candidates, as regions: the feature code at several sizes.
  std::vector<cv::Rect> regions = rects;
  regions.push_back(cv::Rect(0, 0, probe.cols, probe.rows));
  regions.push_back(cv::Rect(10, 10, 60, 40));
  for (const cv::Rect& region : regions) {
    const cv::Mat features = features::computeFeatureVector(probe(region));
    hash = hashBytes(hash, features.ptr<float>(0), features.total() * sizeof(float));
  }
  return hash;
}

std::string imageIdentity(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::path canonical = fs::canonical(path, error);
  if (error) return "";
  const uintmax_t size = fs::file_size(canonical, error);
  if (error) return "";
  const fs::file_time_type time = fs::last_write_time(canonical, error);
  if (error) return "";
  return canonical.string() + "|" + std::to_string(size) + "|" +
         std::to_string(time.time_since_epoch().count());
}

std::string formatSampleCache(const SampleCache& cache) {
  std::string out(kMagic, sizeof(kMagic));
  put(out, kCacheFormatVersion);
  put(out, cache.key);
  put(out, static_cast<uint64_t>(cache.entries.size()));
  for (const auto& [identity, entry] : cache.entries) {
    put(out, static_cast<uint32_t>(identity.size()));
    out.append(identity);
    put(out, static_cast<int32_t>(entry.factor));
    put(out, static_cast<int32_t>(entry.width));
    put(out, static_cast<int32_t>(entry.height));
    put(out, static_cast<uint32_t>(entry.rects.size()));
    for (const cv::Rect& rect : entry.rects) {
      const int32_t values[4] = {rect.x, rect.y, rect.width, rect.height};
      out.append(reinterpret_cast<const char*>(values), sizeof(values));
    }
    out.append(reinterpret_cast<const char*>(entry.features.data()),
               entry.features.size() * sizeof(float));
  }
  return out;
}

Status writeSampleCache(const std::string& path, const SampleCache& cache) {
  return writeFileAtomically(path, formatSampleCache(cache));
}

Result<CacheReading> readSampleCache(const std::string& path, uint64_t expectedKey) {
  CacheReading reading;
  reading.cache.key = expectedKey;
  std::error_code error;
  if (!std::filesystem::exists(path, error)) return reading;
  Result<std::string> bytes = readWholeFile(path);
  if (!bytes.ok()) return bytes.status();
  Reader reader(*bytes);
  char magic[sizeof(kMagic)];
  uint32_t version = 0;
  uint64_t key = 0, count = 0;
  if (!reader.getBytes(magic, sizeof(magic)) || std::memcmp(magic, kMagic, sizeof(kMagic)) != 0) {
    return Status::error("'" + path + "' is not a sample cache");
  }
  if (!reader.get(version) || !reader.get(key) || version != kCacheFormatVersion ||
      key != expectedKey) {
    reading.stale = true;
    return reading;
  }
  if (!reader.get(count)) return Status::error("sample cache '" + path + "' is truncated");
  for (uint64_t i = 0; i < count; ++i) {
    std::string identity;
    CandidateFeatures entry;
    if (!readEntry(reader, identity, entry)) {
      return Status::error("sample cache '" + path + "' is damaged at entry " +
                           std::to_string(i + 1));
    }
    reading.cache.entries.emplace(std::move(identity), std::move(entry));
  }
  if (!reader.atEnd())
    return Status::error("sample cache '" + path + "' has bytes after its last entry");
  return reading;
}

}  // namespace scenetext::training
