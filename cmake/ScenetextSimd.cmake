# The x86-64 vector kernels. With SCENETEXT_SIMD on an x86-64 target every foo_avx2.cpp is
# compiled for AVX2 (its own flags only; the rest of the build stays on the baseline processor)
# and SCENETEXT_X86_SIMD is defined for the libraries that hold kernels, so their callers dispatch
# to the kernels after a run-time check. Otherwise only the plain loops are built, which give the
# same bytes on any processor. Only those libraries (and the CPU check in scenetext_common) see
# the definition, so the rest of the build is the same either way.
if(SCENETEXT_SIMD AND CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64|x64)$")
  set(SCENETEXT_X86_SIMD ON)
  message(STATUS "scenetext: x86-64 AVX2 kernels on (chosen at run time)")
else()
  set(SCENETEXT_X86_SIMD OFF)
  message(STATUS "scenetext: plain loops only")
endif()

# scenetext_avx2_sources(TARGET [FMA] SOURCES...): adds the AVX2 kernel files of a library when
# the kernels are built; FMA also allows fused multiply-add instructions (written as intrinsics
# only: -ffp-contract=off still keeps the compiler from fusing anything itself).
function(scenetext_avx2_sources target)
  cmake_parse_arguments(ARG "FMA" "" "" ${ARGN})
  if(NOT SCENETEXT_X86_SIMD)
    return()
  endif()
  set(flags -mavx2)
  if(ARG_FMA)
    list(APPEND flags -mfma)
  endif()
  target_sources(${target} PRIVATE ${ARG_UNPARSED_ARGUMENTS})
  target_compile_definitions(${target} PRIVATE SCENETEXT_X86_SIMD)
  # A precompiled header built without the instruction-set flags does not fit these files.
  set_source_files_properties(${ARG_UNPARSED_ARGUMENTS} PROPERTIES COMPILE_OPTIONS "${flags}"
                              SKIP_PRECOMPILE_HEADERS ON)
endfunction()
