#include "edges/edge_detection.hpp"

#include <vector>

#include "edges/edge_thresholds.hpp"
#include "edges/gradients.hpp"
#include "edges/non_max_suppression.hpp"
#include "edges/thinning.hpp"
#include "edges/working_buffer.hpp"

namespace scenetext::edges {
namespace {

// Thins the 0/255 map through the single-precision thinning and back: 1.0 * 255 is 255 and
// 0.0 stays 0, taken as the low 8 bits of the truncated product.
void thinEdgeMap(cv::Mat& edges) {
  thread_local std::vector<float> storage;
  cv::Mat t = workingBuffer(storage, edges.size(), CV_32FC1);
  edges.convertTo(t, CV_32F);
  thinEdges(t);
  for (int r = 0; r < edges.rows; ++r) {
    const float* in = t.ptr<float>(r);
    uchar* out = edges.ptr<uchar>(r);
    for (int c = 0; c < edges.cols; ++c)
      out[c] = static_cast<uchar>(static_cast<int>(in[c] * 255.0f) & 0xFF);
  }
}

}  // namespace

cv::Mat detectEdges(const cv::Mat& image, float edgeFraction) {
  const cv::Mat grey = makeGreyPlane(image, image.cols, image.rows);
  return edgeMapOfGradients(computeGradients(grey), edgeFraction);
}

cv::Mat edgeMapOfGradients(const GradientMaps& gradients, float edgeFraction) {
  thread_local std::vector<float> storage;
  cv::Mat normalised = workingBuffer(storage, gradients.magnitude.size(), CV_32FC1);
  normaliseMagnitude(gradients.magnitude, normalised);
  const EdgeThresholds thresholds = computeEdgeThresholds(normalised, edgeFraction);
  // The strong points in row-major order rather than sector by sector: the hysteresis result
  // does not depend on their order.
  std::vector<EdgePoint> strong;
  cv::Mat edges;
  labelLocalMaxima(gradients.gx, gradients.gy, normalised, thresholds.low, thresholds.high, edges,
                   strong);
  traceHysteresis(edges, strong);
  thinEdgeMap(edges);
  return edges;
}

}  // namespace scenetext::edges
