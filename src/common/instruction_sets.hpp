#pragma once

// Run-time checks for the vector instruction sets of the x86-64 kernels. The build targets the
// baseline processor; a kernel's intrinsics live in a file of their own (foo_avx2.cpp, compiled
// for that set only when SCENETEXT_X86_SIMD is defined) and run only after the matching check has
// passed. Every such kernel computes exactly what the plain loop beside its caller computes. In a
// build without the kernels (another processor, or SCENETEXT_SIMD=OFF) the checks answer false.

namespace scenetext {

// Whether this processor runs AVX2, and AVX2 with fused multiply-add (checked once).
bool haveAvx2();
bool haveAvx2Fma();

}  // namespace scenetext
