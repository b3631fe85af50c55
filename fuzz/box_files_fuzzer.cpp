// libFuzzer target: any bytes as a ground-truth file and a detection file (see
// hardening/fuzz_entries.hpp).

#include <cstddef>
#include <cstdint>

#include "hardening/fuzz_entries.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  scenetext::hardening::fuzzBoxFiles({reinterpret_cast<const char*>(data), size});
  return 0;
}
