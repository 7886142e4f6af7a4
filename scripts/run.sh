#!/usr/bin/env bash
# Installs what is missing, builds, and starts Tolvan with any arguments given.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
app="${TOLVAN_BUILD_DIR:-$root/build}/bin/tolvan"
if [ ! -x "$app" ]; then
  echo "Everything is built, but the application is not yet assembled: there is no window to start yet."
  exit 0
fi
exec "$app" "$@"
