#!/usr/bin/env bash
# Runs a command on a display of its own: a fresh Xvfb server (1280x1024, 24 bits) and, with
# --window-manager, openbox on it. Both end with the command; its exit code is returned.
set -euo pipefail
with_wm=0
if [ "${1:-}" = "--window-manager" ]; then
    with_wm=1
    shift
fi

inner=$(mktemp)
trap 'rm -f "$inner"' EXIT
cat >"$inner" <<'INNER'
#!/usr/bin/env bash
if [ "$VORN_WITH_WM" = 1 ]; then
    openbox --sm-disable >/dev/null 2>&1 &
    wm=$!
    # Wait until the window manager owns the screen, so window placement is its.
    for _ in $(seq 1 50); do
        xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
        sleep 0.1
    done
fi
"$@"
status=$?
[ -n "${wm:-}" ] && kill "$wm" 2>/dev/null
exit $status
INNER
chmod +x "$inner"
VORN_WITH_WM=$with_wm xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" "$inner" "$@"
