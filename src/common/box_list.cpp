#include "common/box_list.hpp"

#include <algorithm>

namespace scenetext {

void compactBoxList(BoxList& boxes) { std::erase_if(boxes, isRemoved); }

}  // namespace scenetext
