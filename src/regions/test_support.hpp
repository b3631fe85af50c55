#pragma once

// Readable GoogleTest failure messages for boxes: "(xmin, ymin, xmax, ymax)".

#include <ostream>

#include "common/box_list.hpp"

namespace scenetext {

inline void PrintTo(const ComponentBox& box, std::ostream* os) {
  *os << '(' << box.xmin << ", " << box.ymin << ", " << box.xmax << ", " << box.ymax << ')';
}

}  // namespace scenetext
