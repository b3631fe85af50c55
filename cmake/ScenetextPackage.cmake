# The installed face of scenetext: one static library (every subsystem's objects and the public
# header's implementation), the header, the bundled models, the commands, a CMake package
# (find_package(scenetext CONFIG REQUIRED) gives scenetext::scenetext) and scenetext.pc.

include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# scenetext_linked_subsystems(OUT TARGET): TARGET and every scenetext_* library it links,
# directly or not, each once.
function(scenetext_linked_subsystems out target)
  set(found "")
  set(pending ${target})
  while(pending)
    list(POP_FRONT pending current)
    if(current IN_LIST found)
      continue()
    endif()
    list(APPEND found ${current})
    get_target_property(links ${current} LINK_LIBRARIES)
    foreach(link IN LISTS links)
      if(TARGET ${link} AND link MATCHES "^scenetext_")
        list(APPEND pending ${link})
      endif()
    endforeach()
  endwhile()
  set(${out} ${found} PARENT_SCOPE)
endfunction()

# scenetext_public_library(NAME SOURCES ... OVER TARGET): the library embedders link, built from
# SOURCES and the objects of TARGET and of every subsystem under it, so that an install holds one
# archive. Exported as scenetext::scenetext, output name libscenetext.a.
function(scenetext_public_library name)
  cmake_parse_arguments(ARG "" "OVER" "SOURCES" ${ARGN})
  scenetext_linked_subsystems(subsystems ${ARG_OVER})
  set(objects "")
  foreach(subsystem IN LISTS subsystems)
    list(APPEND objects $<TARGET_OBJECTS:${subsystem}>)
  endforeach()
  add_library(${name} STATIC ${ARG_SOURCES} ${objects})
  add_library(scenetext::scenetext ALIAS ${name})
  set_target_properties(${name} PROPERTIES OUTPUT_NAME scenetext EXPORT_NAME scenetext)
  target_include_directories(${name}
    PUBLIC $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
           $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>
    PRIVATE ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC opencv_core opencv_imgproc opencv_imgcodecs JPEG::JPEG PNG::PNG
                                        ${CMAKE_DL_LIBS} Threads::Threads)
  target_compile_features(${name} PUBLIC cxx_std_17)
endfunction()

# scenetext_install(LIBRARY TARGET COMMANDS ...): the install rules and the package files.
function(scenetext_install)
  cmake_parse_arguments(ARG "" "LIBRARY" "COMMANDS" ${ARGN})
  set(packageDir ${CMAKE_INSTALL_LIBDIR}/cmake/scenetext)
  install(TARGETS ${ARG_LIBRARY} EXPORT scenetextTargets
          ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/scenetext
          DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/models/default.model ${PROJECT_SOURCE_DIR}/models/extended.model
          DESTINATION ${CMAKE_INSTALL_DATADIR}/scenetext)
  # Formats other than JPEG and PNG are read through this plugin, found in lib/scenetext.
  install(TARGETS scenetext_opencv_codecs LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/scenetext)
  foreach(command IN LISTS ARG_COMMANDS)
    if(TARGET ${command})
      install(TARGETS ${command} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    endif()
  endforeach()
  install(EXPORT scenetextTargets NAMESPACE scenetext:: DESTINATION ${packageDir})
  configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/scenetextConfig.cmake.in
    ${PROJECT_BINARY_DIR}/scenetextConfig.cmake INSTALL_DESTINATION ${packageDir}
    PATH_VARS CMAKE_INSTALL_DATADIR)
  write_basic_package_version_file(${PROJECT_BINARY_DIR}/scenetextConfigVersion.cmake
    COMPATIBILITY SameMinorVersion)
  install(FILES ${PROJECT_BINARY_DIR}/scenetextConfig.cmake
                ${PROJECT_BINARY_DIR}/scenetextConfigVersion.cmake
          DESTINATION ${packageDir})
  # Relative to the .pc file, so that the install prefix may be chosen at install time.
  file(RELATIVE_PATH SCENETEXT_PC_TO_PREFIX /root/${CMAKE_INSTALL_LIBDIR}/pkgconfig /root)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/scenetext.pc.in ${PROJECT_BINARY_DIR}/scenetext.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/scenetext.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endfunction()
