# scenetext_library(NAME SOURCES ... DEPS ...): a static library of one subsystem.
function(scenetext_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
endfunction()

# scenetext_test(NAME SOURCES ... DEPS ... [RUNS EXECUTABLE...]): a GoogleTest executable registered
# with ctest; RUNS names the project's executables it starts, so they are built before it.
function(scenetext_test name)
  if(NOT SCENETEXT_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;RUNS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gtest_main)
  if(ARG_RUNS)
    add_dependencies(${name} ${ARG_RUNS})
  endif()
  target_compile_definitions(${name} PRIVATE SCENETEXT_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
                                             SCENETEXT_BINARY_DIR="${PROJECT_BINARY_DIR}")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 120 PROPERTIES TIMEOUT 600)
endfunction()

# scenetext_tool(NAME SOURCES ... DEPS ...): a command-line executable, a thin main over the libraries.
# SCENETEXT_VERSION, the project's version, is what its --version prints.
function(scenetext_tool name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS})
  target_compile_definitions(${name} PRIVATE SCENETEXT_VERSION="${PROJECT_VERSION}")
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})
endfunction()
