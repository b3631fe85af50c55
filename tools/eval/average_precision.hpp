#pragma once

// Average precision of a set of scored detections: how well the scores rank the detections,
// taken over every operating point from the most confident detection down.

#include <cstddef>
#include <string>
#include <vector>

#include "eval/folder_evaluation.hpp"
#include "eval/scoring.hpp"

namespace scenetext::evaluation {

// How many of a set's detections (don't-care ones included) carry a score.
struct ScoreCount {
  size_t detections = 0;
  size_t scored = 0;
  std::string
      firstUnscoredFile;  // the first detection file, in image order, with a line without one
};

ScoreCount countScores(const std::vector<ImageEvaluation>& images);

struct CurvePoint {
  double recall = 0.0;
  double precision = 0.0;
};

struct PrecisionRecallCurve {
  std::vector<CurvePoint> points;  // from the most confident operating point down
  double averagePrecision = 0.0;
};

// The curve and its average precision. Requires a score on every detection of `images`, which
// must have been scored by `protocol` (ImageEvaluation::score).
//  - IoU, as the ICDAR 2015 script: the counted detections ranked by score, highest first (ties:
//    the order of `images`, then line order), each marked by whether the set's matching matched
//    it; one point per rank, and AP = the sum over the matched ranks k of (matches up to k) / k,
//    divided by the counted words.
//  - DetEval: the set re-scored with the detections scoring at least t, for every distinct score
//    t from the highest down; one point per threshold, and AP = interpolatedArea of the points.
// A set without counted words has AP 0.
PrecisionRecallCurve precisionRecallCurve(const std::vector<ImageEvaluation>& images,
                                          Protocol protocol);

// Area under the interpolated curve: the precision at recall r is the best precision of any point
// with recall >= r, from recall 0 up to the highest recall reached (0 for no points).
double interpolatedArea(std::vector<CurvePoint> points);

}  // namespace scenetext::evaluation
