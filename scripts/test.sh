#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test through CTest.
# With --tsan, also builds the concurrency-critical libraries with
# ThreadSanitizer in build-tsan/ and runs their tests there.
# With --asan, also builds everything with AddressSanitizer and
# UndefinedBehaviorSanitizer in build-asan/ and runs every test there, the
# fuzz targets' seeds and regression inputs included, but those that crash a
# process on purpose; the plain build then runs only those.
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
# The tests that crash a process on purpose run only in the plain build: the
# sanitizers' runtimes own the fault signals, the alternate signal stacks and
# thread creation that crash capture takes over. With --asan every other test
# runs in the AddressSanitizer build (which compiles the whole tree), so the
# plain build makes only the application and the crash tests' programs.
crash_tests='^(CrashRecordTest|Helper/CrashTest|ContextUnderDebugger|AppCrashTest)\.'
if [ "$with_asan" = 1 ]; then
  TOLVAN_BUILD_TARGETS="tolvan tolvan_brisca_tests tolvan_app_tests" "$root/scripts/build.sh"
else
  "$root/scripts/build.sh"
fi
stage_done "building"
plain="${TOLVAN_BUILD_DIR:-$root/build}"
if [ "$with_asan" = 1 ]; then
  ctest --test-dir "$plain" --output-on-failure --parallel "$(nproc)" -R "$crash_tests"
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
  # The concurrency tests, and the waveform, query, XML-reader and player
  # tests. Fixtures start the ffmpeg command line with posix_spawn, which the
  # checker follows (the toolkit's own way of starting a child is hidden from it).
  tsan_suites=(BriscaTest ReportUploadTest AnalyticsTest ZNTAnalyticsTest ZNTAnalyticsStartTest
    NotificationCenter OperationQueue SerialQueue WorkerPool QueueDestructor QueueObserver SystemScheduler DispatchMain WaveformQueriesTest WaveformProviderTest XMLLibraryTest
    TrackSlices Files/UnreadableLibrary PlayerTest RingtonePreviewerTest GainStage NullAudioOutput
    AudioRecorderTest SegmentedAacEncoder SystemProfileTest UndoManager RendererTest WaveformAreaTest LoadingLibraryTest
    ScenarioTest ToneSetScenarioTest EditorTest)
  # Only the test programs that hold those suites are built.
  cmake -S "$root" -B "$tsan" -G Ninja -DTOLVAN_TSAN=ON >/dev/null
  cmake --build "$tsan" --parallel "$(nproc)" --target \
    tolvan_analytics_tests tolvan_brisca_tests tolvan_browser_tests tolvan_brsurlsession_tests tolvan_concurrency_tests \
    tolvan_editor_tests tolvan_engine_tests tolvan_foundation_tests tolvan_media_library_tests \
    tolvan_media_tests tolvan_system_tests tolvan_tally_tests >/dev/null
  stage_done "building for ThreadSanitizer"
  tsan_tests="$(ctest --test-dir "$tsan" -N)"
  for suite in "${tsan_suites[@]}"; do
    grep -qE "Test +#[0-9]+: $suite\\." <<<"$tsan_tests" ||
      { echo "test.sh: no ThreadSanitizer program holds the suite $suite" >&2; exit 1; }
  done
  seed_test_costs "$tsan"
  pattern="^($(IFS='|'; echo "${tsan_suites[*]}"))\\."
  TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$root/tests/support/tsan.supp" \
    ctest --test-dir "$tsan" --output-on-failure --parallel "$(nproc)" -R "$pattern"
  stage_done "testing under ThreadSanitizer"
fi

if [ "$with_asan" = 1 ]; then
  asan="$root/build-asan"
  # Every test but those that crash a process on purpose (see above).
  TOLVAN_BUILD_DIR="$asan" "$root/scripts/build.sh" -DTOLVAN_ASAN=ON >/dev/null
  stage_done "building for AddressSanitizer"
  seed_test_costs "$asan"
  ASAN_OPTIONS="halt_on_error=1 detect_stack_use_after_return=1 strict_init_order=1" \
  UBSAN_OPTIONS="halt_on_error=1 print_stacktrace=1" \
    ctest --test-dir "$asan" --output-on-failure --parallel "$(nproc)" \
      -E "$crash_tests"
  stage_done "testing under AddressSanitizer"
fi

if [ "$with_fuzz" = 1 ]; then
  "$root/scripts/fuzz.sh" --regressions
  stage_done "fuzzing regressions"
fi
