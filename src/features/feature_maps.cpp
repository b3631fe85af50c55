#include "features/feature_maps.hpp"

#include <vector>

#include "features/stripe_contrasts.hpp"

namespace scenetext::features {

namespace {

// Edge pixels (any non-zero value) per row and per column, as whole numbers.
struct EdgeCounts {
  std::vector<int> rows;
  std::vector<int> columns;
};

EdgeCounts edgeCounts(const cv::Mat& edgeMap) {
  CV_Assert(edgeMap.type() == CV_8UC1 && !edgeMap.empty());
  EdgeCounts counts{std::vector<int>(edgeMap.rows, 0), std::vector<int>(edgeMap.cols, 0)};
  int* columns = counts.columns.data();
  for (int i = 0; i < edgeMap.rows; ++i) {
    const uchar* e = edgeMap.ptr<uchar>(i);
    int row = 0;
    for (int j = 0; j < edgeMap.cols; ++j) {
      const int edge = e[j] != 0;
      row += edge;
      columns[j] += edge;
    }
    counts.rows[i] = row;
  }
  return counts;
}

// Every integer up to this is a single-precision number.
constexpr long long kExactFloatIntegers = 1LL << 24;

}  // namespace

cv::Mat edgeProjectionOfEdgeMap(const cv::Mat& edgeMap) {
  // Counts in single precision, as the products are: both stay exact far beyond any patch size.
  const EdgeCounts counts = edgeCounts(edgeMap);
  const std::vector<float> rowCounts(counts.rows.begin(), counts.rows.end());
  const std::vector<float> columnCounts(counts.columns.begin(), counts.columns.end());
  cv::Mat projection(edgeMap.size(), CV_32FC1);
  for (int i = 0; i < edgeMap.rows; ++i) {
    float* p = projection.ptr<float>(i);
    for (int j = 0; j < edgeMap.cols; ++j) p[j] = rowCounts[i] * columnCounts[j];
  }
  return projection;
}

cv::Mat edgeProjectionIntegral(const cv::Mat& edgeMap) {
  const EdgeCounts counts = edgeCounts(edgeMap);
  // Running counts: R(y) edge pixels in rows 0..y, C(x) in columns 0..x.
  std::vector<long long> rowsUpTo(counts.rows.size()), columnsUpTo(counts.columns.size());
  long long total = 0;
  for (size_t i = 0; i < rowsUpTo.size(); ++i) rowsUpTo[i] = total += counts.rows[i];
  long long running = 0;
  for (size_t j = 0; j < columnsUpTo.size(); ++j) columnsUpTo[j] = running += counts.columns[j];
  // Each entry of the recurrence adds whole numbers of at most total^2 in double; when that fits
  // a float's exact integers, no step rounds and the entry is R(y) * C(x) itself.
  if (total * total > kExactFloatIntegers) return integralImage(edgeProjectionOfEdgeMap(edgeMap));
  cv::Mat integral(edgeMap.size(), CV_32FC1);
  for (int y = 0; y < integral.rows; ++y) {
    float* out = integral.ptr<float>(y);
    for (int x = 0; x < integral.cols; ++x) {
      out[x] = static_cast<float>(rowsUpTo[y] * columnsUpTo[x]);
    }
  }
  return integral;
}

}  // namespace scenetext::features
