#include "features/feature_vector.hpp"

#include <opencv2/imgproc.hpp>

#include "edges/edge_detection.hpp"
#include "features/feature_maps.hpp"
#include "features/orientation_maps.hpp"
#include "features/stripe_contrasts.hpp"

namespace scenetext::features {

namespace {

// Writes the ten values of each map in order, advancing `position`.
void appendFamily(const std::vector<cv::Mat>& maps, cv::Mat& vector, int& position) {
  for (const cv::Mat& map : maps) {
    for (float value : mapFeatures(map)) {
      CV_Assert(position < kFeatureCount);
      vector.at<float>(0, position++) = value;
    }
  }
}

}  // namespace

cv::Mat regionPatch(const cv::Mat& region) {
  cv::Mat patch;
  cv::resize(region, patch, cv::Size(kPatchWidth, kPatchHeight), 0, 0, cv::INTER_LINEAR);
  return patch;
}

std::vector<float> mapFeatures(const cv::Mat& map) {
  // One integral image serves all six layouts: the contrasts read only the integral image.
  const cv::Mat integral = integralImage(map);
  std::vector<float> values;
  values.reserve(kValuesPerMap);
  for (const StripeLayout& layout : kStripeLayoutTable) {
    const std::vector<float> layoutValues = stripeContrastsOfIntegral(integral, layout);
    values.insert(values.end(), layoutValues.begin(), layoutValues.end());
  }
  return values;
}

cv::Mat computeFeatureVector(const cv::Mat& region) {
  CV_Assert(!region.empty() && region.depth() == CV_8U &&
            (region.channels() == 1 || region.channels() == 3));
  const cv::Mat patch = regionPatch(region);
  cv::Mat vector(1, kFeatureCount, CV_32FC1, cv::Scalar(0));
  int position = 0;

  appendFamily(gradientFeatureMaps(patch), vector, position);
  // The colour patch and its grey copy give the same EdgeMap (the detector converts colour with
  // the same blue-green-red to grey conversion), so one detection serves both edge families.
  const cv::Mat grey = greyCopy(patch);
  const cv::Mat edgeMap = edges::detectEdges(grey, edges::kEdgeFraction);
  appendFamily({edgeProjectionOfEdgeMap(edgeMap)}, vector, position);
  appendFamily(orientationBandMapsOfEdgeMap(grey, edgeMap, OrientationBandParams{}), vector, position);

  // 3 + 1 + 15 maps of ten values each fill the vector exactly.
  CV_Assert(position == kFeatureCount);
  return vector;
}

}  // namespace scenetext::features
