# Small helpers shared by the subsystem CMakeLists files.

# vac_add_test(name SOURCES ... LIBS ...): one GoogleTest executable registered with CTest.
# Tests run with the offscreen Qt platform so they need no display.
function(vac_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;DEFINITIONS" ${ARGN})
  if(VAC_FUZZ)
    return()
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE ${T_DEFINITIONS})
  include(GoogleTest)
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;VAC_BUILD_DIR=${CMAKE_BINARY_DIR}")
endfunction()

# vac_add_fuzzer(name SOURCES ... LIBS ...): a libFuzzer target, built only in fuzz builds.
# Name it fuzz_<something>: scripts/fuzz runs every such executable for a bounded time.
function(vac_add_fuzzer name)
  cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
  if(NOT VAC_FUZZ)
    return()
  endif()
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

# Collects every CMakeLists.txt one level below the current folder, so each area owns its own file.
macro(vac_add_area_subdirectories)
  file(GLOB _vac_areas LIST_DIRECTORIES true ${CMAKE_CURRENT_SOURCE_DIR}/*)
  foreach(_area ${_vac_areas})
    if(IS_DIRECTORY ${_area} AND EXISTS ${_area}/CMakeLists.txt)
      add_subdirectory(${_area})
    endif()
  endforeach()
endmacro()

# vac_library(name SOURCES ... PUBLIC_LIBS ...): a static library of the listed sources that exist,
# with the repository root on its include path (includes are written "data/MemData.h").
function(vac_library name)
  cmake_parse_arguments(L "" "" "SOURCES;PUBLIC_LIBS" ${ARGN})
  set(existing)
  foreach(src ${L_SOURCES})
    if(IS_ABSOLUTE ${src})
      set(path ${src})
    else()
      set(path ${CMAKE_CURRENT_SOURCE_DIR}/${src})
    endif()
    if(EXISTS ${path})
      list(APPEND existing ${src})
    endif()
  endforeach()
  if(existing)
    add_library(${name} STATIC ${existing})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${L_PUBLIC_LIBS})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${L_PUBLIC_LIBS})
  endif()
endfunction()
