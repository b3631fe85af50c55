#include "common/process_heap.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

namespace scenetext {
namespace {

// The VmFlags line of the mapping of /proc/self/smaps that holds `address`. (Unused where the heap
// is not advised: under AddressSanitizer, or without glibc.)
[[maybe_unused]] std::string flagsOfMapping(const void* address) {
  const uintptr_t at = reinterpret_cast<uintptr_t>(address);
  std::ifstream smaps("/proc/self/smaps");
  bool inside = false;
  for (std::string line; std::getline(smaps, line);) {
    uintptr_t start = 0, end = 0;
    char dash = 0;
    std::istringstream range(line);
    if (range >> std::hex >> start >> dash >> end && dash == '-') inside = start <= at && at < end;
    if (inside && line.starts_with("VmFlags:")) return line;
  }
  return {};
}

TEST(ProcessHeap, ImageBuffersComeFromTheAdvisedHeap) {
  prepareHeapForImages();
#if defined(__GLIBC__) && defined(__linux__) && !defined(__SANITIZE_ADDRESS__)
  ASSERT_GE(hugePageHeapBytes(), size_t{32} << 20);
  // A buffer of a 2-megapixel float map: from the heap, in the part advised for huge pages.
  void* buffer = std::malloc(8 << 20);
  ASSERT_NE(buffer, nullptr);
  std::memset(buffer, 1, 8 << 20);
  EXPECT_NE(flagsOfMapping(static_cast<char*>(buffer) + (4 << 20)).find(" hg"), std::string::npos)
      << flagsOfMapping(buffer);
  std::free(buffer);
#else
  EXPECT_EQ(hugePageHeapBytes(), 0u);
#endif
}

}  // namespace
}  // namespace scenetext
