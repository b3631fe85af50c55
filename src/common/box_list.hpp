#pragma once

// The shared box vocabulary of the detector: component boxes, lists of them, and row bands.

#include <vector>

namespace scenetext {

// An axis-aligned rectangle with inclusive pixel bounds: a one-pixel box has xmin == xmax and
// ymin == ymax. Coordinates are never negative; (-1, -1, -1, -1) marks a box removed by a filter.
struct ComponentBox {
  int xmin = 0;
  int ymin = 0;
  int xmax = 0;
  int ymax = 0;

  friend bool operator==(const ComponentBox&, const ComponentBox&) = default;
};

// Boxes in list order. Filters never erase from the middle: they mark boxes removed and then
// compact the list once, keeping the order of the survivors, because later passes depend on it.
using BoxList = std::vector<ComponentBox>;

// Ascending row bounds; band i covers rows b[i] to b[i+1] - 1.
using BandBoundaryList = std::vector<int>;

inline constexpr ComponentBox kRemovedBox{-1, -1, -1, -1};

inline void markRemoved(ComponentBox& box) { box = kRemovedBox; }

inline bool isRemoved(const ComponentBox& box) { return box == kRemovedBox; }

// Drops every removed box in one pass, order preserved.
void compactBoxList(BoxList& boxes);

}  // namespace scenetext
