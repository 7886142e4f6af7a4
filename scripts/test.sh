#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test through CTest.
# With --tsan, also builds the concurrency-critical libraries with
# ThreadSanitizer in build-tsan/ and runs their tests there.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
ctest --test-dir "${TOLVAN_BUILD_DIR:-$root/build}" --output-on-failure --parallel "$(nproc)"

if [ "${1:-}" = "--tsan" ]; then
  tsan="$root/build-tsan"
  TOLVAN_BUILD_DIR="$tsan" "$root/scripts/build.sh" -DTOLVAN_TSAN=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
  # The concurrency tests, and the waveform, query, XML-reader and player
  # tests that start no child process: the checker cannot follow a threaded
  # process's fork into the ffmpeg command line.
  forking='^WaveformProviderTest\.(StereoSongsAreReadDownmixedAtTheRequestedRate|TitledSongsComeFromTheCacheTheSecondTime|StoppedProvidersStayUnfinishedAndFallSilent|FilesWithoutReadableAudioNeverStart|DamagedSilentAndVideoFilesStillGiveAWaveform)$'
  TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$root/tests/support/tsan.supp" \
    ctest --test-dir "$tsan" --output-on-failure --parallel "$(nproc)" \
      -R '^(BriscaTest|ZNTAnalyticsTest|ZNTAnalyticsStartTest|NotificationCenter|OperationQueue|SerialQueue|WaveformQueriesTest|WaveformProviderTest|XMLLibraryTest|TrackSlices|Files/UnreadableLibrary|PlayerTest|RingtonePreviewerTest|SoftwareGain|NullAudioOutput)\.' \
      -E "$forking"
fi
