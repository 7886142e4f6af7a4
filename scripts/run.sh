#!/usr/bin/env bash
# Installs what is missing, builds, and starts Tolvan with any arguments given
# (files to open, or "-key value" settings for this run).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
app="${TOLVAN_BUILD_DIR:-$root/build}/bin/tolvan"

# A window needs a display: a desktop session's, or a platform chosen on purpose.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "run.sh: Tolvan is built ($app), but there is no display to show its window on." >&2
  echo "run.sh: start it from a desktop session, or under Xvfb: xvfb-run scripts/run.sh" >&2
  exit 1
fi
exec "$app" "$@"
