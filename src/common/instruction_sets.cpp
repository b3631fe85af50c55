#include "common/instruction_sets.hpp"

namespace scenetext {

bool haveAvx() {
  static const bool avx = __builtin_cpu_supports("avx");
  return avx;
}

bool haveAvx2() {
  static const bool avx2 = __builtin_cpu_supports("avx2");
  return avx2;
}

bool haveAvx2Fma() {
  static const bool avx2Fma = haveAvx2() && __builtin_cpu_supports("fma");
  return avx2Fma;
}

}  // namespace scenetext
