#pragma once

// Row bands: the image is classified band by band, so no component box may cross a band bound.

#include "common/box_list.hpp"

namespace scenetext::regions {

// Cuts every box of `boxes` that crosses an interior bound b (top < b <= bottom) of `bands`
// (ascending row bounds b[0] < ... < b[n-1]; the interior ones are b[1] ... b[n-2]) into an upper
// piece ending at row b - 1 and a lower piece starting at row b. Bounds are taken in list order;
// for each one the crossing boxes leave their place and their pieces go to the end of the list,
// upper piece first, so a box crossing several bounds is cut again at the next one. Boxes that
// cross nothing keep their order. With fewer than three bounds nothing changes. Pieces are not
// filtered again and may be a single row high.
void splitBoxesAtBands(BoxList& boxes, const BandBoundaryList& bands);

}  // namespace scenetext::regions
