#include "regions/row_bands.hpp"

#include <cstddef>
#include <utility>

namespace scenetext::regions {
namespace {

// One bound: the crossing boxes are read from `boxes` as it stood before this bound, while the
// pieces go to the end of the work list, so a lower piece is not cut twice at the same bound.
void splitAtBound(BoxList& boxes, int bound) {
  BoxList work = boxes;
  for (std::size_t i = 0; i < boxes.size(); ++i) {
    const Box box = boxes[i];
    if (box.top < bound && box.bottom >= bound) {
      work.push_back({box.left, box.top, box.right, bound - 1});
      work.push_back({box.left, bound, box.right, box.bottom});
      markRemoved(work[i]);
    }
  }
  compactBoxList(work);
  boxes = std::move(work);
}

}  // namespace

void splitBoxesAtBands(BoxList& boxes, const BandBoundaryList& bands) {
  // The first and last bounds only delimit the covered rows; nothing is cut there.
  for (std::size_t li = 1; li + 1 < bands.size(); ++li) splitAtBound(boxes, bands[li]);
}

}  // namespace scenetext::regions
