#pragma once

// Readable GoogleTest failure messages for boxes: "(left, top, right, bottom)".

#include <ostream>

#include "common/box_list.hpp"

namespace scenetext {

inline void PrintTo(const Box& box, std::ostream* os) {
  *os << '(' << box.left << ", " << box.top << ", " << box.right << ", " << box.bottom << ')';
}

}  // namespace scenetext
