#include "reference/run.hpp"

#include <opencv2/imgproc.hpp>

#include "reference/edge_detection.hpp"

namespace scenetext::reference {

namespace {

// Size limits of the reduction (strict: a side of exactly this size is not reduced).
constexpr int kReduceByFourAbove = 3200;
constexpr int kReduceByTwoAbove = 1600;

}  // namespace

cv::Mat prepareInputImage(const cv::Mat& image) {
  const int w = image.cols;
  const int h = image.rows;
  const int channels = image.channels();
  const int paddedWidth = w % 4 == 0 ? w : w - w % 4 + 4;
  cv::Mat out(h, paddedWidth, image.type());
  const uchar* fixed = image.ptr<uchar>(h / 2) + (w - 1) * channels;
  for (int y = 0; y < h; ++y) {
    const uchar* in = image.ptr<uchar>(y);
    uchar* row = out.ptr<uchar>(y);
    for (int x = 0; x < paddedWidth; ++x) {
      for (int c = 0; c < channels; ++c) {
        row[x * channels + c] = x < w ? in[x * channels + c] : fixed[c];
      }
    }
  }
  return out;
}

int reductionFactor(int width, int height) {
  if (width > kReduceByFourAbove || height > kReduceByFourAbove) return 4;
  if (width > kReduceByTwoAbove || height > kReduceByTwoAbove) return 2;
  return 1;
}

WorkingInput prepareWorkingInput(const cv::Mat& input) {
  const cv::Mat prepared = prepareInputImage(input);
  WorkingInput result;
  result.factor = reductionFactor(prepared.cols, prepared.rows);
  if (result.factor == 1) {
    result.working = prepared;
    return result;
  }
  result.working.create(prepared.rows / result.factor, prepared.cols / result.factor,
                        prepared.type());
  cv::resize(prepared, result.working, result.working.size(), 0, 0, cv::INTER_LINEAR);
  return result;
}

Detection detectText(const cv::Mat& working, const classifier::StumpCascade& model) {
  const cv::Mat edges = detectEdges(working, 0.9f);
  const std::vector<int> bands{0, working.rows};
  Detection detection;
  detectTextRegions(detection.boxes, detection.textMask, detection.boxMask, working, edges, bands,
                    model);
  return detection;
}

}  // namespace scenetext::reference
