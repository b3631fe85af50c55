// libFuzzer target: any bytes as an image file, then the whole detection (see
// hardening/fuzz_entries.hpp).

#include <cstddef>
#include <cstdint>

#include "hardening/fuzz_entries.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  scenetext::hardening::fuzzImageRun({reinterpret_cast<const char*>(data), size});
  return 0;
}
