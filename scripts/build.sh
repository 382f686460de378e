#!/usr/bin/env bash
# Configures and builds build/ (or $VORN_BUILD_DIR). Arguments are CMake options;
# VORN_BUILD_TARGETS (space-separated) builds only those targets instead of everything.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VORN_BUILD_DIR:-$root/build}
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
if [ -n "${VORN_BUILD_TARGETS:-}" ]; then
    # shellcheck disable=SC2086
    cmake --build "$build" --target $VORN_BUILD_TARGETS
else
    cmake --build "$build"
fi
