# Sanitizer and fuzzing builds. Each applies to every target of the tree, so
# the project's libraries are instrumented; the system's libraries are not.
#
# TOLVAN_ASAN: AddressSanitizer and UndefinedBehaviorSanitizer; undefined
#   behaviour ends the process instead of printing and going on. Light
#   optimisation and line tables keep the build short and the reports exact.
#   The fuzz targets are built too, each replaying its seeds and regression
#   inputs as a test.
# TOLVAN_TSAN: ThreadSanitizer, with the same light optimisation and line
#   tables.
# TOLVAN_FUZZ: the same sanitizers plus libFuzzer's coverage instrumentation
#   (clang only); the targets in fuzz/ link libFuzzer's main.

set(tolvan_sanitizer_flags -fsanitize=address,undefined -fno-sanitize-recover=undefined
    -fno-omit-frame-pointer -O1 -g1)

if(TOLVAN_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "TOLVAN_FUZZ needs clang (configure with -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang)")
  endif()
  list(APPEND tolvan_sanitizer_flags -fsanitize=fuzzer-no-link)
endif()

if(TOLVAN_ASAN OR TOLVAN_FUZZ)
  add_compile_options(${tolvan_sanitizer_flags})
  add_link_options(-fsanitize=address,undefined)
endif()

if(TOLVAN_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer -O1 -g1)
  add_link_options(-fsanitize=thread)
endif()
