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

cv::Mat windowedIntegralImage(const cv::Mat& map, float lower, float upper) {
  CV_Assert(map.type() == CV_32FC1 && !map.empty());
  cv::Mat windowed(map.rows, map.cols, CV_32FC1);
  for (int y = 0; y < map.rows; ++y) {
    for (int x = 0; x < map.cols; ++x) {
      const float v = map.at<float>(y, x);
      windowed.at<float>(y, x) = lower <= v && v <= upper ? v : 0.0f;
    }
  }
  return integralImage(windowed);
}

}  // namespace scenetext::features
