#include "straightforward/feature_maps.hpp"

#include "edges/edge_detection.hpp"
#include "edges/gradient_maps.hpp"
#include "features/feature_maps.hpp"

namespace scenetext::features {

std::vector<cv::Mat> gradientFeatureMaps(const cv::Mat& patch) {
  edges::GradientMaps maps = edges::computeGradientMaps(patch);
  return {maps.gx, maps.gy, maps.magnitude};
}

cv::Mat edgeProjectionMap(const cv::Mat& patch) {
  return edgeProjectionOfEdgeMap(edges::detectEdges(patch, edges::kEdgeFraction));
}

}  // namespace scenetext::features
