#include "common/instruction_sets.hpp"

namespace scenetext {

#ifdef SCENETEXT_X86_SIMD

bool haveAvx2() {
  static const bool avx2 = __builtin_cpu_supports("avx2");
  return avx2;
}

bool haveAvx2Fma() {
  static const bool avx2Fma = haveAvx2() && __builtin_cpu_supports("fma");
  return avx2Fma;
}

#else

bool haveAvx2() { return false; }
bool haveAvx2Fma() { return false; }

#endif

}  // namespace scenetext
