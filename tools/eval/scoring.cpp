#include "eval/scoring.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <tuple>
#include <utility>

namespace scenetext::evaluation {
namespace {

// ICDAR 2015 drops a detection when more than half of its area lies inside the union of the
// don't-care words.
constexpr double kIoUDontCareCoverage = 0.5;
// Wolf and Jolion score a split word less than a whole one: 0.8 of a word for recall, and 0.8 for
// each of its pieces for precision. One-to-one and many-to-one matches score 1 per box.
constexpr double kSplitScore = 0.8;
constexpr double kWholeScore = 1.0;
// ICDAR 2015: a detection matches a word when intersection over union is above one half.
constexpr double kIoUThreshold = 0.5;
// The ICDAR 2013 script compares the summed coverage of a split or a merge after rounding it to
// this many decimals, so 0.79995 of a word counts as 0.8.
constexpr int kCoverageDecimals = 4;

// Inclusive extent along one axis as a 64-bit count, so INT_MIN..INT_MAX cannot overflow.
int64_t extent(int low, int high) { return static_cast<int64_t>(high) - low + 1; }

// Which boxes take part in matching and the counts: don't-care words never do, and neither do
// the detections the protocol's don't-care rule drops.
struct CountedBoxes {
  std::vector<bool> word;
  std::vector<bool> detection;
};

// When a detection lying on don't-care words leaves the counts: when more than `share` of its area
// lies inside any one of them (DetEval), or inside their union (IoU).
struct DontCareRule {
  bool overUnion;
  double share;
};

bool dropsOnDontCares(const Box& detection, const std::vector<Box>& dontCares,
                      const DontCareRule& rule) {
  const double area = boxArea(detection);
  if (dontCares.empty() || area <= 0.0) return false;
  if (rule.overUnion) return coveredArea(detection, dontCares) / area > rule.share;
  for (const Box& dontCare : dontCares) {
    if (intersectionArea(detection, dontCare) / area > rule.share) return true;
  }
  return false;
}

CountedBoxes selectCountedBoxes(const std::vector<WordBox>& truth,
                                const std::vector<Box>& detections, const DontCareRule& rule,
                                ImageScore& score) {
  CountedBoxes counted{std::vector<bool>(truth.size(), false),
                       std::vector<bool>(detections.size(), false)};
  std::vector<Box> dontCares;
  score.wordOutcomes.assign(truth.size(), BoxOutcome::Unmatched);
  for (size_t g = 0; g < truth.size(); ++g) {
    if (truth[g].dontCare) {
      score.wordOutcomes[g] = BoxOutcome::Ignored;
      dontCares.push_back(truth[g].rect());
    } else {
      counted.word[g] = true;
      ++score.tally.words;
    }
  }
  score.detectionOutcomes.assign(detections.size(), BoxOutcome::Unmatched);
  for (size_t d = 0; d < detections.size(); ++d) {
    if (dropsOnDontCares(detections[d], dontCares, rule)) {
      score.detectionOutcomes[d] = BoxOutcome::Ignored;
    } else {
      counted.detection[d] = true;
      ++score.tally.detections;
    }
  }
  return counted;
}

// Intersections and areas of every word/detection pair, don't-care boxes included.
class OverlapTable {
 public:
  OverlapTable(const std::vector<WordBox>& truth, const std::vector<Box>& detections)
      : detectionCount_(detections.size()) {
    for (const WordBox& word : truth) wordArea_.push_back(boxArea(word.rect()));
    for (const Box& detection : detections) detectionArea_.push_back(boxArea(detection));
    intersection_.reserve(truth.size() * detectionCount_);
    for (const WordBox& word : truth) {
      for (const Box& detection : detections) {
        intersection_.push_back(intersectionArea(word.rect(), detection));
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

// How many boxes of the other kind each box pairs with, by one relation.
struct PartnerCounts {
  std::vector<int> word;
  std::vector<int> detection;
};

bool meetsBoth(const OverlapTable& table, size_t g, size_t d,
               const DetEvalConstraints& constraints) {
  return table.areaRecall(g, d) >= constraints.areaRecall &&
         table.areaPrecision(g, d) >= constraints.areaPrecision;
}

// Pairs meeting both area constraints, counted over every box, don't-care words and dropped
// detections too: the ICDAR 2013 script counts them so, and a detection that also fits a
// don't-care word is nobody's sole partner.
PartnerCounts countConstraintPartners(const OverlapTable& table,
                                      const DetEvalConstraints& constraints) {
  PartnerCounts counts{std::vector<int>(table.words(), 0), std::vector<int>(table.detections(), 0)};
  for (size_t g = 0; g < table.words(); ++g) {
    for (size_t d = 0; d < table.detections(); ++d) {
      if (!meetsBoth(table, g, d, constraints)) continue;
      ++counts.word[g];
      ++counts.detection[d];
    }
  }
  return counts;
}

// Pairs of counted boxes that share any pixel at all, matched or not.
PartnerCounts countOverlaps(const OverlapTable& table, const CountedBoxes& counted) {
  PartnerCounts counts{std::vector<int>(table.words(), 0), std::vector<int>(table.detections(), 0)};
  for (size_t g = 0; g < table.words(); ++g) {
    for (size_t d = 0; d < table.detections(); ++d) {
      if (!counted.word[g] || !counted.detection[d] || table.intersection(g, d) <= 0.0) continue;
      ++counts.word[g];
      ++counts.detection[d];
    }
  }
  return counts;
}

// The script's round(sum, 4): the decimal nearest to the exact binary value, ties to even, as
// printf forms it.
double roundedCoverage(double sum) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", kCoverageDecimals, sum);
  return std::strtod(text, nullptr);
}

struct DetEvalContext {
  const OverlapTable& table;
  const CountedBoxes& counted;
  const std::vector<Box>& wordRects;
  const std::vector<Box>& detectionRects;
  const DetEvalConstraints& constraints;
  PartnerCounts overlaps;
};

// A word and a detection that are each other's sole constraint partner, overlap nothing else
// that counts, and lie close together.
void matchOneToOne(const DetEvalContext& context, MatchState& matched, Tally& tally) {
  const OverlapTable& table = context.table;
  const PartnerCounts partners = countConstraintPartners(table, context.constraints);
  for (size_t g = 0; g < table.words(); ++g) {
    if (!context.counted.word[g] || partners.word[g] != 1 || context.overlaps.word[g] != 1)
      continue;
    for (size_t d = 0; d < table.detections(); ++d) {
      if (!context.counted.detection[d] || matched.detection[d]) continue;
      if (partners.detection[d] != 1 || context.overlaps.detection[d] != 1) continue;
      if (!meetsBoth(table, g, d, context.constraints)) continue;
      if (normalizedCentreDistance(context.wordRects[g], context.detectionRects[d]) >=
          context.constraints.centreDistance) {
        break;
      }
      matched.word[g] = true;
      matched.detection[d] = true;
      tally.recallSum += kWholeScore;
      tally.precisionSum += kWholeScore;
      break;
    }
  }
}

// A word gathers the unmatched detections that lie mostly on it; their shares of the word, summed
// and rounded, must reach the recall constraint, and the word must overlap at least two counted
// detections. A single gathered piece scores as a whole match.
void matchOneToMany(const DetEvalContext& context, MatchState& matched, Tally& tally) {
  const OverlapTable& table = context.table;
  for (size_t g = 0; g < table.words(); ++g) {
    if (!context.counted.word[g] || matched.word[g]) continue;
    std::vector<size_t> pieces;
    double covered = 0.0;
    for (size_t d = 0; d < table.detections(); ++d) {
      if (!context.counted.detection[d] || matched.detection[d]) continue;
      if (table.areaPrecision(g, d) < context.constraints.areaPrecision) continue;
      pieces.push_back(d);
      covered += table.areaRecall(g, d);
    }
    if (roundedCoverage(covered) < context.constraints.areaRecall || context.overlaps.word[g] < 2)
      continue;
    matched.word[g] = true;
    for (size_t d : pieces) matched.detection[d] = true;
    const bool whole = pieces.size() == 1;
    tally.recallSum += whole ? kWholeScore : kSplitScore;
    tally.precisionSum += whole ? kWholeScore : kSplitScore * static_cast<double>(pieces.size());
  }
}

// The mirror image: a detection gathers the unmatched words lying mostly inside it.
void matchManyToOne(const DetEvalContext& context, MatchState& matched, Tally& tally) {
  const OverlapTable& table = context.table;
  for (size_t d = 0; d < table.detections(); ++d) {
    if (!context.counted.detection[d] || matched.detection[d]) continue;
    std::vector<size_t> words;
    double covered = 0.0;
    for (size_t g = 0; g < table.words(); ++g) {
      if (!context.counted.word[g] || matched.word[g]) continue;
      if (table.areaRecall(g, d) < context.constraints.areaRecall) continue;
      words.push_back(g);
      covered += table.areaPrecision(g, d);
    }
    if (roundedCoverage(covered) < context.constraints.areaPrecision ||
        context.overlaps.detection[d] < 2) {
      continue;
    }
    matched.detection[d] = true;
    for (size_t g : words) matched.word[g] = true;
    tally.recallSum += kWholeScore * static_cast<double>(words.size());
    tally.precisionSum += kWholeScore;
  }
}

void recordOutcomes(const MatchState& matched, ImageScore& score) {
  for (size_t g = 0; g < matched.word.size(); ++g) {
    if (matched.word[g]) score.wordOutcomes[g] = BoxOutcome::Matched;
  }
  for (size_t d = 0; d < matched.detection.size(); ++d) {
    if (matched.detection[d]) score.detectionOutcomes[d] = BoxOutcome::Matched;
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

double boxArea(const Box& box) {
  const int64_t width = extent(box.left, box.right);
  const int64_t height = extent(box.top, box.bottom);
  if (width <= 0 || height <= 0) return 0.0;
  return static_cast<double>(width) * static_cast<double>(height);
}

double intersectionArea(const Box& a, const Box& b) {
  return boxArea({std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                  std::min(a.bottom, b.bottom)});
}

double coveredArea(const Box& target, const std::vector<Box>& covers) {
  // Half-open pixel spans [left, right + 1) of the covers clipped to the target.
  struct Span {
    int64_t left, top, right, bottom;
  };
  std::vector<Span> spans;
  std::vector<int64_t> columns;
  for (const Box& cover : covers) {
    const Box clip{std::max(target.left, cover.left), std::max(target.top, cover.top),
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
      if (span.left <= columns[i] && span.right >= columns[i + 1])
        rows.emplace_back(span.top, span.bottom);
    }
    area +=
        static_cast<double>(unionLength(rows)) * static_cast<double>(columns[i + 1] - columns[i]);
  }
  return area;
}

double normalizedCentreDistance(const Box& a, const Box& b) {
  const auto centre = [](int low, int high) { return (static_cast<double>(low) + high) / 2.0; };
  const auto diagonal = [](const Box& r) {
    return std::hypot(static_cast<double>(extent(r.left, r.right)),
                      static_cast<double>(extent(r.top, r.bottom)));
  };
  const double dx = centre(a.left, a.right) - centre(b.left, b.right);
  const double dy = centre(a.top, a.bottom) - centre(b.top, b.bottom);
  return std::hypot(dx, dy) / ((diagonal(a) + diagonal(b)) / 2.0);
}

ImageScore scoreDetEval(const std::vector<WordBox>& truth, const std::vector<Box>& detections,
                        const DetEvalConstraints& constraints) {
  ImageScore score;
  // The script drops a detection on one don't-care word by the precision constraint.
  const CountedBoxes counted =
      selectCountedBoxes(truth, detections, {false, constraints.areaPrecision}, score);
  const OverlapTable table(truth, detections);
  std::vector<Box> wordRects;
  for (const WordBox& word : truth) wordRects.push_back(word.rect());
  const DetEvalContext context{table,      counted,     wordRects,
                               detections, constraints, countOverlaps(table, counted)};

  MatchState matched{std::vector<bool>(table.words(), false),
                     std::vector<bool>(table.detections(), false)};
  matchOneToOne(context, matched, score.tally);
  matchOneToMany(context, matched, score.tally);
  matchManyToOne(context, matched, score.tally);
  recordOutcomes(matched, score);
  return score;
}

ImageScore scoreIoU(const std::vector<WordBox>& truth, const std::vector<Box>& detections) {
  ImageScore score;
  const CountedBoxes counted =
      selectCountedBoxes(truth, detections, {true, kIoUDontCareCoverage}, score);
  const OverlapTable table(truth, detections);
  // (overlap, g, d) for every counted pair above the threshold, best first.
  std::vector<std::tuple<double, size_t, size_t>> pairs;
  for (size_t g = 0; g < table.words(); ++g) {
    for (size_t d = 0; d < table.detections(); ++d) {
      if (!counted.word[g] || !counted.detection[d]) continue;
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
  recordOutcomes(matched, score);
  return score;
}

ImageScore scoreImage(const std::vector<WordBox>& truth, const std::vector<Box>& detections,
                      Protocol protocol) {
  return protocol == Protocol::IoU ? scoreIoU(truth, detections) : scoreDetEval(truth, detections);
}

}  // namespace scenetext::evaluation
