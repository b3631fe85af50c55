#include "features/feature_maps.hpp"

#include "edges/edge_detection.hpp"
#include "edges/gradient_maps.hpp"

namespace scenetext::features {

std::vector<cv::Mat> gradientFeatureMaps(const cv::Mat& patch) {
  edges::GradientMaps maps = edges::computeGradientMaps(patch);
  return {maps.gx, maps.gy, maps.magnitude};
}

cv::Mat edgeProjectionMap(const cv::Mat& patch) {
  return edgeProjectionOfEdgeMap(edges::detectEdges(patch, edges::kEdgeFraction));
}

cv::Mat edgeProjectionOfEdgeMap(const cv::Mat& edgeMap) {
  CV_Assert(edgeMap.type() == CV_8UC1 && !edgeMap.empty());
  // Counts in single precision, as the products are: both stay exact far beyond any patch size.
  std::vector<float> rowCounts(edgeMap.rows, 0.0f);
  std::vector<float> columnCounts(edgeMap.cols, 0.0f);
  for (int i = 0; i < edgeMap.rows; ++i) {
    const uchar* e = edgeMap.ptr<uchar>(i);
    for (int j = 0; j < edgeMap.cols; ++j) {
      if (e[j] != 0) {
        rowCounts[i] += 1.0f;
        columnCounts[j] += 1.0f;
      }
    }
  }
  cv::Mat projection(edgeMap.size(), CV_32FC1);
  for (int i = 0; i < edgeMap.rows; ++i) {
    float* p = projection.ptr<float>(i);
    for (int j = 0; j < edgeMap.cols; ++j) p[j] = rowCounts[i] * columnCounts[j];
  }
  return projection;
}

}  // namespace scenetext::features
