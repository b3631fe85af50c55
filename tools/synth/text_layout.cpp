#include "synth/text_layout.hpp"

#include <algorithm>
#include <cmath>
#include <optional>

#include "synth/text_content.hpp"

namespace scenetext::synth {
namespace {

// Tries at a random position before a block gives up its place in the image.
constexpr int kPlacementTries = 40;
// Shrink-and-retry rounds for a block too large for the image.
constexpr int kFitRounds = 8;

enum class Align { kLeft, kCentre, kRight };

// The choices of one block that do not change when it is shrunk to fit.
struct BlockPlan {
  int font = 0;
  int pixelHeight = 0;
  Align align = Align::kLeft;
  double wordGap = 0.0;      // ink gap between words, in em
  double lineSpacing = 0.0;  // baseline to baseline, in em, unless the ink needs more
  bool panel = false;
  double panelPadding = 0.0;  // in em
  std::vector<std::vector<std::string>> lines;
};

struct DrawnLine {
  std::vector<WordMask> masks;
  int width = 0;
  int ascent = 0;   // ink rows above the baseline
  int descent = 0;  // ink rows from the baseline down
};

int emPixels(double em, int pixelHeight) {
  return std::max(2, static_cast<int>(std::lround(em * pixelHeight)));
}

// Draws every word of the plan. A word the block's font cannot draw (a face that passed the
// start-up probe may still fail on some word at some size) is dropped from the plan, and so is a
// line left without words: one odd glyph must not stop a whole run.
std::vector<DrawnLine> drawLines(FontCache& fonts, BlockPlan& plan) {
  std::vector<DrawnLine> lines;
  const int gap = emPixels(plan.wordGap, plan.pixelHeight);
  for (auto words = plan.lines.begin(); words != plan.lines.end();) {
    DrawnLine line;
    for (auto word = words->begin(); word != words->end();) {
      Result<WordMask> mask = fonts.render(plan.font, *word, plan.pixelHeight);
      if (!mask) {
        word = words->erase(word);
        continue;
      }
      line.width += (line.masks.empty() ? 0 : gap) + mask->coverage.cols;
      line.ascent = std::max(line.ascent, mask->baseline);
      line.descent = std::max(line.descent, mask->coverage.rows - mask->baseline);
      line.masks.push_back(std::move(*mask));
      ++word;
    }
    if (line.masks.empty()) {
      words = plan.lines.erase(words);
      continue;
    }
    lines.push_back(std::move(line));
    ++words;
  }
  return lines;
}

// Sets the words of the lines out with the block's ink starting at (0, 0); returns its size.
cv::Size arrange(const BlockPlan& plan, std::vector<DrawnLine>& lines, std::vector<WordInk>& out) {
  int width = 0;
  for (const DrawnLine& line : lines) width = std::max(width, line.width);
  const int gap = emPixels(plan.wordGap, plan.pixelHeight);
  const int spacing = emPixels(plan.lineSpacing, plan.pixelHeight);
  // Lines never touch: a few pixels of air stay between one line's ink and the next's.
  const int air = std::max(2, plan.pixelHeight / 10);
  int baseline = 0;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    DrawnLine& line = lines[i];
    baseline =
        i == 0 ? line.ascent
               : std::max(baseline + spacing, baseline + lines[i - 1].descent + air + line.ascent);
    int x = plan.align == Align::kLeft     ? 0
            : plan.align == Align::kCentre ? (width - line.width) / 2
                                           : width - line.width;
    for (std::size_t w = 0; w < line.masks.size(); ++w) {
      WordMask& mask = line.masks[w];
      out.push_back({plan.lines[i][w], plan.font, plan.pixelHeight, mask.coverage,
                     cv::Point(x, baseline - mask.baseline)});
      x += mask.coverage.cols + gap;
    }
  }
  return {width, baseline + lines.back().descent};
}

// Shortens the text once the block is at its smallest size and still does not fit: the last
// word of the widest line first, then the last line. False when nothing is left to drop.
bool dropText(BlockPlan& plan, const std::vector<DrawnLine>& lines) {
  std::size_t widest = 0;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    if (lines[i].width > lines[widest].width) widest = i;
  }
  if (plan.lines[widest].size() > 1) {
    plan.lines[widest].pop_back();
    return true;
  }
  if (plan.lines.size() > 1) {
    plan.lines.pop_back();
    return true;
  }
  return false;
}

