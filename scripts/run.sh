#!/usr/bin/env bash
# Installs what vorn needs, builds it and runs it with its simulated keyboard and mouse.
#
# Until the window exists, this runs the command-line host vornctl on a short demo script:
# it lists the simulated devices, reads and writes a property and a macro slot, and prints
# the events of a simulated unplug and plug.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VORN_BUILD_DIR:-$root/build}

"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" -DVORN_BUILD_TESTS=OFF

app=$build/app
demo=$(mktemp -d)
trap 'rm -rf "$demo"' EXIT
export VORN_SIM_STATE=$demo/sim-state.bin
export VORN_SIM_CONTROL=$demo/sim-control.sock

echo "== vornctl on scripts/demo-requests.txt (application folder: $app)"
{
    # Requests, then a simulated unplug and plug of the mouse while vornctl is listening.
    grep -v '^#' "$root/scripts/demo-requests.txt"
    sleep 1
    python3 "$root/scripts/simctl.py" "$VORN_SIM_CONTROL" "unplug 1" "plug 1" \
        "report 0102030405060708" >&2
    sleep 1
} | "$app/vornctl" --events
