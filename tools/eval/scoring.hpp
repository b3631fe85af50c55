#pragma once

// Scores the detections of one image against its ground-truth words, by the ICDAR 2013 protocol
// of Wolf and Jolion (DetEval) or by the ICDAR 2015 intersection-over-union protocol, and adds the
// images up into the set's precision, recall and F.
//
// Areas are inclusive pixel counts, (right - left + 1) * (bottom - top + 1), formed in double
// precision so that no coordinate can overflow them. Don't-care words take no part in matching and
// are left out of the counts, and so are the detections that lie on them: for DetEval those with
// more than the precision constraint (0.4) of their area inside any one don't-care word, for IoU
// those with more than half of their area inside the union of the don't-care words.

#include <cstdint>
#include <vector>

#include "eval/box_files.hpp"

namespace scenetext::evaluation {

enum class Protocol { DetEval, IoU };

// What became of one box.
enum class BoxOutcome {
  Matched,    // part of a one-to-one, one-to-many or many-to-one match
  Unmatched,  // counted, but missed (a word) or wrong (a detection)
  Ignored,    // a don't-care word, or a detection that lies mostly inside don't-care words
};

// The counts and score sums that add up over a set of images.
struct Tally {
  int64_t words = 0;          // ground-truth words that count
  int64_t detections = 0;     // detections that count
  double recallSum = 0.0;     // summed recall scores of the words
  double precisionSum = 0.0;  // summed precision scores of the detections

  Tally& operator+=(const Tally& other);
};

struct ImageScore {
  Tally tally;
  std::vector<BoxOutcome> wordOutcomes;       // one per ground-truth word, in input order
  std::vector<BoxOutcome> detectionOutcomes;  // one per detection, in input order
};

struct Scores {
  double precision = 0.0;
  double recall = 0.0;
  double f = 0.0;  // harmonic mean of precision and recall; 0 when both are 0
};

// recall = recallSum / words, precision = precisionSum / detections. With no words to find, recall
// is 1; with no detections, precision is 1 when there were no words either and 0 otherwise.
Scores scoresOf(const Tally& tally);

// The area and centre constraints of DetEval. The defaults are the published ones; other values
// exist for experiments and for tests of the rules the defaults make unreachable.
struct DetEvalConstraints {
  double areaRecall = 0.8;      // intersection / word area, at least this (non-strict)
  double areaPrecision = 0.4;   // intersection / detection area, at least this (non-strict)
  double centreDistance = 1.0;  // one-to-one: centre distance / mean diagonal below this (strict)
};

// DetEval as the ICDAR 2013 evaluation script scores it, in three passes over the counted boxes:
//  1. one-to-one: a word and a detection that meet both area constraints with each other and with
//     no other box (don't-care words and dropped detections included), that overlap no other
//     counted box at all, and whose centres are close (normalizedCentreDistance below the
//     constraint): recall 1, precision 1;
//  2. one-to-many, words in input order: the still-unmatched detections that meet the precision
//     constraint with the word, whose shares of the word's area, summed and rounded to 4 decimals,
//     reach the recall constraint, when the word overlaps at least two counted detections: recall
//     0.8 and precision 0.8 for each piece, or 1 and 1 when a single piece was gathered;
//  3. many-to-one, detections in input order: the still-unmatched words that meet the recall
//     constraint with the detection, whose shares of its area, summed and rounded to 4 decimals,
//     reach the precision constraint, when the detection overlaps at least two counted words:
//     recall 1 for each of those words, precision 1.
ImageScore scoreDetEval(const std::vector<WordBox>& truth, const std::vector<Box>& detections,
                        const DetEvalConstraints& constraints = {});

// ICDAR 2015: one-to-one matches at intersection over union strictly above 0.5, taken greedily
// from the highest overlap down (ties: earlier word, then earlier detection); 1 each.
ImageScore scoreIoU(const std::vector<WordBox>& truth, const std::vector<Box>& detections);

ImageScore scoreImage(const std::vector<WordBox>& truth, const std::vector<Box>& detections,
                      Protocol protocol);

// Geometry of inclusive boxes. An inverted box (right < left or bottom < top) has area 0.
double boxArea(const Box& box);
double intersectionArea(const Box& a, const Box& b);
// The part of `target`'s area covered by the union of `covers`, overlaps counted once.
double coveredArea(const Box& target, const std::vector<Box>& covers);
// Distance between the two centres divided by the mean of the two diagonals, each diagonal taken
// over the inclusive extent (sqrt(width^2 + height^2), width = right - left + 1).
double normalizedCentreDistance(const Box& a, const Box& b);

}  // namespace scenetext::evaluation
