#include "synth/text_paint.hpp"

#include <algorithm>
#include <cmath>

#include <opencv2/imgproc.hpp>

namespace scenetext::synth {
namespace {

// Channel weights in BGR order.
constexpr double kWeightB = 0.114;
constexpr double kWeightG = 0.587;
constexpr double kWeightR = 0.299;
// The strongest chroma added to a grey: beyond it most colours clip on one channel.
constexpr double kMaxChroma = 110.0;

cv::Vec3b grey(double y) {
  const auto v = static_cast<uchar>(std::clamp(std::lround(y), 0L, 255L));
  return {v, v, v};
}

// Share of the region's pixels left out at each end of the luminance range by regionTone.
constexpr double kToneTail = 0.1;

struct Style {
  cv::Vec3b text;
  int outline = 0;  // outline width in pixels, 0 for none
  cv::Vec3b outlineColour;
  cv::Point shadowOffset;  // (0, 0) for no shadow
  cv::Vec3b shadowColour;
  int shadowOpacity = 0;
};

cv::Scalar scalar(const cv::Vec3b& colour) { return cv::Scalar(colour[0], colour[1], colour[2]); }

// A frame inside the panel's padding, in the colour of the letters, as many signs have. Its
// inset and width are each at most a quarter of the padding, so it never reaches the letters.
void drawPanelFrame(cv::Mat& image, const TextBlock& block, const cv::Vec3b& colour) {
  const int padding = block.ink.x - block.panel.x;
  const int width = std::max(1, std::min(padding / 4, block.pixelHeight / 16));
  const int inset = std::max(1, padding / 4) + width / 2;
  const cv::Rect frame(block.panel.x + inset, block.panel.y + inset, block.panel.width - 2 * inset,
                       block.panel.height - 2 * inset);
  if (frame.width > 0 && frame.height > 0 && padding >= 4) {
    cv::rectangle(image, frame, scalar(colour), width, cv::LINE_AA);
  }
}

// Letters that no single colour can set off from a busy photograph get an outline that does.
Style chooseStyle(const Tone& beneath, int pixelHeight, const PaintOptions& options,
                  Random& random) {
  Style style;
  style.text = contrastingColour(beneath, kMinContrast, random);
  const bool outline = random.chance(options.outlineChance);
  if (outline || !hasContrastRoom(beneath, kMinContrast)) {
    style.outline =
        std::max(1, static_cast<int>(std::lround(pixelHeight * random.uniform(0.03, 0.07))));
    style.outlineColour = contrastingColour(flatTone(luminance(style.text)), kMinContrast, random);
  } else if (random.chance(options.shadowChance)) {
    const int reach =
        std::max(1, static_cast<int>(std::lround(pixelHeight * random.uniform(0.04, 0.09))));
    style.shadowOffset = cv::Point(reach * random.uniformInt(-1, 1), reach);
    // A dark shadow under light letters, a pale one under dark letters, as embossing does.
    const bool lightText = luminance(style.text) >= beneath.mean;
    style.shadowColour = grey(lightText ? random.uniform(0.0, 40.0) : random.uniform(215.0, 255.0));
    style.shadowOpacity = random.uniformInt(140, 220);
  }
  return style;
}

void paintShadow(cv::Mat& image, const WordInk& word, const Style& style) {
  cv::Mat soft;
  const int spread = std::max(1, word.pixelHeight / 30);
  cv::copyMakeBorder(word.coverage, soft, spread * 2, spread * 2, spread * 2, spread * 2,
                     cv::BORDER_CONSTANT, 0);
  cv::GaussianBlur(soft, soft, cv::Size(4 * spread + 1, 4 * spread + 1), 0.0);
  blendCoverage(image, soft, word.at + style.shadowOffset - cv::Point(2 * spread, 2 * spread),
                style.shadowColour, style.shadowOpacity);
}

}  // namespace

double luminance(const cv::Vec3b& bgr) {
  return kWeightB * bgr[0] + kWeightG * bgr[1] + kWeightR * bgr[2];
}

Tone regionTone(const cv::Mat& image, cv::Rect area) {
  cv::Mat grey;
  cv::cvtColor(image(area), grey, cv::COLOR_BGR2GRAY);
  int histogram[256] = {};
  double sum = 0.0;
  for (int y = 0; y < grey.rows; ++y) {
    const uchar* row = grey.ptr<uchar>(y);
    for (int x = 0; x < grey.cols; ++x) {
      ++histogram[row[x]];
      sum += row[x];
    }
  }
  const double total = static_cast<double>(grey.total());
  const auto level = [&](double share) {
    double seen = 0.0;
    for (int v = 0; v < 256; ++v) {
      seen += histogram[v];
      if (seen >= share * total) return static_cast<double>(v);
    }
    return 255.0;
  };
  return {sum / total, level(kToneTail), level(1.0 - kToneTail)};
}

Tone flatTone(double luminance) { return {luminance, luminance, luminance}; }

bool hasContrastRoom(const Tone& tone, double minContrast) {
  return tone.dark - minContrast >= 0.0 || tone.light + minContrast <= 255.0;
}

cv::Vec3b contrastingColour(const Tone& tone, double minContrast, Random& random) {
  const Tone against = hasContrastRoom(tone, minContrast) ? tone : flatTone(tone.mean);
  const double darkest = against.dark - minContrast;    // dark text at or below
  const double lightest = against.light + minContrast;  // light text at or above
  const double darkRoom = std::max(0.0, darkest);
  const double lightRoom = std::max(0.0, 255.0 - lightest);
  // A tiny floor keeps a side possible when the background sits exactly at its limit.
  const bool dark = random.uniform() * (darkRoom + lightRoom + 2e-9) < darkRoom + 1e-9;
  // Squaring crowds the targets towards black and white: most signs are made to be read from
  // afar, and hairline faces at small sizes never reach full coverage and so lose contrast.
  const double u = random.uniform();
  const double target = dark ? darkRoom * u * u : 255.0 - lightRoom * u * u;

  // A hue as a direction with no luminance of its own, so adding it keeps the target luminance
  // until a channel clips.
  double d[3] = {random.uniform(-1.0, 1.0), random.uniform(-1.0, 1.0), random.uniform(-1.0, 1.0)};
  const double dy = kWeightB * d[0] + kWeightG * d[1] + kWeightR * d[2];
  double largest = 1e-9;
  for (double& c : d) {
    c -= dy;
    largest = std::max(largest, std::abs(c));
  }
  // Squaring favours muted colours, as most signs and labels are.
  const double chroma = kMaxChroma * random.uniform() * random.uniform();

  cv::Vec3b colour;
  for (int c = 0; c < 3; ++c) {
    colour[c] =
        static_cast<uchar>(std::clamp(std::lround(target + chroma * d[c] / largest), 0L, 255L));
  }
  // Clipping moves the luminance: fall back to the grey of the target when it crossed the limit.
  const double y = luminance(colour);
  return (dark ? y <= darkest : y >= lightest) ? colour : grey(target);
}

void blendCoverage(cv::Mat& image, const cv::Mat& coverage, cv::Point at, const cv::Vec3b& colour,
                   int opacity) {
  const cv::Rect placed(at, coverage.size());
  const cv::Rect visible = placed & cv::Rect(0, 0, image.cols, image.rows);
  for (int y = visible.y; y < visible.br().y; ++y) {
    const uchar* cov = coverage.ptr<uchar>(y - at.y);
    auto* px = image.ptr<cv::Vec3b>(y);
    for (int x = visible.x; x < visible.br().x; ++x) {
      const int a = (cov[x - at.x] * opacity + 127) / 255;
      if (a == 0) continue;
      for (int c = 0; c < 3; ++c) {
        px[x][c] = static_cast<uchar>((px[x][c] * (255 - a) + colour[c] * a + 127) / 255);
      }
    }
  }
}

cv::Mat grownCoverage(const cv::Mat& coverage, int radius) {
  cv::Mat padded;
  cv::copyMakeBorder(coverage, padded, radius, radius, radius, radius, cv::BORDER_CONSTANT, 0);
  const cv::Mat disc =
      cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(2 * radius + 1, 2 * radius + 1));
  cv::Mat grown;
  cv::dilate(padded, grown, disc);
  return grown;
}

