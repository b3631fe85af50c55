#include "common/process_heap.hpp"

#include <cstdint>
#include <cstdlib>

// AddressSanitizer brings its own allocator, which glibc's settings do not reach.
#if defined(__GLIBC__) && defined(__linux__) && !defined(__SANITIZE_ADDRESS__)
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>
#define SCENETEXT_TUNE_HEAP 1
#endif

namespace scenetext {
namespace {

size_t markedBytes = 0;

#ifdef SCENETEXT_TUNE_HEAP
// Buffers up to this size come from the heap: a 16-megapixel float map is 64 MiB, but the maps of
// a photo up to about 8 megapixels fit, which is what runs one photo at a time are used for.
constexpr int kMmapThreshold = 32 << 20;
// The heap grows by this much more than asked, so that its new part is one region to advise...
constexpr int kTopPad = 64 << 20;
// ... and a freed top is kept up to this size, so that the region stays for the next buffers.
constexpr int kTrimThreshold = 128 << 20;
constexpr uintptr_t kHugePage = 2 << 20;
#endif

}  // namespace

void prepareHeapForImages() {
#ifdef SCENETEXT_TUNE_HEAP
  mallopt(M_MMAP_THRESHOLD, kMmapThreshold);
  mallopt(M_TRIM_THRESHOLD, kTrimThreshold);
  mallopt(M_TOP_PAD, kTopPad);
  const uintptr_t before = reinterpret_cast<uintptr_t>(sbrk(0));
  // A block just under the mapping threshold cannot fit in the heap's free top: the heap grows by
  // it and the pad, about 95 MiB of address space, which the block's release leaves in place.
  void* volatile block = std::malloc(kMmapThreshold - (1 << 20));  // volatile: kept by the compiler
  std::free(block);
  const uintptr_t after = reinterpret_cast<uintptr_t>(sbrk(0));
  // Only whole huge pages can be backed by them; the region is not touched, so nothing is
  // allocated until a buffer uses it.
  const uintptr_t start = (before + kHugePage - 1) & ~(kHugePage - 1);
  const uintptr_t end = after & ~(kHugePage - 1);
  markedBytes = 0;
  if (end > start &&
      // An address the heap already owns, rounded to page bounds: no pointer to derive it from.
      madvise(reinterpret_cast<void*>(start), end - start,  // NOLINT(performance-no-int-to-ptr)
              MADV_HUGEPAGE) == 0) {
    markedBytes = end - start;
  }
#endif
}

size_t hugePageHeapBytes() { return markedBytes; }

}  // namespace scenetext
