# Helpers that keep each folder's CMakeLists.txt to one line.

# orin_library(<name> [DEPS <targets>...]): a static library orin_<name> from
# every .cc file in the calling folder. Headers are included as "<folder>/x.h"
# relative to src/.
function(orin_library name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cc)
  if(srcs)
    add_library(orin_${name} STATIC ${srcs})
    target_include_directories(orin_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(orin_${name} PUBLIC ${ARG_DEPS})
  else()
    add_library(orin_${name} INTERFACE)
    target_include_directories(orin_${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(orin_${name} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# orin_tests(<name> [DEPS <targets>...]): one GoogleTest program <name>_tests
# from every *_test.cc in the calling folder, registered with CTest under the
# label "unit".
function(orin_tests name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cc)
  if(NOT srcs)
    return()
  endif()
  add_executable(${name}_tests ${srcs})
  target_include_directories(${name}_tests PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name}_tests PRIVATE ${ARG_DEPS} GTest::gtest GTest::gtest_main)
  target_compile_definitions(${name}_tests PRIVATE
    ORIN_SOURCE_DIR="${PROJECT_SOURCE_DIR}" ORIN_BINARY_DIR="${PROJECT_BINARY_DIR}")
  gtest_discover_tests(${name}_tests PROPERTIES LABELS unit DISCOVERY_TIMEOUT 60)
endfunction()
