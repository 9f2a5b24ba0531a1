# Adds every folder below `root` that has a CMakeLists.txt, shallowest first.
function(tw_add_subdirs_with_cmake root)
  file(GLOB_RECURSE lists RELATIVE ${CMAKE_CURRENT_SOURCE_DIR}/${root}
       CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${root}/*CMakeLists.txt)
  list(SORT lists)
  foreach(list_file IN LISTS lists)
    get_filename_component(dir ${list_file} DIRECTORY)
    if(NOT dir STREQUAL "")
      add_subdirectory(${root}/${dir})
    endif()
  endforeach()
endfunction()

# Where tests leave screenshots and files worth a look: a folder of the build unless the
# environment names one at the first configure.
if(DEFINED ENV{TW_TEST_OUTPUT_DIR} AND NOT "$ENV{TW_TEST_OUTPUT_DIR}" STREQUAL "")
  set(tw_test_output_default "$ENV{TW_TEST_OUTPUT_DIR}")
else()
  set(tw_test_output_default "${CMAKE_BINARY_DIR}/test-output")
endif()
set(TW_TEST_OUTPUT_DIR "${tw_test_output_default}" CACHE PATH "Where tests leave screenshots and files worth a look")

# tw_add_test(<name> SOURCES ... LIBS ... [QT])
# One GoogleTest program per folder of tests; registered as one CTest test.
# QT: the program needs a Qt platform; it runs with QT_QPA_PLATFORM=offscreen.
function(tw_add_test name)
  cmake_parse_arguments(ARG "QT" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock)
  if(NOT ARG_QT)
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  endif()
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;TW_RESOURCE_DIR=${TW_RESOURCE_DIR};TW_TEST_OUTPUT_DIR=${TW_TEST_OUTPUT_DIR}"
    TIMEOUT 600)
endfunction()

# tw_add_bench(<name> SOURCES ... LIBS ...)
function(tw_add_bench name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} benchmark::benchmark)
endfunction()

# tw_add_fuzzer(<name> SOURCES ... LIBS ...)
function(tw_add_fuzzer name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
endfunction()
