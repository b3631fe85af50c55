#include "eval/average_precision.hpp"

#include <algorithm>
#include <utility>

namespace scenetext::evaluation {
namespace {

// (score, image, line) of every detection: the ranking order, highest score first. The list is
// built in image and line order and sorted stably, so ties keep that order.
struct RankedDetection {
  double score;
  size_t image;
  size_t line;
};

std::vector<RankedDetection> rankDetections(const std::vector<ImageEvaluation>& images,
                                            bool countedOnly) {
  std::vector<RankedDetection> ranked;
  for (size_t i = 0; i < images.size(); ++i) {
    const ImageEvaluation& image = images[i];
    for (size_t d = 0; d < image.detections.size(); ++d) {
      if (countedOnly && image.score.detectionOutcomes[d] == BoxOutcome::Ignored) continue;
      ranked.push_back({image.scores[d].value_or(0.0), i, d});
    }
  }
  std::stable_sort(
      ranked.begin(), ranked.end(),
      [](const RankedDetection& a, const RankedDetection& b) { return a.score > b.score; });
  return ranked;
}

PrecisionRecallCurve iouCurve(const std::vector<ImageEvaluation>& images) {
  const Tally total = totalOf(images);
  PrecisionRecallCurve curve;
  Tally reached{total.words, 0, 0.0, 0.0};
  double precisionSum = 0.0;
  for (const RankedDetection& detection : rankDetections(images, true)) {
    ++reached.detections;
    if (images[detection.image].score.detectionOutcomes[detection.line] == BoxOutcome::Matched) {
      reached.recallSum += 1.0;
      reached.precisionSum += 1.0;
      precisionSum += reached.precisionSum / static_cast<double>(reached.detections);
    }
    const Scores scores = scoresOf(reached);
    curve.points.push_back({scores.recall, scores.precision});
  }
  if (total.words > 0) curve.averagePrecision = precisionSum / static_cast<double>(total.words);
  return curve;
}

// Image `image` scored with only its detections whose score is at least `threshold`.
Tally tallyAbove(const ImageEvaluation& image, double threshold) {
  std::vector<Box> kept;
  for (size_t d = 0; d < image.detections.size(); ++d) {
    if (image.scores[d].value_or(0.0) >= threshold) kept.push_back(image.detections[d]);
  }
  return scoreDetEval(image.truth, kept).tally;
}

PrecisionRecallCurve detEvalCurve(const std::vector<ImageEvaluation>& images) {
  const std::vector<RankedDetection> ranked = rankDetections(images, false);
  std::vector<Tally> tallies;
  for (const ImageEvaluation& image : images)
    tallies.push_back(scoreDetEval(image.truth, {}).tally);
  std::vector<size_t> rescoredAt(images.size(), ranked.size());
  PrecisionRecallCurve curve;
  // Only the images holding a detection at the new threshold change when it is lowered.
  for (size_t begin = 0; begin < ranked.size();) {
    const double threshold = ranked[begin].score;
    size_t end = begin;
    for (; end < ranked.size() && ranked[end].score == threshold; ++end) {
      const size_t image = ranked[end].image;
      if (rescoredAt[image] == begin) continue;
      rescoredAt[image] = begin;
      tallies[image] = tallyAbove(images[image], threshold);
    }
    begin = end;
    Tally total;
    for (const Tally& tally : tallies) total += tally;
    const Scores scores = scoresOf(total);
    curve.points.push_back({scores.recall, scores.precision});
  }
  if (totalOf(images).words > 0) curve.averagePrecision = interpolatedArea(curve.points);
  return curve;
}

}  // namespace

ScoreCount countScores(const std::vector<ImageEvaluation>& images) {
  ScoreCount count;
  for (const ImageEvaluation& image : images) {
    for (const std::optional<double>& score : image.scores) {
      ++count.detections;
      if (score) {
        ++count.scored;
      } else if (count.firstUnscoredFile.empty()) {
        count.firstUnscoredFile = image.files.detectionPath;
      }
    }
  }
  return count;
}

PrecisionRecallCurve precisionRecallCurve(const std::vector<ImageEvaluation>& images,
                                          Protocol protocol) {
  return protocol == Protocol::IoU ? iouCurve(images) : detEvalCurve(images);
}

double interpolatedArea(std::vector<CurvePoint> points) {
  std::stable_sort(points.begin(), points.end(),
                   [](const CurvePoint& a, const CurvePoint& b) { return a.recall < b.recall; });
  // Best precision at this recall or any higher one, filled in from the right.
  std::vector<double> best(points.size());
  double bestSoFar = 0.0;
  for (size_t i = points.size(); i-- > 0;) {
    bestSoFar = std::max(bestSoFar, points[i].precision);
    best[i] = bestSoFar;
  }
  double area = 0.0;
  double previousRecall = 0.0;
  for (size_t i = 0; i < points.size(); ++i) {
    area += (points[i].recall - previousRecall) * best[i];
    previousRecall = points[i].recall;
  }
  return area;
}

}  // namespace scenetext::evaluation
