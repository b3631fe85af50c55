# scenetext_precompiled_headers(): the precompiled headers that the libraries and the tests share.
# Each set is compiled once, in a target of its own, and reused by every target of its kind;
# reusing needs the same compile options and definitions, so each holder target gets those of its
# users. The headers are system and third-party ones only: a change to the project's own headers
# never rebuilds them. (The tools share theirs from the first tool: see scenetext_tool.)
function(scenetext_precompiled_headers)
  set(anchor ${PROJECT_BINARY_DIR}/precompiled_header_anchor.cpp)
  file(CONFIGURE OUTPUT ${anchor} CONTENT "// Compiled only to build a precompiled header.\n")

  scenetext_library_pch(scenetext_pch_library)

  if(SCENETEXT_BUILD_TESTS)
    # CLI11 stays out: its validators are objects that every file including it would construct.
    add_library(scenetext_pch_test OBJECT ${anchor})
    target_link_libraries(scenetext_pch_test PRIVATE GTest::gtest ${OpenCV_LIBS})
    scenetext_test_definitions(scenetext_pch_test)
    target_precompile_headers(scenetext_pch_test PRIVATE
      <gtest/gtest.h> <opencv2/core.hpp> <opencv2/imgproc.hpp> <opencv2/imgcodecs.hpp>
      <algorithm> <cmath> <cstdint> <filesystem> <functional> <string> <vector>)
  endif()
endfunction()

# scenetext_library_pch(HOLDER): a target holding the libraries' precompiled header. A library
# compiled with other code-generation options (position-independent code for the Python module)
# needs a holder of its own with the same options: GCC ignores a header built with others.
function(scenetext_library_pch holder)
  add_library(${holder} OBJECT ${PROJECT_BINARY_DIR}/precompiled_header_anchor.cpp)
  target_link_libraries(${holder} PRIVATE ${OpenCV_LIBS})
  target_precompile_headers(${holder} PRIVATE
    <opencv2/core.hpp> <opencv2/imgproc.hpp> <algorithm> <cmath> <cstdint> <string> <vector>)
endfunction()

# scenetext_library(NAME SOURCES ... DEPS ...): a static library of one subsystem.
function(scenetext_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  target_precompile_headers(${name} REUSE_FROM scenetext_pch_library)
endfunction()

function(scenetext_test_definitions target)
  target_compile_definitions(${target} PRIVATE SCENETEXT_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
                                               SCENETEXT_BINARY_DIR="${PROJECT_BINARY_DIR}")
endfunction()

# scenetext_test(NAME SOURCES ... DEPS ... LABELS LABEL [RUNS EXECUTABLE...] [CORPORA SUITE...]
#                [CLI_SUITES SUITE...]): a GoogleTest executable registered with ctest, one test per
# case, each labelled with LABEL (`ctest -L unit`). The labels in use:
#   unit         the libraries' own tests: the inner loop
#   cli          the built commands run as a user would (exit status, messages, files left behind)
#   equivalence  the library against the literal second reading, bit for bit
#   fuzz         every kept fuzz input replayed through its target
#   golden       the bundled models' boxes on pinned photos
#   tools        the tools' libraries and commands (evaluation, training, synthesis, batch)
# RUNS names the project's executables the test starts, so that they are built before it.
# CORPORA names parameterised suites ("Rows/BadInputMatrix") whose rows run together as one ctest:
# a row costs a process start otherwise, and a failing row is still named in the output.
# CLI_SUITES names suites of this executable that run a built command: they are labelled cli.
# Building the target tests-LABEL builds every test of that label and what it runs.
function(scenetext_test name)
  if(NOT SCENETEXT_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;RUNS;LABELS;CORPORA;CLI_SUITES" ${ARGN})
  list(LENGTH ARG_LABELS label_count)
  if(NOT label_count EQUAL 1)
    message(FATAL_ERROR "scenetext_test(${name}): LABELS takes one label")
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gtest_main)
  if(ARG_RUNS)
    add_dependencies(${name} ${ARG_RUNS})
  endif()
  scenetext_test_definitions(${name})
  target_precompile_headers(${name} REUSE_FROM scenetext_pch_test)

  set(labels ${ARG_LABELS})
  if(ARG_CLI_SUITES)
    list(APPEND labels cli)
  endif()
  foreach(label IN LISTS labels)
    if(NOT TARGET tests-${label})
      add_custom_target(tests-${label})
    endif()
    add_dependencies(tests-${label} ${name})
  endforeach()

  set(apart)
  foreach(corpus IN LISTS ARG_CORPORA)
    add_test(NAME ${corpus}.* COMMAND ${name} --gtest_filter=${corpus}.*)
    # A high cost starts it first in a parallel run, before its share of the cores is taken.
    set_tests_properties(${corpus}.* PROPERTIES LABELS "${ARG_LABELS}" TIMEOUT 600 COST 1000)
    list(APPEND apart ${corpus}.*)
  endforeach()
  set(cli)
  foreach(suite IN LISTS ARG_CLI_SUITES)
    list(APPEND cli ${suite}.*)
  endforeach()
  list(APPEND apart ${cli})
  set(filter)
  if(apart)
    list(JOIN apart ":" filter)
    set(filter TEST_FILTER -${filter})
  endif()
  gtest_discover_tests(${name} ${filter} DISCOVERY_TIMEOUT 120
                       PROPERTIES LABELS "${ARG_LABELS}" TIMEOUT 600)
  if(cli)
    list(JOIN cli ":" filter)
    gtest_discover_tests(${name} TEST_FILTER ${filter} DISCOVERY_TIMEOUT 120
                         PROPERTIES LABELS cli TIMEOUT 600)
  endif()
endfunction()

# scenetext_tool(NAME SOURCES ... DEPS ...): a command-line executable, a thin main over the libraries.
# SCENETEXT_VERSION, the project's version, is what its --version prints.
function(scenetext_tool name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS})
  target_compile_definitions(${name} PRIVATE SCENETEXT_VERSION="${PROJECT_VERSION}")
  # The first tool compiles the tools' precompiled header and the others reuse it. (A holder
  # target of its own would compile the objects that CLI11's header defines once more.)
  get_property(owner GLOBAL PROPERTY SCENETEXT_TOOL_PCH_OWNER)
  if(owner)
    target_precompile_headers(${name} REUSE_FROM ${owner})
  else()
    target_precompile_headers(${name} PRIVATE <CLI/CLI.hpp> <opencv2/core.hpp> <iostream> <string>)
    set_property(GLOBAL PROPERTY SCENETEXT_TOOL_PCH_OWNER ${name})
  endif()
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})
endfunction()
