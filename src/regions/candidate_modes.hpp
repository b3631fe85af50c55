#pragma once

// Where candidate rectangles come from. The exact mode is the detector's own candidate stage: one
// edge map of the WorkingImage, character boxes that enclose fewer than four others, and
// neighbours within twice the wider box's width. The extended mode adds what that stage cannot
// reach — letters with holes, large or faint text — from edge maps at half and quarter size, a
// nesting limit of 8 and a neighbour reach of four widths. Everything after the candidate list
// (features, cascade, TextMask, final boxes) is the same in both modes.

#include <opencv2/core.hpp>

#include <optional>
#include <string_view>
#include <vector>

#include "classifier/stump_cascade.hpp"
#include "common/box_list.hpp"

namespace scenetext::regions {

enum class CandidateMode { kExact, kExtended };

// The command-line names: "exact" for the exact mode, "extended".
std::string_view candidateModeName(CandidateMode mode);
std::optional<CandidateMode> parseCandidateMode(std::string_view name);

// Extended mode: every source's nesting pass removes a box only when it encloses this many others.
inline constexpr int kExtendedNestingLimit = 8;
// Extended mode: the neighbour reach, in widths of the wider box.
inline constexpr int kExtendedCentreDistanceFactor = 4;
// Extended mode: the WorkingImage, then its bilinear reductions by these factors.
inline constexpr int kExtendedSourceFactors[] = {1, 2, 4};

// A box of a source reduced by `factor`, in WorkingImage coordinates: the first row and column of
// the reduced pixel's block to its last, clipped to width - 1 and height - 1.
Box scaleBoxToWorking(const Box& box, int factor, int width, int height);

// The candidate rectangles of the extended mode, in source order and within a source in seed
// order; repeats are kept. `edges` is the WorkingImage's own EdgeMap (the first source's).
std::vector<cv::Rect> extendedCandidates(const cv::Mat& working, const cv::Mat& edges);

// The candidate rectangles of either mode for the single band that covers the WorkingImage.
std::vector<cv::Rect> candidateRectangles(const cv::Mat& working, const cv::Mat& edges,
                                          CandidateMode mode);

// The detection driver of the extended mode: the same outputs as detectTextRegions with the
// bands {0, rows}, from the extended candidate list. Each distinct rectangle is judged once on the
// WorkingImage.
void detectTextRegionsExtended(BoxList& boxes, cv::Mat& textMask, cv::Mat& boxMask,
                               const cv::Mat& image, const cv::Mat& edges,
                               const classifier::StumpCascade& model);

}  // namespace scenetext::regions
