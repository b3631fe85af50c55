#include "regions/detection.hpp"

#include "regions/band_classification.hpp"
#include "regions/component_boxes.hpp"
#include "regions/final_regions.hpp"
#include "regions/row_bands.hpp"

namespace scenetext::regions {

BoxList bandBoxes(const BoxList& boxes, int top, int bottom) {
  BoxList band;
  for (const Box& box : boxes) {
    if (box.top >= top && box.bottom <= bottom) {
      band.push_back({box.left, box.top - top, box.right, box.bottom - top});
    }
  }
  return band;
}

void detectTextRegions(BoxList& boxes, cv::Mat& textMask, cv::Mat& boxMask, const cv::Mat& image,
                       const cv::Mat& edges, const BandBoundaryList& bands,
                       const classifier::StumpCascade& model) {
  const int height = image.rows;
  const int width = image.cols;
  textMask = cv::Mat::zeros(height, width, CV_8UC1);

  BoxList components = contourBoxes(edges, width, height);
  filterComponentBoxes(components);
  splitBoxesAtBands(components, bands);

  for (size_t i = 0; i + 1 < bands.size(); ++i) {
    const int top = bands[i];
    const int bottom = bands[i + 1] - 1;
    CV_Assert(0 <= top && top <= bottom && bottom < height);
    // A view of the band's rows: classification only crops candidate rectangles out of it, so
    // copying the whole band first would only cost time.
    const cv::Mat bandImage = image.rowRange(top, bottom + 1);
    const cv::Mat bandResult = classifyBand(bandImage, bandBoxes(components, top, bottom), model);
    // The band's rows are overwritten, not combined.
    bandResult.copyTo(textMask.rowRange(top, bottom + 1));
  }

  textMaskRegions(textMask, boxes);
  boxMask = fillBoxMask(boxes, height, width);
}

}  // namespace scenetext::regions
