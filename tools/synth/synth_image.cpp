#include "synth/synth_image.hpp"

#include <cmath>

#include <opencv2/imgcodecs.hpp>

#include "io/box_files.hpp"
#include "synth/degradation.hpp"

namespace scenetext::synth {
namespace {

// Degradation strengths: enough to look like a phone photograph, not enough to hide small text.
constexpr double kMinBlurSigma = 0.4;  // pixels
constexpr double kMaxBlurSigma = 1.2;
constexpr double kMinContrastGain = 0.75;
constexpr double kMaxContrastGain = 1.25;
constexpr double kMaxBrightnessShift = 25.0;  // levels
constexpr double kMinNoiseSigma = 2.0;        // levels
constexpr double kMaxNoiseSigma = 7.0;

cv::Size chooseSize(const SynthOptions& options, Random& random) {
  const double t = random.uniform();
  const auto along = [t](int from, int to) {
    return from + static_cast<int>(std::lround(t * (to - from)));
  };
  return {along(options.minSize.width, options.maxSize.width),
          along(options.minSize.height, options.maxSize.height)};
}

// Draws the text of the image into it; returns every word with its ink.
Result<std::vector<WordInk>> drawText(cv::Mat& image, const Material& material,
                                      const SynthOptions& options, cv::Rect safe, Random& random) {
  Result<std::vector<TextBlock>> blocks =
      layoutText(*material.fonts, *material.words, safe, options.layout, random);
  if (!blocks) return blocks.status();
  std::vector<WordInk> words;
  for (TextBlock& block : *blocks) {
    paintBlock(image, block, options.paint, random);
    for (WordInk& word : block.words) words.push_back(std::move(word));
  }
  return words;
}

void degrade(cv::Mat& image, std::vector<WordInk>& words, double degrees,
             const SynthOptions& options, Random& random) {
  if (degrees != 0.0) rotateScene(image, words, degrees);
  if (random.chance(options.blurChance)) {
    blurImage(image, random.uniform(kMinBlurSigma, kMaxBlurSigma));
  }
  if (random.chance(options.toneChance)) {
    const double gain = random.uniform(kMinContrastGain, kMaxContrastGain);
    adjustTone(image, gain, random.uniform(-kMaxBrightnessShift, kMaxBrightnessShift));
  }
  if (random.chance(options.noiseChance)) {
    const double sigma = random.uniform(kMinNoiseSigma, kMaxNoiseSigma);
    addSensorNoise(image, sigma, random.next());
  }
}

}  // namespace

Result<SynthImage> generateImage(const Material& material, const SynthOptions& options,
                                 std::uint64_t seed, std::uint64_t index) {
  Random random(imageSeed(seed, index));
  const cv::Size size = chooseSize(options, random);
  Result<const Background*> background =
      material.backgrounds->get(random.uniformInt(0, material.backgrounds->size() - 1));
  if (!background) return background.status();

  SynthImage out;
  out.image = cropBackground(**background, size, random);
  // The angle is drawn first: the room the text may use depends on it.
  const double degrees =
      random.chance(options.rotationChance)
          ? random.uniform(-options.maxRotationDegrees, options.maxRotationDegrees)
          : 0.0;
  const cv::Rect safe = safeArea(size, degrees, options.edgeShare);
  Result<std::vector<WordInk>> words = drawText(out.image, material, options, safe, random);
  if (!words) return words.status();
  degrade(out.image, *words, degrees, options, random);
  out.jpegQuality = random.uniformInt(options.minJpegQuality, options.maxJpegQuality);
  out.words = measureBoxes(*words, size);
  return out;
}

std::vector<WordBox> measureBoxes(const std::vector<WordInk>& words, cv::Size imageSize) {
  std::vector<WordBox> boxes;
  for (const WordInk& word : words) {
    if (word.coverage.empty()) continue;
    cv::Rect ink = inkBounds(word.coverage);
    ink.x += word.at.x;
    ink.y += word.at.y;
    ink &= cv::Rect(cv::Point(0, 0), imageSize);
    if (ink.empty()) continue;
    WordBox box;
    box.left = ink.x;
    box.top = ink.y;
    box.right = ink.br().x - 1;
    box.bottom = ink.br().y - 1;
    box.text = word.text;
    box.font = word.font;
    box.pixelHeight = word.pixelHeight;
    boxes.push_back(box);
  }
  return boxes;
}

std::string formatGroundTruth(const std::vector<WordBox>& words) {
  const std::vector<io::WordBox> truth(words.begin(), words.end());
  return io::formatGroundTruth(truth, io::GroundTruthStyle::kCommas);
}

std::string encodeJpeg(const cv::Mat& image, int quality) {
  const std::vector<int> parameters = {
      cv::IMWRITE_JPEG_QUALITY,  quality, cv::IMWRITE_JPEG_PROGRESSIVE,  0,
      cv::IMWRITE_JPEG_OPTIMIZE, 0,       cv::IMWRITE_JPEG_RST_INTERVAL, 0};
  std::vector<uchar> bytes;
  cv::imencode(".jpg", image, bytes, parameters);
  return std::string(bytes.begin(), bytes.end());
}

}  // namespace scenetext::synth
