#pragma once

// Run-time checks for the vector instruction sets the kernels use, and markers around code
// compiled for them. The build targets the baseline x86-64 processor; a kernel between
// SCENETEXT_BEGIN_AVX (or _AVX2, _AVX2_FMA) and SCENETEXT_END_TARGET is compiled for that set and
// runs only after the matching check has passed. Every such kernel computes exactly what its
// plain counterpart computes.

namespace scenetext {

// Whether this processor runs AVX, AVX2, and AVX2 with fused multiply-add (checked once).
bool haveAvx();
bool haveAvx2();
bool haveAvx2Fma();

}  // namespace scenetext

#if defined(__clang__)
#define SCENETEXT_BEGIN_AVX \
  _Pragma("clang attribute push(__attribute__((target(\"avx\"))), apply_to = function)")
#define SCENETEXT_BEGIN_AVX2 \
  _Pragma("clang attribute push(__attribute__((target(\"avx2\"))), apply_to = function)")
#define SCENETEXT_BEGIN_AVX2_FMA \
  _Pragma("clang attribute push(__attribute__((target(\"avx2,fma\"))), apply_to = function)")
#define SCENETEXT_END_TARGET _Pragma("clang attribute pop")
#else
#define SCENETEXT_BEGIN_AVX _Pragma("GCC push_options") _Pragma("GCC target(\"avx\")")
#define SCENETEXT_BEGIN_AVX2 _Pragma("GCC push_options") _Pragma("GCC target(\"avx2\")")
#define SCENETEXT_BEGIN_AVX2_FMA _Pragma("GCC push_options") _Pragma("GCC target(\"avx2,fma\")")
#define SCENETEXT_END_TARGET _Pragma("GCC pop_options")
#endif
