#include "features/feature_vector.hpp"

#include <opencv2/imgproc.hpp>

#include "features/region_features.hpp"
#include "features/stripe_contrasts.hpp"

namespace scenetext::features {

static_assert(kValuesPerMap == kTableValueCount, "ten stripe contrasts per feature map");

cv::Mat regionPatch(const cv::Mat& region) {
  cv::Mat patch;
  cv::resize(region, patch, cv::Size(kPatchWidth, kPatchHeight), 0, 0, cv::INTER_LINEAR);
  return patch;
}

cv::Mat computeFeatureVector(const cv::Mat& region) {
  // The maps are computed family by family as the values are taken in index order; the patch's
  // gradients and EdgeMap are computed once and shared by the families that use them.
  return RegionFeatures(region).vector();
}

}  // namespace scenetext::features
