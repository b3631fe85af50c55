#include "edges/edge_detection.hpp"

#include <vector>

#include "edges/edge_thresholds.hpp"
#include "edges/gradients.hpp"
#include "edges/non_max_suppression.hpp"
#include "edges/thinning.hpp"
#include "edges/working_buffer.hpp"

namespace scenetext::edges {

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
  thinEdgeBytes(edges);
  return edges;
}

}  // namespace scenetext::edges
