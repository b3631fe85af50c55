#include "synth/degradation.hpp"

#include <algorithm>
#include <array>
#include <cmath>

#include <opencv2/imgproc.hpp>

namespace scenetext::synth {
namespace {

constexpr double kPi = 3.14159265358979323846;
// The safe area grows in these steps of the side until it survives the rotation.
constexpr double kMarginStep = 0.005;

cv::Matx23d rotation(cv::Size size, double degrees) {
  const cv::Point2f centre(static_cast<float>((size.width - 1) * 0.5),
                           static_cast<float>((size.height - 1) * 0.5));
  return cv::getRotationMatrix2D(centre, degrees, coverZoom(size, degrees));
}

cv::Point2d apply(const cv::Matx23d& m, cv::Point2d p) {
  return {m(0, 0) * p.x + m(0, 1) * p.y + m(0, 2), m(1, 0) * p.x + m(1, 1) * p.y + m(1, 2)};
}

std::array<cv::Point2d, 4> corners(cv::Rect r) {
  return {cv::Point2d(r.x, r.y), cv::Point2d(r.br().x - 1, r.y), cv::Point2d(r.x, r.br().y - 1),
          cv::Point2d(r.br().x - 1, r.br().y - 1)};
}

// Moves one word's coverage through `m`, into the smallest image-clipped window holding it.
void rotateWord(WordInk& word, const cv::Matx23d& m, cv::Size imageSize) {
  double left = 1e300, top = 1e300, right = -1e300, bottom = -1e300;
  for (const cv::Point2d& corner : corners(cv::Rect(word.at, word.coverage.size()))) {
    const cv::Point2d p = apply(m, corner);
    left = std::min(left, p.x);
    right = std::max(right, p.x);
    top = std::min(top, p.y);
    bottom = std::max(bottom, p.y);
  }
  // One pixel more on each side holds the interpolation's spill.
  const cv::Rect window = cv::Rect(cv::Point(static_cast<int>(std::floor(left)) - 1,
                                             static_cast<int>(std::floor(top)) - 1),
                                   cv::Point(static_cast<int>(std::ceil(right)) + 2,
                                             static_cast<int>(std::ceil(bottom)) + 2)) &
                          cv::Rect(cv::Point(0, 0), imageSize);
  if (window.empty()) {
    word.coverage = cv::Mat();
    word.at = cv::Point(0, 0);
    return;
  }
  // From the coverage's own pixels to the window's: shift in, rotate, shift out.
  cv::Matx23d local = m;
  const cv::Point2d origin = apply(m, cv::Point2d(word.at.x, word.at.y));
  local(0, 2) = origin.x - window.x;
  local(1, 2) = origin.y - window.y;
  cv::Mat moved;
  cv::warpAffine(word.coverage, moved, local, window.size(), cv::INTER_LINEAR, cv::BORDER_CONSTANT,
                 cv::Scalar(0));
  word.coverage = moved;
  word.at = window.tl();
}

}  // namespace

double coverZoom(cv::Size size, double degrees) {
  const double a = std::abs(degrees) * kPi / 180.0;
  const double ratio =
      static_cast<double>(std::max(size.width, size.height)) / std::min(size.width, size.height);
  return std::cos(a) + ratio * std::sin(a);
}

cv::Rect safeArea(cv::Size size, double degrees, double edgeShare) {
  const cv::Matx23d m = rotation(size, degrees);
  const cv::Rect frame(cv::Point(0, 0), size);
  for (double share = edgeShare; share < 0.25; share += kMarginStep) {
    const int mx = static_cast<int>(std::ceil(share * size.width));
    const int my = static_cast<int>(std::ceil(share * size.height));
    const cv::Rect area(mx, my, size.width - 2 * mx, size.height - 2 * my);
    const auto inside = [&](const cv::Point2d& corner) {
      const cv::Point2d p = apply(m, corner);
      return p.x >= 0.0 && p.y >= 0.0 && p.x <= size.width - 1.0 && p.y <= size.height - 1.0;
    };
    const auto all = corners(area);
    if (std::all_of(all.begin(), all.end(), inside)) return area;
  }
  return frame;  // unreachable for the small angles in use; text then is clipped, not lost
}

void rotateScene(cv::Mat& image, std::vector<WordInk>& words, double degrees) {
  const cv::Matx23d m = rotation(image.size(), degrees);
  cv::Mat turned;
  // Reflection only fills the sub-pixel slivers rounding may leave at the border.
  cv::warpAffine(image, turned, m, image.size(), cv::INTER_LINEAR, cv::BORDER_REFLECT_101);
  image = turned;
  for (WordInk& word : words) rotateWord(word, m, image.size());
}

void blurImage(cv::Mat& image, double sigma) {
  cv::GaussianBlur(image, image, cv::Size(0, 0), sigma, sigma, cv::BORDER_REFLECT_101);
}

void adjustTone(cv::Mat& image, double contrast, double brightness) {
  image.convertTo(image, -1, contrast, brightness);
}

void addSensorNoise(cv::Mat& image, double sigma, std::uint64_t seed) {
  // Four 16-bit uniforms, centred, sum to a deviation of 65536 / sqrt(3); `factor` maps that
  // to sigma in units of 2^-32, so the noise stays in integer arithmetic.
  const std::int64_t factor = std::lround(sigma * std::sqrt(3.0) * 65536.0);
  std::uint64_t state = seed;
  for (int y = 0; y < image.rows; ++y) {
    uchar* row = image.ptr<uchar>(y);
    const int count = image.cols * image.channels();
    for (int i = 0; i < count; ++i) {
      // splitmix64: a stream fast enough for millions of draws per image.
      std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
      z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
      z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
      z ^= z >> 31;
      const auto sum = static_cast<std::int64_t>((z & 0xFFFF) + ((z >> 16) & 0xFFFF) +
                                                 ((z >> 32) & 0xFFFF) + (z >> 48)) -
                       2 * 65535;
      // sum * factor / 2^32, rounded half up (the shift of a negative value floors).
      const std::int64_t noise = (sum * factor + (std::int64_t{1} << 31)) >> 32;
      row[i] = static_cast<uchar>(std::clamp<std::int64_t>(row[i] + noise, 0, 255));
    }
  }
}

}  // namespace scenetext::synth