void paintBlock(cv::Mat& image, TextBlock& block, const PaintOptions& options, Random& random) {
  Tone beneath;
  if (!block.panel.empty()) {
    // The panel stands out a little from the scene, the text a lot from the panel.
    const cv::Vec3b panel =
        contrastingColour(regionTone(image, block.panel), kMinContrast / 2, random);
    cv::rectangle(image, block.panel, scalar(panel), cv::FILLED);
    beneath = flatTone(luminance(panel));
  } else {
    beneath = regionTone(image, block.ink);
  }
  const Style style = chooseStyle(beneath, block.pixelHeight, options, random);
  if (!block.panel.empty() && random.chance(0.4)) drawPanelFrame(image, block, style.text);

  if (style.shadowOpacity > 0) {
    for (const WordInk& word : block.words) paintShadow(image, word, style);
  }
  if (style.outline > 0) {
    for (WordInk& word : block.words) {
      cv::Mat fill = word.coverage;
      word.coverage = grownCoverage(fill, style.outline);
      word.at -= cv::Point(style.outline, style.outline);
      blendCoverage(image, word.coverage, word.at, style.outlineColour, 255);
      blendCoverage(image, fill, word.at + cv::Point(style.outline, style.outline), style.text,
                    255);
    }
    return;
  }
  for (const WordInk& word : block.words)
    blendCoverage(image, word.coverage, word.at, style.text, 255);
}

}  // namespace scenetext::synth
