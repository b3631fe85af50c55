#pragma once

// The shared box vocabulary: the inclusive box of the detector and the box files, lists of boxes,
// and row bands.

#include <vector>

namespace scenetext {

// An axis-aligned rectangle with inclusive pixel bounds: it covers columns left..right and rows
// top..bottom, so a one-pixel box has left == right and top == bottom. The detector's boxes and
// the box files' boxes are both this type. Coordinates in a box list are never negative;
// (-1, -1, -1, -1) marks a box removed by a filter.
struct Box {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;

  friend bool operator==(const Box&, const Box&) = default;
};

// Boxes in list order. Filters never erase from the middle: they mark boxes removed and then
// compact the list once, keeping the order of the survivors, because later passes depend on it.
using BoxList = std::vector<Box>;

// Ascending row bounds; band i covers rows b[i] to b[i+1] - 1.
using BandBoundaryList = std::vector<int>;

inline constexpr Box kRemovedBox{-1, -1, -1, -1};

inline void markRemoved(Box& box) { box = kRemovedBox; }

inline bool isRemoved(const Box& box) { return box == kRemovedBox; }

// Drops every removed box in one pass, order preserved.
void compactBoxList(BoxList& boxes);

}  // namespace scenetext
