#pragma once

// The order in which the integral images take their rows: after row 0, groups of up to eight
// rows side by side (integral_image.cpp and its AVX2 kernel).

namespace scenetext::features {

// Within a row every entry waits for its left neighbour (a chain of conversions, three additions
// and a rounding), but the rows of a group are independent once the row above is complete. So a
// group runs its rows side by side, row y0 + r at column t - r in step t, each one column behind
// the row above it, and the processor overlaps their chains.
constexpr int kRowGroup = 8;

// Calls group<R>(y0) for row groups of kRowGroup rows from row 1, and one smaller group for the
// rows left over (7 of the 47 below row 0 of a 48-row map).
template <typename Group>
void forRowGroups(int rows, const Group& group) {
  int y0 = 1;
  for (; y0 + kRowGroup <= rows; y0 += kRowGroup) group.template operator()<kRowGroup>(y0);
  switch (rows - y0) {
    case 0:
      break;
    case 1:
      group.template operator()<1>(y0);
      break;
    case 2:
      group.template operator()<2>(y0);
      break;
    case 3:
      group.template operator()<3>(y0);
      break;
    case 4:
      group.template operator()<4>(y0);
      break;
    case 5:
      group.template operator()<5>(y0);
      break;
    case 6:
      group.template operator()<6>(y0);
      break;
    default:
      group.template operator()<7>(y0);
      break;
  }
}

}  // namespace scenetext::features
