#pragma once

// The box files as the evaluation names them; io/box_files.hpp reads and writes them.

#include "io/box_files.hpp"

namespace scenetext::evaluation {

using io::Detection;
using io::WordBox;

using io::parseDetections;
using io::parseGroundTruth;
using io::parseScoredDetections;

}  // namespace scenetext::evaluation
