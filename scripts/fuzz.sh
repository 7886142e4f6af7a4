#!/usr/bin/env bash
# Builds the fuzz targets of fuzz/ with clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer in build-fuzz/, then
#
#   scripts/fuzz.sh SECONDS [TARGET...]   fuzzes each target for SECONDS, from
#                                         its seeds, its regression inputs and
#                                         what earlier runs found (build-fuzz/corpus/)
#   scripts/fuzz.sh --regressions         runs each target once over its seeds
#                                         and every regression input; exits
#                                         non-zero on any report
#
# A failing input of a fuzzing run is left in build-fuzz/artifacts/TARGET/;
# once its fault is mended it belongs in fuzz/regressions/TARGET/.
# fuzz/regressions/pending.txt lists inputs of faults that are known and not
# yet mended; they are run too, and their reports are expected.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${TOLVAN_FUZZ_BUILD_DIR:-$root/build-fuzz}"
mode="${1:-}"
[ -n "$mode" ] || { sed -n '2,16s/^# \{0,1\}//p' "$0"; exit 2; }
shift

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DTOLVAN_FUZZ=ON -DTOLVAN_BUILD_TESTS=OFF \
  "${launcher[@]}" >/dev/null
cmake --build "$build" --target fuzzers --parallel "$(nproc)"

targets=()
for source in "$root"/fuzz/*.cpp; do
  name="$(basename "$source" .cpp)"
  [ -x "$build/bin/fuzz_$name" ] && targets+=("$name")
done

export TOLVAN_RESOURCES="$root/resources"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_stack_use_after_return=1}"
# An input of the corpus reads in well under a second and a few MB even under
# the sanitizers; one allocation of 512 MB is a fault of its own.
fuzzer_options=(-timeout=25 -rss_limit_mb=2560 -malloc_limit_mb=512)

pending="$root/fuzz/regressions/pending.txt"
# pending.txt: one "TARGET/FILE what it shows" a line.
is_pending() { [ -f "$pending" ] && awk '{print $1}' "$pending" | grep -qxF "$1"; }

if [ "$mode" = "--regressions" ]; then
  failed=0 expected=0
  for name in "${targets[@]}"; do
    inputs=()
    for file in "$root/fuzz/corpus/$name"/* "$root/fuzz/regressions/$name"/*; do
      [ -f "$file" ] || continue
      if is_pending "$name/$(basename "$file")"; then
        if "$build/bin/fuzz_$name" "${fuzzer_options[@]}" "$file" >"$build/pending.log" 2>&1; then
          echo "fuzz: $name/$(basename "$file") is listed as pending but passes: take it off $pending"
        else
          expected=$((expected + 1))
        fi
        continue
      fi
      inputs+=("$file")
    done
    [ ${#inputs[@]} -gt 0 ] || continue
    if "$build/bin/fuzz_$name" "${fuzzer_options[@]}" "${inputs[@]}" >"$build/$name.log" 2>&1; then
      echo "fuzz: $name: ${#inputs[@]} inputs passed"
    else
      echo "fuzz: $name: an input failed (full output in $build/$name.log):"
      grep -E 'ERROR|SUMMARY|Running:|fuzz target:|runtime error' "$build/$name.log" | tail -n 20
      failed=1
    fi
  done
  [ "$expected" -eq 0 ] || echo "fuzz: $expected pending inputs of known faults still fail, as expected"
  exit "$failed"
fi

seconds="$mode"
[[ "$seconds" =~ ^[0-9]+$ ]] || { echo "fuzz.sh: SECONDS or --regressions, not '$seconds'" >&2; exit 2; }
[ $# -gt 0 ] && targets=("$@")
status=0
for name in "${targets[@]}"; do
  corpus="$build/corpus/$name" artifacts="$build/artifacts/$name"
  mkdir -p "$corpus" "$artifacts"
  # The regression inputs join the working corpus, except those of known
  # faults, which would stop the run at once.
  for file in "$root/fuzz/regressions/$name"/*; do
    [ -f "$file" ] && ! is_pending "$name/$(basename "$file")" && cp "$file" "$corpus/"
  done
  echo "fuzz: $name for ${seconds} s"
  # In a child process that goes on after a failure, so one known fault does
  # not hide the others; every failing input is kept.
  failures() { find "$artifacts" -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' | wc -l; }
  before=$(failures)
  # The waveform target's reading keeps memory past an input on the pool's
  # workers (none of it leaks: the check at each job's end finds nothing),
  # so libFuzzer's check after each input would scan the whole heap after
  # nearly every input, six times the input's own cost. Its leaks are found
  # by LeakSanitizer's check as each fork job ends.
  per_input_leaks=()
  [ "$name" = waveform ] && per_input_leaks=(-detect_leaks=0)
  "$build/bin/fuzz_$name" "${fuzzer_options[@]}" "${per_input_leaks[@]}" -max_total_time="$seconds" -fork=1 \
    -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1 -artifact_prefix="$artifacts/" \
    "$corpus" "$root/fuzz/corpus/$name" >"$build/$name.log" 2>&1 || status=1
  found=$(( $(failures) - before ))
  if [ "$found" -gt 0 ]; then
    status=1
    echo "fuzz: $name: $found failing inputs in $artifacts/, output in $build/$name.log"
  fi
  grep -E '^#[0-9]+: cov' "$build/$name.log" | tail -n 1
done
exit "$status"
