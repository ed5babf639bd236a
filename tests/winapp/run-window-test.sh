#!/bin/sh
# Runs a Windows test program that drives trovex.exe's window: on a virtual X display of its own
# (Xvfb), in a wine prefix of its own (made once, kept in the build folder), without a window
# manager, and with a time limit, so a window that never shows fails the test instead of hanging it.
#   run-window-test.sh <build folder> <program.exe> [arguments...]
set -u
build=$1
shift
export WINEPREFIX="$build/wineprefix-window"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export HOME="$build/window-test-home"
mkdir -p "$HOME"
# One run at a time per prefix: a second run's cleanup would end this one's wine processes.
exec 9>"$WINEPREFIX.lock"
if ! flock -w 600 9; then
    echo "run-window-test: another window test holds $WINEPREFIX" >&2
    exit 1
fi

display_file=$(mktemp)
Xvfb -displayfd 3 -screen 0 1280x1024x24 -noreset -nolisten tcp 3>"$display_file" >/dev/null 2>&1 &
xvfb=$!
cleanup() {
    wineserver -k >/dev/null 2>&1
    kill "$xvfb" 2>/dev/null
    wait "$xvfb" 2>/dev/null
    rm -f "$display_file"
}
trap cleanup EXIT
for _ in $(seq 100); do
    [ -s "$display_file" ] && break
    sleep 0.1
done
if [ ! -s "$display_file" ]; then
    echo "run-window-test: Xvfb did not start" >&2
    exit 1
fi
export DISPLAY=":$(cat "$display_file")"

# The prefix is made once; without a window manager wine must not wait for one at every close.
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    timeout 120 wineboot -i >/dev/null 2>&1 || { echo "run-window-test: wineboot failed" >&2; exit 1; }
fi
timeout 60 wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1

timeout 150 wine "$@"
rc=$?
exit $rc
