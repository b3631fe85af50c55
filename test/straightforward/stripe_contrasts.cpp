#include "straightforward/stripe_contrasts.hpp"

namespace scenetext::features {

std::vector<float> stripeContrasts(const cv::Mat& map, const StripeLayout& layout) {
  return stripeContrastsOfIntegral(integralImage(map), layout);
}

std::vector<float> mapFeatures(const cv::Mat& map) {
  std::vector<float> values;
  for (const StripeLayout& layout : kStripeLayoutTable) {
    const std::vector<float> v = stripeContrasts(map, layout);
    values.insert(values.end(), v.begin(), v.end());
  }
  return values;
}

}  // namespace scenetext::features
