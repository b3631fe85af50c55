#include "edges/gradient_maps.hpp"

namespace scenetext::edges {
namespace {

int roundUpToMultipleOf4(int n) { return (n + 3) / 4 * 4; }

}  // namespace

GradientMaps computeGradientMaps(const cv::Mat& image) {
  const cv::Mat grey =
      makeGreyPlane(image, roundUpToMultipleOf4(image.cols), roundUpToMultipleOf4(image.rows));
  return computeGradients(grey);
}

}  // namespace scenetext::edges
