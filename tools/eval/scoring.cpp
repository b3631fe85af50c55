#include "eval/scoring.hpp"

#include <algorithm>
#include <cmath>
#include <tuple>
#include <utility>

namespace scenetext::evaluation {
namespace {

// A detection is "mostly" inside don't-care words when more than half of its area is: the
// ICDAR 2015 rule, used here for both protocols.
constexpr double kDontCareCoverage = 0.5;
// Wolf and Jolion score a split word less than a whole one: 0.8 of a word for recall, and 0.8 for
// each of its pieces for precision. One-to-one and many-to-one matches score 1 per box.
constexpr double kSplitScore = 0.8;
// ICDAR 2015: a detection matches a word when intersection over union is above one half.
constexpr double kIoUThreshold = 0.5;

// Inclusive extent along one axis as a 64-bit count, so INT_MIN..INT_MAX cannot overflow.
int64_t extent(int low, int high) { return static_cast<int64_t>(high) - low + 1; }

// The boxes that take part in matching, as indices into the caller's lists.
struct CountedBoxes {
  std::vector<size_t> words;
  std::vector<size_t> detections;
};

CountedBoxes selectCountedBoxes(const std::vector<WordBox>& truth, const std::vector<Rect>& detections,
                                ImageScore& score) {
  CountedBoxes counted;
  std::vector<Rect> dontCares;
  score.wordOutcomes.assign(truth.size(), BoxOutcome::Unmatched);
  for (size_t g = 0; g < truth.size(); ++g) {
    if (truth[g].dontCare) {
      score.wordOutcomes[g] = BoxOutcome::Ignored;
      dontCares.push_back(truth[g].rect());
    } else {
      counted.words.push_back(g);
    }
  }
  score.detectionOutcomes.assign(detections.size(), BoxOutcome::Unmatched);
  for (size_t d = 0; d < detections.size(); ++d) {
    const double area = boxArea(detections[d]);
    if (!dontCares.empty() && area > 0.0 &&
        coveredArea(detections[d], dontCares) / area > kDontCareCoverage) {
      score.detectionOutcomes[d] = BoxOutcome::Ignored;
    } else {
      counted.detections.push_back(d);
    }
  }
  score.tally.words = static_cast<int64_t>(counted.words.size());
  score.tally.detections = static_cast<int64_t>(counted.detections.size());
  return counted;
}

// Intersections and areas of every counted word/detection pair; g and d index the counted lists.
class OverlapTable {
 public:
  OverlapTable(const std::vector<WordBox>& truth, const std::vector<Rect>& detections,
               const CountedBoxes& counted)
      : detectionCount_(counted.detections.size()) {
    for (size_t g : counted.words) wordArea_.push_back(boxArea(truth[g].rect()));
    for (size_t d : counted.detections) detectionArea_.push_back(boxArea(detections[d]));
    intersection_.reserve(counted.words.size() * detectionCount_);
    for (size_t g : counted.words) {
      for (size_t d : counted.detections) {
        intersection_.push_back(intersectionArea(truth[g].rect(), detections[d]));
      }
    }
  }

  size_t words() const { return wordArea_.size(); }
  size_t detections() const { return detectionCount_; }
  double intersection(size_t g, size_t d) const { return intersection_[g * detectionCount_ + d]; }
  double wordArea(size_t g) const { return wordArea_[g]; }
  double detectionArea(size_t d) const { return detectionArea_[d]; }
  // Fractions of the word's and of the detection's area that the pair shares (0 for an empty box).
  double areaRecall(size_t g, size_t d) const { return fraction(intersection(g, d), wordArea_[g]); }
  double areaPrecision(size_t g, size_t d) const {
    return fraction(intersection(g, d), detectionArea_[d]);
  }
  static double fraction(double part, double whole) { return whole > 0.0 ? part / whole : 0.0; }

