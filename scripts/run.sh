#!/usr/bin/env bash
# Installs what vorn needs, builds it and runs it with its simulated keyboard and mouse.
#
#   scripts/run.sh             runs vorn. With a display it simply runs (the simulated devices
#                              keep their settings in build/app/libdc-state.bin). Without one
#                              ($DISPLAY unset) it runs vorn on a virtual display, plays a short
#                              device scene, saves a screenshot, prints its path and ends.
#   scripts/run.sh --vornctl   runs the command-line host vornctl on a short demo script: it
#                              lists the devices, reads and writes, and prints the events of a
#                              simulated unplug and plug.
#
# Environment: VORN_BUILD_DIR (default build/), VORN_SCREENSHOT (where the screenshot goes,
# default build/vorn-screenshot.png).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VORN_BUILD_DIR:-$root/build}
app=$build/app

mode=window
case "${1:-}" in
"") ;;
--vornctl) mode=vornctl ;;
-h | --help)
    sed -n '2,14p' "$0" | sed 's/^# \{0,1\}//'
    exit 0
    ;;
*)
    echo "run.sh: unknown argument: $1 (try --help)" >&2
    exit 2
    ;;
esac

"$root/scripts/install-deps.sh"
# Only the application folder: the tests stay configured as they are.
VORN_BUILD_TARGETS="vorn vornctl dc vorn_app_resources vorn_app_view" "$root/scripts/build.sh"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

if [ "$mode" = vornctl ]; then
    export VORN_SIM_STATE=$scratch/sim-state.bin
    export VORN_SIM_CONTROL=$scratch/sim-control.sock
    echo "== vornctl on scripts/demo-requests.txt (application folder: $app)"
    {
        # Requests, then a simulated unplug and plug of the mouse while vornctl is listening.
        grep -v '^#' "$root/scripts/demo-requests.txt"
        sleep 1
        python3 "$root/scripts/simctl.py" "$VORN_SIM_CONTROL" "unplug 1" "plug 1" \
            "report 0102030405060708" >&2
        sleep 1
    } | "$app/vornctl" --events
    exit 0
fi

if [ -n "${DISPLAY:-}" ]; then
    export VORN_SIM_CONTROL=${VORN_SIM_CONTROL:-$scratch/sim-control.sock}
    echo "== vorn ($app/vorn); drive the simulated devices with:"
    echo "   scripts/simctl.py $VORN_SIM_CONTROL \"unplug 1\" \"plug 1\" \"report 0102000000000000\""
    "$app/vorn"
    exit 0
fi

# No display: a virtual one, with a window manager, for a screenshot.
screenshot=${VORN_SCREENSHOT:-$build/vorn-screenshot.png}
mkdir -p "$(dirname "$screenshot")"
rm -f "$screenshot"
echo "== no display: running vorn on a virtual display for a screenshot"
cat >"$scratch/scene.sh" <<'SCENE'
#!/usr/bin/env bash
# Runs on the virtual display: vorn with a private temporary folder (so an instance running
# elsewhere on this machine is not asked instead), a few device events, then the screenshot.
set -uo pipefail
export TMPDIR=$SCRATCH/tmp XDG_RUNTIME_DIR=$SCRATCH/run
export VORN_SIM_STATE=$SCRATCH/sim-state.bin VORN_SIM_CONTROL=$SCRATCH/sim-control.sock
mkdir -p "$TMPDIR" && mkdir -m 700 -p "$XDG_RUNTIME_DIR"
"$APP/vorn" >"$SCRATCH/vorn-output.txt" 2>&1 &
pid=$!
shown=0
for _ in $(seq 1 300); do
    if xdotool search --onlyvisible --pid "$pid" >/dev/null 2>&1; then shown=1; break; fi
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
status=1
if [ $shown = 1 ]; then
    sleep 3 # the page loads and lists the devices
    python3 "$ROOT/scripts/simctl.py" "$VORN_SIM_CONTROL" "unplug 1" "plug 1" \
        "report 0102000000000000" "report 0301010000000000" >/dev/null
    sleep 1.5
    import -window root "$SCREENSHOT" && status=0
else
    echo "vorn showed no window; its output:" >&2
    tail -n 20 "$SCRATCH/vorn-output.txt" >&2
fi
kill -TERM "$pid" 2>/dev/null
wait "$pid" 2>/dev/null
exit $status
SCENE
chmod +x "$scratch/scene.sh"
SCRATCH=$scratch APP=$app ROOT=$root SCREENSHOT=$screenshot \
    "$root/tests/run-with-display.sh" --window-manager "$scratch/scene.sh"
echo "screenshot: $screenshot"
