#include "eval/overlay.hpp"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace scenetext::evaluation {
namespace {

// One pixel of line per 400 pixels of the larger side: visible on a 1600-pixel photograph without
// hiding the letters of a small word.
constexpr int kPixelsPerLineWidth = 400;

cv::Scalar colourOf(BoxOutcome outcome, const cv::Scalar& matched, const cv::Scalar& unmatched) {
  switch (outcome) {
    case BoxOutcome::Matched:
      return matched;
    case BoxOutcome::Unmatched:
      return unmatched;
    case BoxOutcome::Ignored:
      break;
  }
  return kIgnoredColour;
}

void outline(cv::Mat& canvas, const Box& box, const cv::Scalar& colour, int thickness) {
  // Sides far outside the canvas are pulled in to just beyond its edge: they stay invisible, and
  // the drawing never has to deal with coordinates near the limits of int.
  const int margin = thickness + 1;
  const auto clampX = [&](int x) { return std::clamp(x, -margin, canvas.cols + margin); };
  const auto clampY = [&](int y) { return std::clamp(y, -margin, canvas.rows + margin); };
  cv::rectangle(canvas, cv::Point(clampX(box.left), clampY(box.top)),
                cv::Point(clampX(box.right), clampY(box.bottom)), colour, thickness);
}

Box scaled(const Box& box, double factor) {
  const auto at = [factor](int value) {
    return static_cast<int>(std::clamp(std::lround(value * factor), -(1L << 30), 1L << 30));
  };
  return {at(box.left), at(box.top), at(box.right), at(box.bottom)};
}

}  // namespace

cv::Mat drawThumbnail(const cv::Mat& image, const ImageEvaluation& evaluation, int maxWidth,
                      int maxHeight) {
  const double factor = std::min({1.0, static_cast<double>(maxWidth) / std::max(1, image.cols),
                                  static_cast<double>(maxHeight) / std::max(1, image.rows)});
  if (factor >= 1.0) return drawOverlay(image, evaluation);
  cv::Mat reduced;
  const cv::Size size(std::max(1, static_cast<int>(std::lround(image.cols * factor))),
                      std::max(1, static_cast<int>(std::lround(image.rows * factor))));
  cv::resize(image, reduced, size, 0, 0, cv::INTER_AREA);
  ImageEvaluation thumbnail;
  thumbnail.score = evaluation.score;
  for (const WordBox& word : evaluation.truth) {
    WordBox moved = word;
    const Box box = scaled(word.rect(), factor);
    moved.left = box.left;
    moved.top = box.top;
    moved.right = box.right;
    moved.bottom = box.bottom;
    thumbnail.truth.push_back(std::move(moved));
  }
  for (const Box& detection : evaluation.detections)
    thumbnail.detections.push_back(scaled(detection, factor));
  return drawOverlay(reduced, thumbnail);
}

cv::Mat drawOverlay(const cv::Mat& image, const ImageEvaluation& evaluation) {
  cv::Mat canvas;
  if (image.channels() == 1) {
    cv::cvtColor(image, canvas, cv::COLOR_GRAY2BGR);
  } else if (image.channels() == 4) {
    cv::cvtColor(image, canvas, cv::COLOR_BGRA2BGR);
  } else {
    canvas = image.clone();
  }
  const int thickness = std::max(1, std::max(canvas.cols, canvas.rows) / kPixelsPerLineWidth);
  const ImageScore& score = evaluation.score;
  for (size_t g = 0; g < evaluation.truth.size() && g < score.wordOutcomes.size(); ++g) {
    outline(canvas, evaluation.truth[g].rect(),
            colourOf(score.wordOutcomes[g], kMatchedWordColour, kUnmatchedWordColour), thickness);
  }
  for (size_t d = 0; d < evaluation.detections.size() && d < score.detectionOutcomes.size(); ++d) {
    outline(
        canvas, evaluation.detections[d],
        colourOf(score.detectionOutcomes[d], kMatchedDetectionColour, kUnmatchedDetectionColour),
        thickness);
  }
  return canvas;
}

}  // namespace scenetext::evaluation
