#include "reference/regions.hpp"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "reference/cascade.hpp"
#include "reference/features.hpp"

namespace scenetext::reference {

namespace {

// A box enclosing this many others or more is removed.
constexpr int kEnclosedLimit = 4;
// Shape limits: removed when h <= 5, when 5.0 * w < h, or when 2.4 * h < w.
constexpr int kLargestRemovedHeight = 5;
constexpr double kHeightToWidth = 5.0;
constexpr double kWidthToHeight = 2.4;
// Neighbour tests.
constexpr double kRatioLow = 0.6667;
constexpr double kRatioHigh = 1.5;
constexpr int kCentreDistanceFactor = 2;
constexpr double kGapAsymmetry = 0.5;

void markRemoved(FlatBoxList& boxes, int position) {
  for (int i = 0; i < 4; ++i) boxes[position + i] = -1;
}

int boxCount(const FlatBoxList& boxes) { return static_cast<int>(boxes.size()) / 4; }

}  // namespace

void compactFlatBoxList(FlatBoxList& boxes) {
  FlatBoxList kept;
  for (int value : boxes) {
    if (value != -1) kept.push_back(value);
  }
  boxes = kept;
}

FlatBoxList contourBoxes(const cv::Mat& edges, int width, int height) {
  std::vector<std::vector<cv::Point>> contours;
  cv::findContours(edges.clone(), contours, cv::RETR_LIST, cv::CHAIN_APPROX_SIMPLE);
  FlatBoxList boxes;
  for (const std::vector<cv::Point>& contour : contours) {
    int xmin = contour[0].x;
    int xmax = contour[0].x;
    int ymin = contour[0].y;
    int ymax = contour[0].y;
    for (const cv::Point& p : contour) {
      if (p.x >= 0 && p.y >= 0 && p.x <= width && p.y <= height) {
        xmin = std::min(xmin, p.x);
        xmax = std::max(xmax, p.x);
        ymin = std::min(ymin, p.y);
        ymax = std::max(ymax, p.y);
      }
    }
    boxes.insert(boxes.end(), {xmin, ymin, xmax, ymax});
  }
  return boxes;
}

void filterComponentBoxes(FlatBoxList& boxes) {
  const int n = boxCount(boxes);
  for (int i = 0; i < n; ++i) {
    int inside = 0;
    for (int k = 0; k < n; ++k) {
      if (k == i) continue;
      if (boxes[4 * k] > boxes[4 * i] && boxes[4 * k + 1] > boxes[4 * i + 1] &&
          boxes[4 * k + 2] < boxes[4 * i + 2] && boxes[4 * k + 3] < boxes[4 * i + 3]) {
        ++inside;
      }
    }
    if (inside >= kEnclosedLimit) markRemoved(boxes, 4 * i);
  }
  compactFlatBoxList(boxes);

  for (int i = 0; i < boxCount(boxes); ++i) {
    const int w = boxes[4 * i + 2] - boxes[4 * i];
    const int h = boxes[4 * i + 3] - boxes[4 * i + 1];
    if (h <= kLargestRemovedHeight) markRemoved(boxes, 4 * i);
    if (kHeightToWidth * w < h || kWidthToHeight * h < w) markRemoved(boxes, 4 * i);
  }
  compactFlatBoxList(boxes);
}

void splitBoxesAtBands(FlatBoxList& boxes, const std::vector<int>& bands) {
  const int n = static_cast<int>(bands.size());
  for (int li = 1; li <= n - 2; ++li) {
    const int b = bands[li];
    FlatBoxList work = boxes;
    for (int k = 0; k < boxCount(boxes); ++k) {
      const int x1 = boxes[4 * k], y1 = boxes[4 * k + 1];
      const int x2 = boxes[4 * k + 2], y2 = boxes[4 * k + 3];
      if (y1 < b && y2 >= b) {
        work.insert(work.end(), {x1, y1, x2, b - 1});
        work.insert(work.end(), {x1, b, x2, y2});
        markRemoved(work, 4 * k);
      }
    }
    compactFlatBoxList(work);
    boxes = work;
  }
}

void collectNeighbours(const FlatBoxList& boxes, NeighbourSet& neighbours, const int* seed) {
  const int sx1 = seed[0], sy1 = seed[1], sx2 = seed[2], sy2 = seed[3];
  const int cx = (sx1 + sx2) / 2;
  const int cy = (sy1 + sy2) / 2;
  const int sw = sx2 - sx1 + 1;
  const int sh = sy2 - sy1 + 1;
  for (int position = 0; position + 3 < static_cast<int>(boxes.size()); position += 4) {
    const int x1 = boxes[position], y1 = boxes[position + 1];
    const int x2 = boxes[position + 2], y2 = boxes[position + 3];
    const int jcx = (x1 + x2) / 2;
    const int hj = y2 - y1 + 1;
    const int wj = x2 - x1 + 1;
    if (!(x1 != sx1 || x2 != sx2 || y1 != sy1 || y2 != sy2)) continue;
    if (!(y1 <= cy && cy <= y2)) continue;
    const double ratio = static_cast<double>(hj) / static_cast<double>(sh);
    if (!(kRatioLow <= ratio && ratio <= kRatioHigh)) continue;
    if (!(std::abs(cx - jcx + 1) <= kCentreDistanceFactor * std::max(sw, wj))) continue;
    if (x1 < sx1 && x2 > sx2) continue;
    if (x1 > sx1 && x2 < sx2) continue;
    if (jcx < cx) {
      neighbours.leftPositions.push_back(position);
      neighbours.leftGaps.push_back(static_cast<float>(cx - x2 + 1));
    } else {
      neighbours.rightPositions.push_back(position);
      neighbours.rightGaps.push_back(static_cast<float>(x1 - cx + 1));
    }
  }
}

std::vector<int> mergeNeighbours(const int* seed, const FlatBoxList& boxes,
                                 const NeighbourSet& neighbours) {
  int gx1 = seed[0], gy1 = seed[1], gx2 = seed[2], gy2 = seed[3];
  auto merge = [&](int position) {
    gx1 = std::min(gx1, boxes[position]);
    gy1 = std::min(gy1, boxes[position + 1]);
    gx2 = std::max(gx2, boxes[position + 2]);
    gy2 = std::max(gy2, boxes[position + 3]);
  };
  for (int position : neighbours.leftPositions) merge(position);
  for (int position : neighbours.rightPositions) merge(position);
  return {gx1, gy1, gx2, gy2};
}

std::optional<cv::Rect> seedCandidate(const FlatBoxList& boxes, int position) {
  const int* seed = &boxes[position];
  NeighbourSet neighbours;
  collectNeighbours(boxes, neighbours, seed);
  if (neighbours.leftPositions.empty() || neighbours.rightPositions.empty()) return std::nullopt;
  const float gL = *std::min_element(neighbours.leftGaps.begin(), neighbours.leftGaps.end());
  const float gR = *std::min_element(neighbours.rightGaps.begin(), neighbours.rightGaps.end());
  const int sw = seed[2] - seed[0] + 1;
  if (std::fabs(gL - gR) > kGapAsymmetry * sw) return std::nullopt;
  const std::vector<int> g = mergeNeighbours(seed, boxes, neighbours);
  return cv::Rect(g[0], g[1], g[2] - g[0] + 1, g[3] - g[1] + 1);
}

std::vector<cv::Rect> formCandidates(const FlatBoxList& boxes) {
  std::vector<cv::Rect> candidates;
  for (int position = 0; position + 3 < static_cast<int>(boxes.size()); position += 4) {
    if (std::optional<cv::Rect> rect = seedCandidate(boxes, position)) candidates.push_back(*rect);
  }
  return candidates;
}

cv::Mat cropRegion(const cv::Mat& image, const cv::Rect& rect) {
  cv::Mat crop(rect.height, rect.width, image.type());
  image(rect).copyTo(crop);
  return crop;
}

int classifyCandidate(const cv::Rect& rect, cv::Mat& bandResult, const cv::Mat& bandImage,
                      const classifier::StumpCascade& model) {
  const cv::Mat crop = cropRegion(bandImage, rect);
  const cv::Mat features = computeFeatureVector(crop);
  const int decision = reference::evaluateStumpCascade(features, model);
  if (decision == 1) {
    for (int y = rect.y; y <= rect.y + rect.height - 1; ++y) {
      for (int x = rect.x; x <= rect.x + rect.width - 1; ++x) bandResult.at<uchar>(y, x) = 255;
    }
  }
  return decision;
}

cv::Mat classifyBand(const cv::Mat& bandImage, const FlatBoxList& boxes,
                     const classifier::StumpCascade& model) {
  cv::Mat bandResult(bandImage.rows, bandImage.cols, CV_8UC1, cv::Scalar(0));
  for (int position = 0; position + 3 < static_cast<int>(boxes.size()); position += 4) {
    if (std::optional<cv::Rect> rect = seedCandidate(boxes, position)) {
      classifyCandidate(*rect, bandResult, bandImage, model);
    }
  }
  return bandResult;
}

void textMaskRegions(const cv::Mat& textMask, FlatBoxList& boxes) {
  const int height = textMask.rows;
  const int width = textMask.cols;
  cv::Mat label(height, width, CV_32FC1);
  cv::Mat visited(height, width, CV_32FC1);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const uchar v = textMask.at<uchar>(y, x);
      label.at<float>(y, x) = v;
      visited.at<float>(y, x) = v == 0 ? 1.0f : 0.0f;
    }
  }
  float counter = 1.0f;
  for (;;) {
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        if (label.at<float>(y, x) != 0 && visited.at<float>(y, x) == 0) {
          cv::floodFill(label, cv::Point(x, y), cv::Scalar(counter), nullptr, cv::Scalar(0),
                        cv::Scalar(0), 4);
          cv::floodFill(visited, cv::Point(x, y), cv::Scalar(1.0), nullptr, cv::Scalar(0),
                        cv::Scalar(0), 4);
          counter = counter + 1.0f;
        }
      }
    }
    bool allVisited = true;
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) allVisited = allVisited && visited.at<float>(y, x) != 0;
    }
    if (allVisited) break;
  }
  const int n = static_cast<int>(counter - 1.0f);
  const size_t first = boxes.size();
  boxes.resize(first + 4 * static_cast<size_t>(n), 0);
  for (int i = 0; i < n; ++i) {
    int* box = &boxes[first + 4 * static_cast<size_t>(i)];
    box[0] = width - 1;
    box[1] = height - 1;
    box[2] = 0;
    box[3] = 0;
  }
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const int l = static_cast<int>(label.at<float>(y, x));
      if (l > 0) {
        int* box = &boxes[first + 4 * static_cast<size_t>(l - 1)];
        box[0] = std::min(box[0], x);
        box[1] = std::min(box[1], y);
        box[2] = std::max(box[2], x);
        box[3] = std::max(box[3], y);
      }
    }
  }
}

