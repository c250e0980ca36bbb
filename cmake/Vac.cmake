# Small helpers shared by the subsystem CMakeLists files.

# vac_add_test(name SOURCES ... LIBS ...): one GoogleTest executable registered with CTest.
# Tests run with the offscreen Qt platform so they need no display.
function(vac_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;DEFINITIONS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE ${T_DEFINITIONS})
  include(GoogleTest)
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;VAC_BUILD_DIR=${CMAKE_BINARY_DIR}")
endfunction()

# vac_add_test_as_user(name TARGET test FILTER pattern): runs the GoogleTest cases of `test` that
# `pattern` selects as an ordinary user ("nobody" when CTest runs as root), for what only a
# permission can refuse. Those cases skip themselves under root; here a skip, a failure or no case
# run at all fails the test.
function(vac_add_test_as_user name)
  cmake_parse_arguments(U "" "TARGET;FILTER" "" ${ARGN})
  add_test(NAME ${name}
    COMMAND ${PROJECT_SOURCE_DIR}/tests/support/as_ordinary_user.sh $<TARGET_FILE:${U_TARGET}> --gtest_filter=${U_FILTER})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;VAC_BUILD_DIR=${CMAKE_BINARY_DIR}"
    PASS_REGULAR_EXPRESSION "\\[  PASSED  \\] [1-9][0-9]* tests?\\."
    FAIL_REGULAR_EXPRESSION "\\[  SKIPPED \\]|\\[  FAILED  \\]")
endfunction()

# vac_add_fuzzer(name SOURCES ... LIBS ...): a libFuzzer target; tests/fuzz is the one place that
# adds them, and only fuzz builds read it. Name it fuzz_<something>: scripts/fuzz runs every such
# executable for a bounded time.
function(vac_add_fuzzer name)
  cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${F_SOURCES})
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
endfunction()

# vac_add_benchmark(name SOURCES ... LIBS ...): a Google Benchmark executable run by scripts/bench.
function(vac_add_benchmark name)
  cmake_parse_arguments(B "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${B_SOURCES})
  target_link_libraries(${name} PRIVATE ${B_LIBS} benchmark::benchmark)
  set_property(GLOBAL APPEND PROPERTY VAC_BENCHMARKS ${name})
endfunction()

# Collects every CMakeLists.txt one level below the current folder, so each area owns its own file;
# the folders named after EXCEPT are left out.
macro(vac_add_area_subdirectories)
  cmake_parse_arguments(_vac_area_args "" "" "EXCEPT" ${ARGN})
  file(GLOB _vac_areas LIST_DIRECTORIES true ${CMAKE_CURRENT_SOURCE_DIR}/*)
  foreach(_area ${_vac_areas})
    get_filename_component(_area_name ${_area} NAME)
    if(IS_DIRECTORY ${_area} AND EXISTS ${_area}/CMakeLists.txt AND NOT _area_name IN_LIST _vac_area_args_EXCEPT)
      add_subdirectory(${_area})
    endif()
  endforeach()
endmacro()

# vac_library(name SOURCES ... PUBLIC_LIBS ...): a static library of the listed sources, with the
# repository root on its include path (includes are written "data/MemData.h"). A listed source that
# does not exist stops the configuration: a typo must not silently drop a unit from the build.
function(vac_library name)
  cmake_parse_arguments(L "" "" "SOURCES;PUBLIC_LIBS" ${ARGN})
  if(NOT L_SOURCES)
    message(FATAL_ERROR "vac_library(${name}): no SOURCES")
  endif()
  foreach(src ${L_SOURCES})
    cmake_path(ABSOLUTE_PATH src BASE_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR} OUTPUT_VARIABLE path)
    if(NOT EXISTS ${path})
      message(FATAL_ERROR "vac_library(${name}): source ${src} does not exist")
    endif()
  endforeach()
  add_library(${name} STATIC ${L_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${L_PUBLIC_LIBS})
endfunction()
