#pragma once

// The FeatureVector of one candidate region: 190 stripe contrasts of 19 feature maps computed on
// a 96 x 48 resampling of the region. Feature index = 10 * map + slot. Maps: 0 gx, 1 gy,
// 2 gradient magnitude, 3 edge projection, 4 edge orientation, 5 + g orientation band g
// (g = 0..13). Slots: the values of the six stripe layouts in table order (sum contrast, then mean
// contrast where a layout has both): 0-1 ThreeColumns, 2-3 ThreeRows 1/6, 4 TwoColumns,
// 5 TwoRows, 6-7 ThreeRows 5/12, 8-9 FiveRows. The stored models address exactly this order.

#include <vector>

#include <opencv2/core.hpp>

namespace scenetext::features {

inline constexpr int kFeatureCount = 190;
inline constexpr int kValuesPerMap = 10;  // 2 + 2 + 1 + 1 + 2 + 2 over the six layouts

// The RegionPatch is 96 wide and 48 high (not the reverse).
inline constexpr int kPatchWidth = 96;
inline constexpr int kPatchHeight = 48;

// The region resampled bilinearly onto 96 x 48, same depth and channels.
cv::Mat regionPatch(const cv::Mat& region);

// The 1 x 190 CV_32FC1 FeatureVector of an 8-bit region with 1 or 3 channels (blue, green, red)
// and at least one pixel; a 1 x 1 region gives a uniform patch and still 190 values. The region
// is read only. When the patch has no edge pixel, features 30-189 are 0.
// Precondition: a non-empty 8-bit image with 1 or 3 channels (cv::Exception otherwise).
cv::Mat computeFeatureVector(const cv::Mat& region);

}  // namespace scenetext::features
