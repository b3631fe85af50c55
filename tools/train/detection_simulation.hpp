#pragma once

// Detection simulated from cached samples: the accepted candidates of an image are painted into a
// TextMask of its WorkingImage size, its 4-connected areas become the boxes, and the boxes are
// scaled to the input image exactly as the box list writes them. This gives what a detection run
// with the same cascade reports, without recomputing edges or features, so every prefix of a
// cascade can be scored on held-out images in moments.

#include <span>
#include <vector>

#include "classifier/stump_cascade.hpp"
#include "eval/scoring.hpp"
#include "train/sample_collection.hpp"

namespace scenetext::training {

// How many leading stages of `cascade` accept each candidate of `samples` (cascade.size() when
// all do), by the evaluator itself.
std::vector<int> stagesPassed(const ImageSamples& samples, const classifier::StumpCascade& cascade);

// The boxes, in input-image coordinates and in the detector's order, that a detection run reports
// for `samples` when exactly the candidates with accepted[k] true are accepted.
std::vector<Box> simulateDetections(const ImageSamples& samples, const std::vector<bool>& accepted);

// DetEval tallies over `images` for every prefix of `cascade`: element k scores the first k
// stages (element 0 accepts every candidate, the ceiling the candidates allow), so the result has
// cascade.size() + 1 elements.
std::vector<evaluation::Tally> scorePrefixes(std::span<const ImageSamples* const> images,
                                             const classifier::StumpCascade& cascade);

}  // namespace scenetext::training