cv::Mat fillBoxMask(const FlatBoxList& boxes, int height, int width) {
  cv::Mat mask(height, width, CV_8UC1, cv::Scalar(0));
  for (size_t k = 0; k + 3 < boxes.size(); k += 4) {
    for (int y = boxes[k + 1]; y <= boxes[k + 3]; ++y) {
      for (int x = boxes[k]; x <= boxes[k + 2]; ++x) mask.at<uchar>(y, x) = 255;
    }
  }
  return mask;
}

void detectTextRegions(FlatBoxList& boxes, cv::Mat& textMask, cv::Mat& boxMask,
                       const cv::Mat& image, const cv::Mat& edges, const std::vector<int>& bands,
                       const classifier::StumpCascade& model) {
  const int height = image.rows;
  const int width = image.cols;
  textMask = cv::Mat(height, width, CV_8UC1, cv::Scalar(0));
  FlatBoxList components = contourBoxes(edges, width, height);
  filterComponentBoxes(components);
  splitBoxesAtBands(components, bands);
  const int n = static_cast<int>(bands.size());
  for (int i = 0; i <= n - 2; ++i) {
    const int top = bands[i];
    const int bottom = bands[i + 1] - 1;
    const int h = bottom - top + 1;
    cv::Mat bandImage(h, width, image.type(), cv::Scalar::all(0));
    image.rowRange(top, top + h).copyTo(bandImage);
    FlatBoxList bandList;
    for (size_t k = 0; k + 3 < components.size(); k += 4) {
      if (components[k + 1] >= top && components[k + 3] <= bottom) {
        bandList.insert(bandList.end(), {components[k], components[k + 1] - top, components[k + 2],
                                         components[k + 3] - top});
      }
    }
    const cv::Mat bandResult = classifyBand(bandImage, bandList, model);
    for (int r = 0; r < h; ++r) {
      for (int x = 0; x < width; ++x) textMask.at<uchar>(top + r, x) = bandResult.at<uchar>(r, x);
    }
  }
  textMaskRegions(textMask, boxes);
  boxMask = fillBoxMask(boxes, height, width);
}

}  // namespace scenetext::reference
