#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test through CTest.
# With --tsan, also builds the programs holding the tests labelled `threads`
# with ThreadSanitizer in build-tsan/ and runs those tests there.
# With --asan, also builds every test program with AddressSanitizer and
# UndefinedBehaviorSanitizer in build-asan/ and runs every test there, the
# fuzz targets' seeds and regression inputs included, but those that crash a
# process on purpose (labelled `crashes`); the plain build then runs only those.
# With --fuzz, also builds the fuzz targets with clang and libFuzzer and runs
# each over its seeds and regression inputs (scripts/fuzz.sh --regressions).
# The options combine.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
with_tsan=0 with_asan=0 with_fuzz=0
for option in "$@"; do
  case "$option" in
    --tsan) with_tsan=1 ;;
    --asan) with_asan=1 ;;
    --fuzz) with_fuzz=1 ;;
    *) echo "test.sh: unknown option '$option' (--tsan, --asan, --fuzz)" >&2; exit 2 ;;
  esac
done
# Each stage says how long it took, so a slow one shows in the log.
stage_start=$SECONDS
stage_done() { echo "test.sh: $1 took $((SECONDS - stage_start)) s"; stage_start=$SECONDS; }

"$root/scripts/install-deps.sh"
stage_done "installing"
# Tests carry CTest labels where they are declared (tolvan_test and
# tolvan_label_suites): `threads` for those the ThreadSanitizer run takes,
# `crashes` for those that crash a process on purpose. Each label has a build
# target, tolvan_tests_<label>, that makes only the programs holding them.
#
# The crash tests run only in the plain build: the sanitizers' runtimes own
# the fault signals, the alternate signal stacks and thread creation that
# crash capture takes over. With --asan every other test runs in the
# AddressSanitizer build, so the plain build makes only the crash tests'
# programs (the application among them).
if [ "$with_asan" = 1 ]; then
  TOLVAN_BUILD_TARGETS="tolvan_tests_crashes" "$root/scripts/build.sh"
else
  "$root/scripts/build.sh"
fi
stage_done "building"
plain="${TOLVAN_BUILD_DIR:-$root/build}"
if [ "$with_asan" = 1 ]; then
  ctest --test-dir "$plain" --output-on-failure --parallel "$(nproc)" -L crashes
else
  ctest --test-dir "$plain" --output-on-failure --parallel "$(nproc)"
fi
stage_done "testing"

# CTest starts the tests it knows to be long first, so no long one is left
# running alone at the end. A sanitizer build without a history of its own
# takes the plain run's: the same tests are long there.
seed_test_costs() {
  local costs=Testing/Temporary/CTestCostData.txt
  if [ -f "$plain/$costs" ] && [ ! -f "$1/$costs" ]; then
    mkdir -p "$1/Testing/Temporary"
    cp "$plain/$costs" "$1/$costs"
  fi
}

if [ "$with_tsan" = 1 ]; then
  tsan="$root/build-tsan"
  # Fixtures start the ffmpeg command line with posix_spawn, which the checker
  # follows (the toolkit's own way of starting a child is hidden from it).
  TOLVAN_BUILD_DIR="$tsan" TOLVAN_BUILD_TARGETS="tolvan_tests_threads" \
    "$root/scripts/build.sh" -DTOLVAN_TSAN=ON >/dev/null
  stage_done "building for ThreadSanitizer"
  seed_test_costs "$tsan"
  TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$root/tests/support/tsan.supp" \
    ctest --test-dir "$tsan" --output-on-failure --parallel "$(nproc)" -L threads
  stage_done "testing under ThreadSanitizer"
fi

if [ "$with_asan" = 1 ]; then
  asan="$root/build-asan"
  # A sanitized process spends most of a short test starting (it loads and
  # checks every shared library, and checks for leaks at its end), so each
  # test program runs as a few processes, each a share of its tests.
  TOLVAN_BUILD_DIR="$asan" TOLVAN_BUILD_TARGETS="tolvan_tests" \
    "$root/scripts/build.sh" -DTOLVAN_ASAN=ON -DTOLVAN_TEST_SHARDS=4 >/dev/null
  stage_done "building for AddressSanitizer"
  ASAN_OPTIONS="halt_on_error=1 detect_stack_use_after_return=1 strict_init_order=1" \
  UBSAN_OPTIONS="halt_on_error=1 print_stacktrace=1" \
    ctest --test-dir "$asan" --output-on-failure --parallel "$(nproc)" -LE crashes
  stage_done "testing under AddressSanitizer"
fi

if [ "$with_fuzz" = 1 ]; then
  "$root/scripts/fuzz.sh" --regressions
  stage_done "fuzzing regressions"
fi
