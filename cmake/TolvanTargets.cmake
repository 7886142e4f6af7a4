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

# How CTest runs a test program. By default each test is a CTest test of its
# own, run in a process of its own, as the program lists them. A build whose
# processes start slowly (the sanitizer builds load and check every shared
# library, so start-up outweighs most tests) may set TOLVAN_TEST_SHARDS: each
# program then runs as that many processes, each a share of its tests
# (GoogleTest's shards), and as many again for each label its suites carry.
set(TOLVAN_TEST_SHARDS 0 CACHE STRING "Processes per test program; 0 runs each test in a process of its own")

# tolvan_test(NAME SOURCES ... DEPS ... [LABELS ...] [ONE_TEST_PER_PROCESS])
# One test executable per test folder; every case runs through CTest with the
# offscreen platform and the source tree's resources. LABELS are CTest labels
# for all of the program's tests; tolvan_label_suites labels single suites.
# ONE_TEST_PER_PROCESS: the program's tests cannot share a process (shards
# never apply to it).
function(tolvan_test name)
  cmake_parse_arguments(ARG "ONE_TEST_PER_PROCESS" "" "SOURCES;DEPS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  set_target_properties(${name} PROPERTIES AUTOMOC ON)
  tolvan_sources_in_batches(${name})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} tolvan_test_support GTest::gtest GTest::gmock)
  target_precompile_headers(${name} REUSE_FROM tolvan_test_support)
  set(once)
  if(ARG_ONE_TEST_PER_PROCESS)
    set(once ONE_TEST_PER_PROCESS)
  endif()
  tolvan_test_runs(${name} ${once} LABELS ${ARG_LABELS} ENVIRONMENT
    QT_QPA_PLATFORM=offscreen TOLVAN_AUDIO_OUTPUT=null TOLVAN_RESOURCES=${CMAKE_SOURCE_DIR}/resources)
endfunction()

# tolvan_label_suites(PROGRAM LABEL SUITE...)
# Gives the named suites of a test program a CTest label, e.g. `threads` for
# the suites the ThreadSanitizer run takes or `crashes` for those that crash a
# process on purpose. A parameterised suite is named with its prefix
# ("Files/UnreadableLibrary").
function(tolvan_label_suites name label)
  set_property(TARGET ${name} APPEND PROPERTY TOLVAN_SUITE_LABELS ${label})
  set_property(TARGET ${name} APPEND PROPERTY TOLVAN_SUITES_${label} ${ARGN})
  _tolvan_program_holds(${name} ${label})
endfunction()

# tolvan_test_runs(PROGRAM [ONE_TEST_PER_PROCESS] [LABELS ...] [ENVIRONMENT ...])
# Registers a GoogleTest program's tests with CTest once its folder has been
# read, so that tolvan_label_suites may follow the declaration.
function(tolvan_test_runs name)
  cmake_parse_arguments(ARG "ONE_TEST_PER_PROCESS" "" "LABELS;ENVIRONMENT" ${ARGN})
  set_target_properties(${name} PROPERTIES TOLVAN_TEST_LABELS "${ARG_LABELS}"
    TOLVAN_TEST_ENVIRONMENT "${ARG_ENVIRONMENT}" TOLVAN_ONE_TEST_PER_PROCESS "${ARG_ONE_TEST_PER_PROCESS}")
  foreach(label IN LISTS ARG_LABELS)
    _tolvan_program_holds(${name} ${label})
  endforeach()
  set_property(GLOBAL APPEND PROPERTY TOLVAN_TEST_PROGRAMS ${name})
  # A deferred call reads its arguments when it runs: the name goes in now.
  cmake_language(EVAL CODE "cmake_language(DEFER CALL _tolvan_add_program_tests [[${name}]])")
endfunction()

# Each label has a target that builds the programs holding tests so labelled
# (tolvan_tests_threads, tolvan_tests_crashes, ...), so a run of one label
# builds only those; tolvan_tests builds every program that CTest runs.
function(_tolvan_program_holds name label)
  set_property(GLOBAL APPEND PROPERTY TOLVAN_LABELS ${label})
  set_property(GLOBAL APPEND PROPERTY TOLVAN_PROGRAMS_LABELLED_${label} ${name})
