#!/usr/bin/env bash
# Installs every Debian package Tolvan builds, tests and benchmarks with.
# Idempotent: packages already present are left alone.
set -euo pipefail

packages=(
  # build and tests
  build-essential cmake ninja-build pkg-config git lld
  googletest libgtest-dev libgmock-dev
  # fuzzing: clang with its sanitizer and libFuzzer runtime, readable stacks
  clang libclang-rt-14-dev llvm
  # interface, audio devices
  qt6-base-dev qt6-base-dev-tools qt6-multimedia-dev qt6-svg-dev libgl-dev
  # decoding, encoding, muxing; the preview's pictures
  libavformat-dev libavcodec-dev libavutil-dev libswresample-dev libswscale-dev ffmpeg
  # tags and cover art
  libtag1-dev
  # reporting kit
  zlib1g-dev libcurl4-openssl-dev libssl-dev nlohmann-json3-dev libplist-dev
  # crash capture: the demangler that takes no heap memory; the unwinder's test oracle
  libiberty-dev libunwind-dev
  # music library; the collation the browser sorts titles by
  libpugixml-dev libicu-dev
  # test servers
  libcpp-httplib-dev
  # desktop integration
  xdg-utils libglib2.0-bin libglib2.0-dev shared-mime-info desktop-file-utils
  # a display for checking the window by hand (xvfb-run scripts/run.sh) and
  # for the test that reads the window's icon off a real X server
  xvfb xauth x11-utils
  # interface fonts: stand-ins with the metrics of the fonts the interface names
  fonts-liberation fonts-dejavu-core
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && { echo "all dependencies present"; exit 0; }

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
