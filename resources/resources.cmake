# The resource inputs of SETUP.exe beside resources/setup.rc: the manifest (a source file)
# and the icon, drawn at build time by mkicon (tools/mkicon) into the binary tree, so that no
# opaque image is kept in the sources. Included by the top CMakeLists.txt after the SETUP
# target; windres finds both files through SETUP's include directories.
set(SETUP_RESOURCE_DIR ${CMAKE_BINARY_DIR}/resources)
set(SETUP_ICON ${SETUP_RESOURCE_DIR}/setup.ico)

if(NATIVE_BUILD_DIR)
  # scripts/build makes the native tree first; its mkicon serves both Windows trees.
  set(SETUP_MKICON ${NATIVE_BUILD_DIR}/mkicon)
else()
  # A Windows tree configured on its own builds the generator with the host's compiler.
  find_program(SETUP_HOST_CXX NAMES c++ g++ clang++ REQUIRED)
  set(SETUP_MKICON ${SETUP_RESOURCE_DIR}/mkicon)
  add_custom_command(OUTPUT ${SETUP_MKICON}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${SETUP_RESOURCE_DIR}
    COMMAND ${SETUP_HOST_CXX} -std=c++17 -O2 -o ${SETUP_MKICON} ${CMAKE_SOURCE_DIR}/tools/mkicon/mkicon.cpp
    DEPENDS ${CMAKE_SOURCE_DIR}/tools/mkicon/mkicon.cpp
    COMMENT "Building mkicon with the host compiler")
endif()

add_custom_command(OUTPUT ${SETUP_ICON}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${SETUP_RESOURCE_DIR}
  COMMAND ${SETUP_MKICON} ${SETUP_ICON}
  DEPENDS ${SETUP_MKICON}
  COMMENT "Drawing SETUP's icon")
add_custom_target(setup_icon DEPENDS ${SETUP_ICON})
add_dependencies(SETUP setup_icon)
set_source_files_properties(${CMAKE_SOURCE_DIR}/resources/setup.rc PROPERTIES
  OBJECT_DEPENDS "${SETUP_ICON};${CMAKE_SOURCE_DIR}/resources/setup.manifest")
target_include_directories(SETUP PRIVATE ${SETUP_RESOURCE_DIR} ${CMAKE_SOURCE_DIR}/resources)