// The block drawn at the largest size up to its planned one at which it fits `room`, with
// positions relative to the top left of its ink; nothing when even the smallest text won't fit.
Result<std::optional<TextBlock>> fitBlock(FontCache& fonts, BlockPlan plan, cv::Size room,
                                          int minPixelHeight) {
  for (int attempt = 0; attempt < kFitRounds; ++attempt) {
    std::vector<DrawnLine> lines = drawLines(fonts, plan);
    if (lines.empty()) break;  // the font drew none of the words: no block
    TextBlock block;
    const cv::Size ink = arrange(plan, lines, block.words);
    const int pad = plan.panel ? emPixels(plan.panelPadding, plan.pixelHeight) : 0;
    const cv::Size outer(ink.width + 2 * pad, ink.height + 2 * pad);
    if (outer.width <= room.width && outer.height <= room.height) {
      block.ink = cv::Rect(cv::Point(0, 0), ink);
      if (plan.panel) block.panel = cv::Rect(-pad, -pad, outer.width, outer.height);
      block.pixelHeight = plan.pixelHeight;
      return std::optional<TextBlock>(std::move(block));
    }
    const double scale = 0.95 * std::min(static_cast<double>(room.width) / outer.width,
                                         static_cast<double>(room.height) / outer.height);
    const int smaller = static_cast<int>(plan.pixelHeight * scale);
    if (smaller >= minPixelHeight) {
      plan.pixelHeight = smaller;
    } else if (plan.pixelHeight > minPixelHeight) {
      plan.pixelHeight = minPixelHeight;
    } else if (!dropText(plan, lines)) {
      break;
    }
  }
  return std::optional<TextBlock>();
}

BlockPlan planBlock(int lineCount, int fontCount, const std::vector<std::string>& words,
                    const LayoutOptions& options, Random& random) {
  BlockPlan plan;
  plan.font = random.uniformInt(0, fontCount - 1);
  // Log-uniform: as many blocks of 10 to 20 pixels as of 75 to 150.
  plan.pixelHeight = std::min(
      options.maxPixelHeight,
      static_cast<int>(random.logUniform(options.minPixelHeight, options.maxPixelHeight + 1.0)));
  plan.align = static_cast<Align>(random.uniformInt(0, 2));
  plan.wordGap = random.uniform(0.28, 0.5);
  plan.lineSpacing = random.uniform(1.05, 1.4);
  plan.panel = random.chance(options.panelChance);
  plan.panelPadding = random.uniform(0.25, 0.6);
  for (int i = 0; i < lineCount; ++i) plan.lines.push_back(chooseLineWords(words, random));
  return plan;
}

// Moves the block to a random free place inside `safe`; false when none was found.
bool placeBlock(TextBlock& block, cv::Rect safe, std::vector<cv::Rect>& taken, Random& random) {
  const cv::Rect outer = block.panel.empty() ? block.ink : block.panel;
  const int margin = std::max(3, block.pixelHeight / 4);
  for (int attempt = 0; attempt < kPlacementTries; ++attempt) {
    const cv::Point to(random.uniformInt(safe.x, safe.br().x - outer.width),
                       random.uniformInt(safe.y, safe.br().y - outer.height));
    const cv::Point shift = to - outer.tl();
    const cv::Rect room(outer.x + shift.x - margin, outer.y + shift.y - margin,
                        outer.width + 2 * margin, outer.height + 2 * margin);
    if (std::any_of(taken.begin(), taken.end(),
                    [&](const cv::Rect& other) { return (other & room).area() > 0; })) {
      continue;
    }
    taken.push_back(room);
    block.ink += shift;
    if (!block.panel.empty()) block.panel += shift;
    for (WordInk& word : block.words) word.at += shift;
    return true;
  }
  return false;
}

}  // namespace

Result<std::vector<TextBlock>> layoutText(FontCache& fonts, const std::vector<std::string>& words,
                                          cv::Rect safe, const LayoutOptions& options,
                                          Random& random) {
  // Few lines are the rule in scene photographs; six make a notice board.
  int remaining = 1 + random.weighted({0.3, 0.25, 0.17, 0.12, 0.09, 0.07});
  std::vector<TextBlock> blocks;
  std::vector<cv::Rect> taken;
  while (remaining > 0) {
    const int lineCount = random.uniformInt(1, std::min(kMaxLinesPerBlock, remaining));
    remaining -= lineCount;
    const BlockPlan plan = planBlock(lineCount, fonts.size(), words, options, random);
    Result<std::optional<TextBlock>> block =
        fitBlock(fonts, plan, safe.size(), options.minPixelHeight);
    if (!block) return block.status();
    if (*block && placeBlock(**block, safe, taken, random)) blocks.push_back(std::move(**block));
  }
  return blocks;
}

}  // namespace scenetext::synth
