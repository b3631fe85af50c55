#pragma once

// The heap of a process that runs the detector once and exits. Its buffers are image-sized and
// short-lived; by default glibc maps each one over 128 KiB afresh, and the kernel then faults in
// and zeroes it 4 KiB at a time: on an 800x600 photo a third of the run's CPU time went to page
// faults. After prepareHeapForImages, buffers up to 32 MiB come from the heap, whose freed pages
// serve the next buffer, and the heap's first 64 MiB may be backed by 2 MiB pages where the system
// allows it (transparent huge pages "madvise" or "always").

#include <cstddef>

namespace scenetext {

// Call once, first thing in main. Costs nothing where unsupported (not glibc on Linux); the pages
// are only reserved, so peak memory grows by at most a huge page's rounding per buffer.
void prepareHeapForImages();

// How many bytes of the heap were marked for huge pages by the last call (0 where unsupported).
size_t hugePageHeapBytes();

}  // namespace scenetext
