#!/usr/bin/env bash
# Starts Tolvan on a display, a session bus and an accessibility bus of its
# own, with a generated song open, and prints the tree a screen reader reads
# of the main window; fails when a control has no name.
#
#   scripts/dump-accessibility.sh [KEYS...]
#
# KEYS, when given, are typed into the window first (xdotool key names,
# e.g. "Tab Tab space"), so the dump shows where the focus went.
#
# Needs, beyond scripts/install-deps.sh: at-spi2-core (the accessibility
# bus), python3-dbus, and xdotool for KEYS; openbox, where present, makes
# the window active. Builds nothing: set
# TOLVAN_BUILD_DIR or build into build/ first.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
app="${TOLVAN_BUILD_DIR:-$root/build}/bin/tolvan"
launcher=/usr/libexec/at-spi-bus-launcher
# The system's Python, where Debian puts its D-Bus bindings.
python=/usr/bin/python3

for need in Xvfb dbus-run-session ffmpeg "$python" "$launcher" "$app"; do
  command -v "$need" >/dev/null || [ -x "$need" ] || { echo "dump-accessibility.sh: $need is missing" >&2; exit 2; }
done
"$python" -c 'import dbus' 2>/dev/null || { echo "dump-accessibility.sh: python3-dbus is missing" >&2; exit 2; }
[ $# -eq 0 ] || command -v xdotool >/dev/null || { echo "dump-accessibility.sh: xdotool is missing (for KEYS)" >&2; exit 2; }

if [ "${1:-}" != "--inside-session" ]; then
  scratch="$(mktemp -d)"
  trap 'kill "$xvfb" 2>/dev/null || true; rm -rf "$scratch"' EXIT
  # A display of our own: Xvfb picks a free number and writes it to us.
  exec 3<> "$scratch/display"
  Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb=$!
  for _ in $(seq 50); do [ -s "$scratch/display" ] && break; sleep 0.1; done
  display=":$(head -n1 "$scratch/display")"
  DISPLAY="$display" TOLVAN_SCRATCH="$scratch" dbus-run-session -- "$0" --inside-session "$@"
  exit $?
fi
shift

scratch="$TOLVAN_SCRATCH"
export HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/config" XDG_DATA_HOME="$scratch/data" XDG_CACHE_HOME="$scratch/cache"
mkdir -p "$HOME/Music" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME"
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_ACCESSIBILITY=1 TOLVAN_AUDIO_OUTPUT=null NO_AT_BRIDGE=0

"$launcher" --launch-immediately >/dev/null 2>&1 &
launcher_pid=$!
# A window manager, where there is one, makes the window active, so the dump
# shows where the focus is.
wm_pid=""
if command -v openbox >/dev/null; then
  openbox >/dev/null 2>&1 &
  wm_pid=$!
fi
song="$HOME/Music/Evening Bells.m4a"
ffmpeg -v error -y -f lavfi -i "sine=frequency=440:duration=60" -metadata title="Evening Bells" \
  -metadata artist="Test Choir" -c:a aac "$song"

"$app" "$song" >"$scratch/tolvan.log" 2>&1 &
tolvan_pid=$!
trap 'kill "$tolvan_pid" "$launcher_pid" $wm_pid 2>/dev/null || true' EXIT
sleep 4
if [ $# -gt 0 ]; then
  window="$(xdotool search --sync --onlyvisible --class tolvan | head -n1)"
  xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
  for key in "$@"; do xdotool key "$key"; sleep 0.3; done
  sleep 0.5
fi
"$python" "$root/scripts/accessibility-tree.py" tolvan
