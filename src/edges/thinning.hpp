#pragma once

// Thinning of edge regions to one-pixel, 8-connected lines (Guo and Hall's two-sub-iteration
// parallel thinning, repeated until a full iteration clears nothing).

#include <opencv2/core.hpp>

namespace scenetext::edges {

// Thins an 8-bit EdgeMap in place: a non-zero pixel is foreground; on output a kept pixel is 255
// and every other 0. Pixels on the outer rows and columns are thinned like any other: beyond the
// matrix everything is background. Examples: a 2x2 block keeps its lower-left pixel, a 3x3 block
// its centre, a 3x7 bar the five inner pixels of its middle row; one-pixel lines and isolated
// pixels are unchanged.
void thinEdgeBytes(cv::Mat& edges);

}  // namespace scenetext::edges
