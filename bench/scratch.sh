# Sourced by the bench scripts that make their inputs: the project root, the
# bench program of the build (TOLVAN_BUILD_DIR selects the build) and a
# scratch folder that goes at exit.
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bench="${TOLVAN_BUILD_DIR:-$root/build}/bin/tolvan-bench"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