endfunction()

function(_tolvan_add_label_targets)
  get_property(programs GLOBAL PROPERTY TOLVAN_TEST_PROGRAMS)
  if(programs)
    add_custom_target(tolvan_tests)
    add_dependencies(tolvan_tests ${programs})
  endif()
  get_property(labels GLOBAL PROPERTY TOLVAN_LABELS)
  list(REMOVE_DUPLICATES labels)
  foreach(label IN LISTS labels)
    get_property(programs GLOBAL PROPERTY TOLVAN_PROGRAMS_LABELLED_${label})
    list(REMOVE_DUPLICATES programs)
    add_custom_target(tolvan_tests_${label})
    add_dependencies(tolvan_tests_${label} ${programs})
  endforeach()
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL _tolvan_add_label_targets)

# A GoogleTest filter that matches every test of the given suites.
function(_tolvan_suite_filter out)
  list(TRANSFORM ARGN APPEND ".*")
  list(JOIN ARGN ":" filter)
  set(${out} "${filter}" PARENT_SCOPE)
endfunction()

function(_tolvan_add_program_tests name)
  get_property(labels TARGET ${name} PROPERTY TOLVAN_TEST_LABELS)
  get_property(environment TARGET ${name} PROPERTY TOLVAN_TEST_ENVIRONMENT)
  get_property(once TARGET ${name} PROPERTY TOLVAN_ONE_TEST_PER_PROCESS)
  get_property(suite_labels TARGET ${name} PROPERTY TOLVAN_SUITE_LABELS)
  list(REMOVE_DUPLICATES suite_labels)
  set(labelled_suites)
  foreach(label IN LISTS suite_labels)
    get_property(suites TARGET ${name} PROPERTY TOLVAN_SUITES_${label})
    list(APPEND labelled_suites ${suites})
    _tolvan_suite_filter(filter ${suites})
    _tolvan_add_tests(${name} "${label}" "${filter}" "${labels};${label}" "${environment}" "${once}")
  endforeach()
  set(filter "*")
  if(labelled_suites)
    _tolvan_suite_filter(filter ${labelled_suites})
    set(filter "-${filter}")
  endif()
  _tolvan_add_tests(${name} "" "${filter}" "${labels}" "${environment}" "${once}")
endfunction()

# The tests of one program that a filter selects, with the given labels: one
# CTest test per test, or one per shard.
function(_tolvan_add_tests name part filter labels environment once)
  list(REMOVE_ITEM labels "")
  if(TOLVAN_TEST_SHARDS GREATER 0 AND NOT once)
    set(shards ${TOLVAN_TEST_SHARDS})
    math(EXPR last "${shards} - 1")
    foreach(shard RANGE ${last})
      set(test ${name})
      if(part)
        string(APPEND test ".${part}")
      endif()
      if(shards GREATER 1)
        string(APPEND test ".shard${shard}")
      endif()
      add_test(NAME ${test} COMMAND ${name} --gtest_filter=${filter})
      set_tests_properties(${test} PROPERTIES TIMEOUT 600 LABELS "${labels}"
        ENVIRONMENT "${environment};GTEST_TOTAL_SHARDS=${shards};GTEST_SHARD_INDEX=${shard}")
    endforeach()
  else()
    # The labels and the environment are lists, which the discovery script's
    # PROPERTIES would flatten: a script of ours that CTest reads after the
    # discovered tests sets them.
    set(tests ${name}_${part}_TESTS)
    gtest_discover_tests(${name} TEST_FILTER "${filter}" TEST_LIST ${tests}
      DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
    set(script "${CMAKE_CURRENT_BINARY_DIR}/${tests}_properties.cmake")
    file(WRITE "${script}"
      "foreach(test IN LISTS ${tests})\n"
      "  set_tests_properties(\"\${test}\" PROPERTIES LABELS [==[${labels}]==] ENVIRONMENT [==[${environment}]==])\n"
      "endforeach()\n")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${script}")
  endif()
endfunction()
include(GoogleTest)
