#pragma once

// Stripe contrasts of whole maps, each integral image built for the map it serves: the form the
// features' shared and interleaved integration is held to.

#include <vector>

#include <opencv2/core.hpp>

#include "features/stripe_contrasts.hpp"

namespace scenetext::features {

// The contrasts of one layout on a non-empty CV_32FC1 map (stripeContrastsOfIntegral of its
// integralImage).
std::vector<float> stripeContrasts(const cv::Mat& map, const StripeLayout& layout);

// The ten stripe contrasts of one CV_32FC1 map, the six layouts in table order.
std::vector<float> mapFeatures(const cv::Mat& map);

}  // namespace scenetext::features
