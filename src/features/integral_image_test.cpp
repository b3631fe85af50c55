#include "features/integral_image.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include <opencv2/core.hpp>

namespace scenetext::features {
namespace {

// The integral image entry by entry, rows top to bottom and each row left to right.
std::vector<float> literalIntegral(const std::vector<float>& m, int rows, int cols) {
  std::vector<float> s(m.size());
  const auto at = [cols](int y, int x) { return static_cast<size_t>(y) * cols + x; };
  for (int y = 0; y < rows; ++y) {
    for (int x = 0; x < cols; ++x) {
      const double v = m[at(y, x)];
      if (y == 0 && x == 0) {
        s[at(y, x)] = static_cast<float>(v);
      } else if (y == 0) {
        s[at(y, x)] = static_cast<float>(s[at(y, x - 1)] + v);
      } else if (x == 0) {
        s[at(y, x)] = static_cast<float>(s[at(y - 1, x)] + v);
      } else {
        s[at(y, x)] = static_cast<float>(
            v + ((static_cast<double>(s[at(y - 1, x)]) + s[at(y, x - 1)]) - s[at(y - 1, x - 1)]));
      }
    }
  }
  return s;
}

// Values over many orders of magnitude and both signs, so that nearly every entry rounds.
std::vector<float> roughMap(int rows, int cols, cv::RNG& rng) {
  std::vector<float> m(static_cast<size_t>(rows) * cols);
  for (float& v : m) {
    v = static_cast<float>(rng.uniform(-1.0, 1.0) * std::pow(10.0, rng.uniform(-3, 8)));
  }
  return m;
}

// Four maps side by side, in whichever way the processor runs them, against each map alone.
TEST(IntegrateLanes, EachLaneEqualsItsMapsIntegralImage) {
  const cv::Size sizes[] = {{1, 1}, {9, 1}, {1, 9}, {7, 3}, {3, 7}, {96, 48}, {17, 9}, {10, 30}};
  cv::RNG rng(21);
  for (const cv::Size& size : sizes) {
    const int rows = size.height, cols = size.width;
    std::vector<std::vector<float>> maps;
    std::vector<float> lanes(static_cast<size_t>(rows) * cols * kIntegralLanes);
    for (int lane = 0; lane < kIntegralLanes; ++lane) {
      maps.push_back(roughMap(rows, cols, rng));
      for (size_t i = 0; i < maps.back().size(); ++i)
        lanes[i * kIntegralLanes + lane] = maps.back()[i];
    }
    std::vector<float> integrals(lanes.size());
    integrateLanes(lanes.data(), integrals.data(), rows, cols);
    for (int lane = 0; lane < kIntegralLanes; ++lane) {
      const std::vector<float> expected = literalIntegral(maps[lane], rows, cols);
      std::vector<float> single(expected.size());
      integrateMap(maps[lane].data(), cols, single.data(), cols, rows, cols);
      for (size_t i = 0; i < expected.size(); ++i) {
        ASSERT_EQ(std::memcmp(&integrals[i * kIntegralLanes + lane], &expected[i], sizeof(float)),
                  0)
            << size << " lane " << lane << " entry " << i;
        ASSERT_EQ(std::memcmp(&single[i], &expected[i], sizeof(float)), 0)
            << size << " entry " << i;
      }
    }
  }
}

}  // namespace
}  // namespace scenetext::features
