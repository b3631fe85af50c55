#include "straightforward/thinning.hpp"

#include "edges/thinning.hpp"

namespace scenetext::edges {

void thinEdges(cv::Mat& t) {
  CV_Assert(t.type() == CV_32FC1);
  cv::Mat bytes = t >= 0.5f;  // 255 or 0; NaN compares false
  thinEdgeBytes(bytes);
  for (int r = 0; r < t.rows; ++r) {
    for (int c = 0; c < t.cols; ++c) t.at<float>(r, c) = bytes.at<uchar>(r, c) ? 1.0f : 0.0f;
  }
}

}  // namespace scenetext::edges