 private:
  size_t detectionCount_;
  std::vector<double> wordArea_;
  std::vector<double> detectionArea_;
  std::vector<double> intersection_;
};

struct MatchState {
  std::vector<bool> word;
  std::vector<bool> detection;
};

bool meetsBoth(const OverlapTable& table, size_t g, size_t d, const DetEvalConstraints& constraints) {
  return table.intersection(g, d) > 0.0 && table.areaRecall(g, d) >= constraints.areaRecall &&
         table.areaPrecision(g, d) >= constraints.areaPrecision;
}

void matchOneToOne(const OverlapTable& table, const std::vector<Rect>& wordRects,
                   const std::vector<Rect>& detectionRects, const DetEvalConstraints& constraints,
                   MatchState& matched, Tally& tally) {
  std::vector<int> wordPartners(table.words(), 0);
  std::vector<int> detectionPartners(table.detections(), 0);
  for (size_t g = 0; g < table.words(); ++g) {
    for (size_t d = 0; d < table.detections(); ++d) {
      if (!meetsBoth(table, g, d, constraints)) continue;
      ++wordPartners[g];
      ++detectionPartners[d];
    }
  }
  for (size_t g = 0; g < table.words(); ++g) {
    if (wordPartners[g] != 1) continue;
    for (size_t d = 0; d < table.detections(); ++d) {
      if (detectionPartners[d] != 1 || !meetsBoth(table, g, d, constraints)) continue;
      if (normalizedCentreDistance(wordRects[g], detectionRects[d]) >= constraints.centreDistance) break;
      matched.word[g] = true;
      matched.detection[d] = true;
      tally.recallSum += 1.0;
      tally.precisionSum += 1.0;
      break;
    }
  }
}

void matchOneToMany(const OverlapTable& table, const DetEvalConstraints& constraints,
                    MatchState& matched, Tally& tally) {
  for (size_t g = 0; g < table.words(); ++g) {
    if (matched.word[g]) continue;
    std::vector<size_t> pieces;
    double covered = 0.0;
    for (size_t d = 0; d < table.detections(); ++d) {
      if (matched.detection[d] || table.intersection(g, d) <= 0.0) continue;
      if (table.areaPrecision(g, d) < constraints.areaPrecision) continue;
      pieces.push_back(d);
      covered += table.intersection(g, d);
    }
    // Summing intersections before dividing keeps 0.3 + 0.5 of a word from falling below 0.8.
    if (pieces.size() < 2 || OverlapTable::fraction(covered, table.wordArea(g)) < constraints.areaRecall) {
      continue;
    }
    matched.word[g] = true;
    for (size_t d : pieces) matched.detection[d] = true;
    tally.recallSum += kSplitScore;
    tally.precisionSum += kSplitScore * static_cast<double>(pieces.size());
  }
}

void matchManyToOne(const OverlapTable& table, const DetEvalConstraints& constraints,
                    MatchState& matched, Tally& tally) {
  for (size_t d = 0; d < table.detections(); ++d) {
    if (matched.detection[d]) continue;
    std::vector<size_t> words;
    double covered = 0.0;
    for (size_t g = 0; g < table.words(); ++g) {
      if (matched.word[g] || table.intersection(g, d) <= 0.0) continue;
      if (table.areaRecall(g, d) < constraints.areaRecall) continue;
      words.push_back(g);
      covered += table.intersection(g, d);
    }
    if (words.size() < 2 ||
        OverlapTable::fraction(covered, table.detectionArea(d)) < constraints.areaPrecision) {
      continue;
    }
    matched.detection[d] = true;
    for (size_t g : words) matched.word[g] = true;
    tally.recallSum += static_cast<double>(words.size());
    tally.precisionSum += 1.0;
  }
}

void recordOutcomes(const CountedBoxes& counted, const MatchState& matched, ImageScore& score) {
  for (size_t g = 0; g < counted.words.size(); ++g) {
    if (matched.word[g]) score.wordOutcomes[counted.words[g]] = BoxOutcome::Matched;
  }
  for (size_t d = 0; d < counted.detections.size(); ++d) {
    if (matched.detection[d]) score.detectionOutcomes[counted.detections[d]] = BoxOutcome::Matched;
  }
}

// Total length of the union of half-open intervals.
int64_t unionLength(std::vector<std::pair<int64_t, int64_t>>& intervals) {
  std::sort(intervals.begin(), intervals.end());
  int64_t length = 0;
  int64_t reached = INT64_MIN;
  for (const auto& [begin, end] : intervals) {
    const int64_t from = std::max(begin, reached);
    if (end > from) length += end - from;
    reached = std::max(reached, end);
  }
  return length;
}

}  // namespace

Tally& Tally::operator+=(const Tally& other) {
  words += other.words;
  detections += other.detections;
  recallSum += other.recallSum;
  precisionSum += other.precisionSum;
  return *this;
}

Scores scoresOf(const Tally& tally) {
  Scores scores;
  scores.recall = tally.words > 0 ? tally.recallSum / static_cast<double>(tally.words) : 1.0;
  if (tally.detections > 0) {
    scores.precision = tally.precisionSum / static_cast<double>(tally.detections);
  } else {
    scores.precision = tally.words > 0 ? 0.0 : 1.0;
  }
  const double sum = scores.precision + scores.recall;
  scores.f = sum > 0.0 ? 2.0 * scores.precision * scores.recall / sum : 0.0;
  return scores;
}

double boxArea(const Rect& box) {
  const int64_t width = extent(box.left, box.right);
  const int64_t height = extent(box.top, box.bottom);
  if (width <= 0 || height <= 0) return 0.0;
  return static_cast<double>(width) * static_cast<double>(height);
}

double intersectionArea(const Rect& a, const Rect& b) {
  return boxArea({std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                  std::min(a.bottom, b.bottom)});
}

double coveredArea(const Rect& target, const std::vector<Rect>& covers) {
  // Half-open pixel spans [left, right + 1) of the covers clipped to the target.
  struct Span {
    int64_t left, top, right, bottom;
  };
  std::vector<Span> spans;
  std::vector<int64_t> columns;
  for (const Rect& cover : covers) {
    const Rect clip{std::max(target.left, cover.left), std::max(target.top, cover.top),
                    std::min(target.right, cover.right), std::min(target.bottom, cover.bottom)};
    if (boxArea(clip) <= 0.0) continue;
    spans.push_back({clip.left, clip.top, int64_t{clip.right} + 1, int64_t{clip.bottom} + 1});
    columns.push_back(spans.back().left);
    columns.push_back(spans.back().right);
  }
  std::sort(columns.begin(), columns.end());
  columns.erase(std::unique(columns.begin(), columns.end()), columns.end());
  // Between consecutive column bounds every span either covers the whole slab or none of it.
  double area = 0.0;
  std::vector<std::pair<int64_t, int64_t>> rows;
  for (size_t i = 0; i + 1 < columns.size(); ++i) {
    rows.clear();
    for (const Span& span : spans) {
      if (span.left <= columns[i] && span.right >= columns[i + 1]) rows.emplace_back(span.top, span.bottom);
    }
    area += static_cast<double>(unionLength(rows)) * static_cast<double>(columns[i + 1] - columns[i]);
  }
  return area;
}

double normalizedCentreDistance(const Rect& a, const Rect& b) {
  const auto centre = [](int low, int high) { return (static_cast<double>(low) + high) / 2.0; };
  const auto diagonal = [](const Rect& r) {
    return std::hypot(static_cast<double>(extent(r.left, r.right)),
                      static_cast<double>(extent(r.top, r.bottom)));
  };
  const double dx = centre(a.left, a.right) - centre(b.left, b.right);
  const double dy = centre(a.top, a.bottom) - centre(b.top, b.bottom);
  return std::hypot(dx, dy) / ((diagonal(a) + diagonal(b)) / 2.0);
}

ImageScore scoreDetEval(const std::vector<WordBox>& truth, const std::vector<Rect>& detections,
                        const DetEvalConstraints& constraints) {
  ImageScore score;
  const CountedBoxes counted = selectCountedBoxes(truth, detections, score);
  const OverlapTable table(truth, detections, counted);
  std::vector<Rect> wordRects;
  for (size_t g : counted.words) wordRects.push_back(truth[g].rect());
  std::vector<Rect> detectionRects;
  for (size_t d : counted.detections) detectionRects.push_back(detections[d]);

  MatchState matched{std::vector<bool>(table.words(), false),
                     std::vector<bool>(table.detections(), false)};
  matchOneToOne(table, wordRects, detectionRects, constraints, matched, score.tally);
  matchOneToMany(table, constraints, matched, score.tally);
  matchManyToOne(table, constraints, matched, score.tally);
  recordOutcomes(counted, matched, score);
  return score;
}

ImageScore scoreIoU(const std::vector<WordBox>& truth, const std::vector<Rect>& detections) {
  ImageScore score;
  const CountedBoxes counted = selectCountedBoxes(truth, detections, score);
  const OverlapTable table(truth, detections, counted);
  // (overlap, g, d) for every pair above the threshold, best first.
  std::vector<std::tuple<double, size_t, size_t>> pairs;
  for (size_t g = 0; g < table.words(); ++g) {
    for (size_t d = 0; d < table.detections(); ++d) {
      const double shared = table.intersection(g, d);
      const double iou =
          OverlapTable::fraction(shared, table.wordArea(g) + table.detectionArea(d) - shared);
      if (iou > kIoUThreshold) pairs.emplace_back(iou, g, d);
    }
  }
  std::stable_sort(pairs.begin(), pairs.end(),
                   [](const auto& a, const auto& b) { return std::get<0>(a) > std::get<0>(b); });
  MatchState matched{std::vector<bool>(table.words(), false),
                     std::vector<bool>(table.detections(), false)};
  for (const auto& [iou, g, d] : pairs) {
    if (matched.word[g] || matched.detection[d]) continue;
    matched.word[g] = true;
    matched.detection[d] = true;
    score.tally.recallSum += 1.0;
    score.tally.precisionSum += 1.0;
  }
  recordOutcomes(counted, matched, score);
  return score;
}

ImageScore scoreImage(const std::vector<WordBox>& truth, const std::vector<Rect>& detections,
                      Protocol protocol) {
  return protocol == Protocol::IoU ? scoreIoU(truth, detections) : scoreDetEval(truth, detections);
}

}  // namespace scenetext::evaluation
