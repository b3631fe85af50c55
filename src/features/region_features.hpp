#pragma once

// The FeatureVector of one candidate region, computed map by map on demand: a cascade that
// rejects a candidate after a few stumps needs the maps of those stumps' features only. Every
// value is bit for bit the one computeFeatureVector gives (which is built on this).

#include <array>
#include <optional>
#include <vector>

#include <opencv2/core.hpp>

#include "edges/gradients.hpp"
#include "features/feature_vector.hpp"
#include "features/integral_image.hpp"
#include "features/stripe_contrasts.hpp"

namespace scenetext::features {

inline constexpr int kFeatureMapCount = kFeatureCount / kValuesPerMap;  // 19

// The features of one region. The 96 x 48 patch is made at construction; its grey copy, its
// gradients (maps 0-2, and the input of its EdgeMap), its EdgeMap (map 3 and the orientation
// family) and its edge orientation map (maps 4-18) are each computed once, when the first
// feature that needs them is asked for. A map's ten values are computed with those of the maps
// that share its inputs and its integration (at most four: 0-2, 3, 4-7, 8-11, 12-15, 16-18).
class RegionFeatures {
 public:
  // `region`: 8-bit, 1 or 3 channels (blue, green, red), at least one pixel (cv::Exception
  // otherwise). Only read during construction.
  explicit RegionFeatures(const cv::Mat& region);

  // Feature `index`, 0..kFeatureCount-1 (cv::Exception otherwise).
  float feature(int index);

  // The whole 1 x 190 CV_32FC1 FeatureVector.
  cv::Mat vector();

 private:
  void computeMap(int map);
  void storeValues(int map, const IntegralView& integral);
  // Up to four patch-sized maps side by side, for integrateLanes, and their integral images.
  struct Scratch {
    std::vector<float> lanes = std::vector<float>(kPatchHeight * kPatchWidth * kIntegralLanes);
    std::vector<float> integrals = std::vector<float>(lanes.size());
  };
  static Scratch& scratch();
  // gx, gy and the magnitude into lanes 0 to 2, lane 3 set to 0.
  static void interleaveGradients(std::vector<float>& lanes, const edges::GradientMaps& maps);
  // One map into the four lanes, each lane the map inside its window (lower <= value <= upper)
  // and 0 elsewhere: the orientation family.
  struct Window {
    float lower;
    float upper;
  };
  static void interleaveWindows(std::vector<float>& lanes, const cv::Mat& map,
                                const std::array<Window, 4>& windows);
  const cv::Mat& grey();
  const edges::GradientMaps& gradients();
  const cv::Mat& edgeMap();
  const cv::Mat& edgeOrientation();

  cv::Mat patch_;
  cv::Mat grey_;
  std::optional<edges::GradientMaps> gradients_;
  cv::Mat edgeMap_;
  cv::Mat edgeOrientation_;
  std::array<bool, kFeatureMapCount> computed_{};
  std::array<float, kFeatureCount> values_{};
};

}  // namespace scenetext::features
