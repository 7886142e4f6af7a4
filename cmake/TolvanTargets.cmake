# Every library and test program compiles its sources in batches of eight (a
# unity build): the toolkit's headers, which most of a file's compile time goes
# to, are read once a batch instead of once a file. That cuts the processor
# time of a build to about a third, and eight sources a batch still keep every
# core busy. Names private to a source file must therefore differ between the
# files of one folder.
option(TOLVAN_UNITY_BUILD "Compile each library's and test program's sources in batches" ON)
set(TOLVAN_BATCH_SIZE 8)
# A batch includes its files into one source, so GCC takes each for a header
# and warns of every type kept in an anonymous namespace that another uses.
if(TOLVAN_UNITY_BUILD AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  add_compile_options(-Wno-subobject-linkage)
endif()

# tolvan_sources_in_batches(TARGET)
function(tolvan_sources_in_batches name)
  set_target_properties(${name} PROPERTIES UNITY_BUILD ${TOLVAN_UNITY_BUILD}
                                           UNITY_BUILD_BATCH_SIZE ${TOLVAN_BATCH_SIZE})
endfunction()

# tolvan_library(NAME SOURCES ... [QT] [DEPS ...])
# One static library per folder; the folder's parent directory is the include
# root, so code includes "platform/foundation/UserDefaults.h" and the like.
function(tolvan_library name)
  cmake_parse_arguments(ARG "QT" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  tolvan_sources_in_batches(${name})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  if(ARG_QT)
    set_target_properties(${name} PROPERTIES AUTOMOC ON)
  endif()
endfunction()

# tolvan_test(NAME SOURCES ... DEPS ...)
# One test executable per test folder; every case runs through CTest with the
# offscreen platform and the source tree's resources.
function(tolvan_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  set_target_properties(${name} PROPERTIES AUTOMOC ON)
  tolvan_sources_in_batches(${name})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} tolvan_test_support GTest::gtest GTest::gmock)
  target_precompile_headers(${name} REUSE_FROM tolvan_test_support)
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;TOLVAN_AUDIO_OUTPUT=null;TOLVAN_RESOURCES=${CMAKE_SOURCE_DIR}/resources"
               TIMEOUT 300)
endfunction()
include(GoogleTest)
