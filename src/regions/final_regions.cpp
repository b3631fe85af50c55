#include "regions/final_regions.hpp"

#include <algorithm>
#include <cstddef>

#include <opencv2/imgproc.hpp>

namespace scenetext::regions {
namespace {

constexpr float kText = 255.0f;   // an unlabelled text pixel in the label map
constexpr float kVisited = 1.0f;  // background pixels start visited; text pixels become so

// Both fills join only pixels equal to the seed's value, over 4-connected steps.
void fillArea(cv::Mat& map, cv::Point seed, float value) {
  cv::floodFill(map, seed, cv::Scalar(value), nullptr, cv::Scalar(0), cv::Scalar(0), 4);
}

// Labels every unvisited text area reached in raster order with the running counter. Whole
// numbers up to 2^24 are exact in single precision, so labels 256, 257, ... stay distinct. When
// the counter stands at 255 the fill writes the value the area already holds, which is its label.
void labelAreas(cv::Mat& labels, cv::Mat& visited, float& counter) {
  for (int y = 0; y < labels.rows; ++y) {
    for (int x = 0; x < labels.cols; ++x) {
      if (labels.at<float>(y, x) != 0.0f && visited.at<float>(y, x) == 0.0f) {
        fillArea(labels, cv::Point(x, y), counter);
        fillArea(visited, cv::Point(x, y), kVisited);
        counter += 1.0f;
      }
    }
  }
}

bool hasUnvisited(const cv::Mat& visited) { return cv::countNonZero(visited == 0.0f) > 0; }

// One raster pass over the label map; box l - 1 (after `first`) gathers the pixels of label l.
void gatherBoxes(const cv::Mat& labels, int areaCount, BoxList& boxes) {
  const std::size_t first = boxes.size();
  const Box unset{labels.cols - 1, labels.rows - 1, 0, 0};
  boxes.resize(first + static_cast<std::size_t>(areaCount), unset);
  for (int y = 0; y < labels.rows; ++y) {
    const float* row = labels.ptr<float>(y);
    for (int x = 0; x < labels.cols; ++x) {
      const int label = static_cast<int>(row[x]);
      if (label <= 0) continue;
      const std::size_t k = first + static_cast<std::size_t>(label) - 1;
      // Past 2^24 areas the single-precision counter stops growing and its last value labels
      // every further area; they share one box rather than one past the end of the list.
      if (k >= boxes.size()) boxes.resize(k + 1, unset);
      Box& box = boxes[k];
      box.left = std::min(box.left, x);
      box.top = std::min(box.top, y);
      box.right = std::max(box.right, x);
      box.bottom = std::max(box.bottom, y);
    }
  }
}

}  // namespace

TextAreas labelTextAreas(const cv::Mat& textMask) {
  CV_Assert(textMask.type() == CV_8UC1);
  TextAreas areas;
  if (textMask.empty()) return areas;
  // Any non-zero mask value counts as text, so that both fills always cover the same area.
  areas.labels = cv::Mat::zeros(textMask.size(), CV_32FC1);
  areas.labels.setTo(kText, textMask != 0);
  cv::Mat visited = cv::Mat::zeros(textMask.size(), CV_32FC1);
  visited.setTo(kVisited, textMask == 0);

  float counter = 1.0f;
  do {
    labelAreas(areas.labels, visited, counter);
  } while (hasUnvisited(visited));
  areas.count = static_cast<int>(counter) - 1;
  return areas;
}

int areaIndex(const TextAreas& areas, cv::Point at) {
  return static_cast<int>(areas.labels.at<float>(at)) - 1;
}

BoxList textAreaBoxes(const TextAreas& areas) {
  BoxList boxes;
  if (!areas.labels.empty()) gatherBoxes(areas.labels, areas.count, boxes);
  return boxes;
}

void textMaskRegions(const cv::Mat& textMask, BoxList& boxes) {
  const TextAreas areas = labelTextAreas(textMask);
  if (areas.labels.empty()) return;
  gatherBoxes(areas.labels, areas.count, boxes);
}

cv::Mat fillBoxMask(const BoxList& boxes, int height, int width) {
  cv::Mat mask = cv::Mat::zeros(height, width, CV_8UC1);
  for (const Box& box : boxes) {
    // Clipped in integers: a box from elsewhere may reach past the mask or be empty.
    const int x0 = std::max(box.left, 0);
    const int y0 = std::max(box.top, 0);
    const int x1 = std::min(box.right, width - 1);
    const int y1 = std::min(box.bottom, height - 1);
    if (x0 > x1 || y0 > y1) continue;
    mask(cv::Range(y0, y1 + 1), cv::Range(x0, x1 + 1)).setTo(255);
  }
  return mask;
}

}  // namespace scenetext::regions
