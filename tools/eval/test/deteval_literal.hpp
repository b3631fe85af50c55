#pragma once

// Test-only: the ICDAR 2013 DetEval script's loops read literally, over plain index loops and
// membership lists, sharing with scoring.cpp only the box types and normalizedCentreDistance (which
// never decides at the script's bound of 1 for overlapping boxes). Slow (overlap counts are
// recounted inside the loops) and only for comparing with scoreDetEval.

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "eval/box_files.hpp"
#include "eval/scoring.hpp"

namespace scenetext::evaluation::literal {

inline double pixels(const Box& r) {
  return static_cast<double>(int64_t{r.right} - r.left + 1) *
         static_cast<double>(int64_t{r.bottom} - r.top + 1);
}

inline double shared(const Box& a, const Box& b) {
  const int64_t dx = int64_t{std::min(a.right, b.right)} - std::max(a.left, b.left) + 1;
  const int64_t dy = int64_t{std::min(a.bottom, b.bottom)} - std::max(a.top, b.top) + 1;
  return dx > 0 && dy > 0 ? static_cast<double>(dx) * static_cast<double>(dy) : 0.0;
}

inline double round4(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.4f", value);
  return std::strtod(text, nullptr);
}

inline bool contains(const std::vector<size_t>& list, size_t value) {
  for (size_t item : list) {
    if (item == value) return true;
  }
  return false;
}

// recall and precision sums and the counts, as the script accumulates them for one image.
inline Tally score(const std::vector<WordBox>& truth, const std::vector<Box>& detections) {
  const size_t nG = truth.size();
  const size_t nD = detections.size();
  std::vector<size_t> gtDontCare;
  std::vector<size_t> detDontCare;
  for (size_t g = 0; g < nG; ++g) {
    if (truth[g].dontCare) gtDontCare.push_back(g);
  }
  for (size_t d = 0; d < nD; ++d) {
    for (size_t g : gtDontCare) {
      if (shared(truth[g].rect(), detections[d]) / pixels(detections[d]) > 0.4) {
        detDontCare.push_back(d);
        break;
      }
    }
  }
  Tally tally;
  tally.words = static_cast<int64_t>(nG - gtDontCare.size());
  tally.detections = static_cast<int64_t>(nD - detDontCare.size());
  if (nD == 0) return tally;
  const auto R = [&](size_t g, size_t d) {
    return shared(truth[g].rect(), detections[d]) / pixels(truth[g].rect());
  };
  const auto P = [&](size_t g, size_t d) {
    return shared(truth[g].rect(), detections[d]) / pixels(detections[d]);
  };
  const auto both = [&](size_t g, size_t d) { return R(g, d) >= 0.8 && P(g, d) >= 0.4; };
  const auto overlapsOfWord = [&](size_t g) {
    int n = 0;
    for (size_t d = 0; d < nD; ++d) n += !contains(detDontCare, d) && R(g, d) > 0 ? 1 : 0;
    return n;
  };
  const auto overlapsOfDetection = [&](size_t d) {
    int n = 0;
    for (size_t g = 0; g < nG; ++g) n += !contains(gtDontCare, g) && R(g, d) > 0 ? 1 : 0;
    return n;
  };
  std::vector<int> gtDone(nG, 0);
  std::vector<int> detDone(nD, 0);
  for (size_t g = 0; g < nG; ++g) {
    for (size_t d = 0; d < nD; ++d) {
      if (gtDone[g] || detDone[d] || contains(gtDontCare, g) || contains(detDontCare, d)) continue;
      int rowPartners = 0;
      for (size_t j = 0; j < nD; ++j) rowPartners += both(g, j) ? 1 : 0;
      int columnPartners = 0;
      for (size_t i = 0; i < nG; ++i) columnPartners += both(i, d) ? 1 : 0;
      if (rowPartners != 1 || columnPartners != 1 || !both(g, d)) continue;
      if (overlapsOfWord(g) != 1 || overlapsOfDetection(d) != 1) continue;
      if (normalizedCentreDistance(truth[g].rect(), detections[d]) >= 1.0) continue;
      gtDone[g] = detDone[d] = 1;
      tally.recallSum += 1.0;
      tally.precisionSum += 1.0;
    }
  }
  for (size_t g = 0; g < nG; ++g) {
    if (contains(gtDontCare, g)) continue;
    double sum = 0.0;
    std::vector<size_t> pieces;
    for (size_t d = 0; d < nD; ++d) {
      if (gtDone[g] == 0 && detDone[d] == 0 && !contains(detDontCare, d) && P(g, d) >= 0.4) {
        sum += R(g, d);
        pieces.push_back(d);
      }
    }
    if (round4(sum) < 0.8 || overlapsOfWord(g) < 2) continue;
    gtDone[g] = 1;
    tally.recallSum += pieces.size() == 1 ? 1.0 : 0.8;
    tally.precisionSum += pieces.size() == 1 ? 1.0 : 0.8 * static_cast<double>(pieces.size());
    for (size_t d : pieces) detDone[d] = 1;
  }
  for (size_t d = 0; d < nD; ++d) {
    if (contains(detDontCare, d)) continue;
    double sum = 0.0;
    std::vector<size_t> words;
    for (size_t g = 0; g < nG; ++g) {
      if (gtDone[g] == 0 && detDone[d] == 0 && !contains(gtDontCare, g) && R(g, d) >= 0.8) {
        sum += P(g, d);
        words.push_back(g);
      }
    }
    if (round4(sum) < 0.4 || overlapsOfDetection(d) < 2) continue;
    detDone[d] = 1;
    tally.recallSum += words.size() == 1 ? 1.0 : static_cast<double>(words.size());
    tally.precisionSum += 1.0;
    for (size_t g : words) gtDone[g] = 1;
  }
  return tally;
}

}  // namespace scenetext::evaluation::literal
