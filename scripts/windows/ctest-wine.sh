#!/usr/bin/env bash
# Runs the Windows build's test programs under Wine through ctest, as a Windows user's session
# would: on a virtual display of their own with a window manager, in a fresh Wine prefix that is
# thrown away afterwards. The build must have been configured with scripts/windows/wine-run.sh as
# its emulator (scripts/build-windows.sh does). Extra arguments go to ctest, e.g. -R NAME.
#   scripts/windows/ctest-wine.sh [BUILD_DIR] [CTEST_ARGUMENTS...]
set -euo pipefail
cd "$(dirname "$0")/../.."
build_dir=${PRISMOR_WINDOWS_BUILD_DIR:-build-windows}
if [ $# -gt 0 ] && [[ $1 != -* ]]; then
    build_dir=$1
    shift
fi

say() { printf '[ctest-wine %s] %s\n' "$(date +%H:%M:%S)" "$*"; }

# Each slot is a Windows user's session of its own: a virtual display, its window manager and a
# fresh Wine prefix, so that two tests at once share no registry, no focus and no session end.
# They live in this folder for the run only.
run_dir=$(mktemp -d -t prismor-windows-tests.XXXXXX)
slots=${PRISMOR_WINE_SLOTS:-$(nproc)}
[ "$slots" -ge 1 ] && [ "$slots" -le 2 ] || slots=2
pids=()

stop_sessions() {
    local slot pid
    for slot in "$run_dir"/slot-*/; do
        [ -d "$slot/prefix" ] && WINEPREFIX=$slot/prefix wineserver -k 2>/dev/null || true
    done
    for pid in ${pids[@]+"${pids[@]}"}; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$run_dir"
}
trap stop_sessions EXIT

# Xvfb on the first free display from :90 on, with a cookie of its own, at 96 dots per inch as
# the window's layout expects, and openbox on it. Writes the display's name to slot/display.
start_display() {
    local slot=$1 display cookie xvfb_pid tries
    local XAUTHORITY=$slot/Xauthority
    export XAUTHORITY
    cookie=$(od -An -N16 -tx1 /dev/urandom | tr -d ' \n')
    touch "$XAUTHORITY"
    for display in $(seq 90 189); do
        [ ! -e "/tmp/.X$display-lock" ] && [ ! -e "/tmp/.X11-unix/X$display" ] || continue
        xauth -q -f "$XAUTHORITY" add ":$display" . "$cookie"
        Xvfb ":$display" -screen 0 1280x1024x24 -dpi 96 -nolisten tcp -auth "$XAUTHORITY" \
            </dev/null >"$slot/xvfb.log" 2>&1 &
        xvfb_pid=$!
        for tries in $(seq 50); do
            if [ -e "/tmp/.X11-unix/X$display" ]; then
                echo "$xvfb_pid" >"$slot/pids"
                # Wine waits up to two seconds for a window manager at every hidden window.
                DISPLAY=:$display XDG_CONFIG_HOME=$slot/config XDG_CACHE_HOME=$slot/cache \
                    openbox --sm-disable </dev/null >"$slot/openbox.log" 2>&1 &
                echo $! >>"$slot/pids"
                echo ":$display" >"$slot/display"
                return 0
            fi
            kill -0 "$xvfb_pid" 2>/dev/null || break
            sleep 0.1
        done
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    done
    cat "$slot/xvfb.log" >&2 || true
    say "no virtual display could be started" >&2
    return 1
}

# A fresh prefix, with its server and Wine's own services started here, away from ctest's pipes:
# a process that keeps a test's output open would hold ctest until the time-out.
start_wine() {
    local slot=$1
    export DISPLAY XAUTHORITY=$slot/Xauthority
    DISPLAY=$(cat "$slot/display")
    source scripts/windows/wine-prefix.sh
    wine_prefix "$slot/prefix"
    # A file server's share, \\FileServer\Accounts, which Wine finds where the prefix's
    # dosdevices/unc/SERVER/SHARE points.
    mkdir -p "$slot/share" "$slot/prefix/dosdevices/unc/FileServer"
    ln -s "$slot/share" "$slot/prefix/dosdevices/unc/FileServer/Accounts"
    wineserver --persistent </dev/null >/dev/null 2>&1
    wine wineboot </dev/null >/dev/null 2>&1
    # The stand-in, registered as the Norlix this Windows finds: the tests reach it through COM.
    wine "$(cd "$build_dir" && pwd -P)/norlix.exe" register </dev/null >"$slot/register.log" 2>&1 \
        || { cat "$slot/register.log" >&2; return 1; }
}

start_slot() {
    local slot=$1
    mkdir -p "$slot"
    start_display "$slot" && start_wine "$slot"
}

# The slots start side by side; a display is taken before the next slot looks for one.
slot_dirs=()
failed=0
for number in $(seq "$slots"); do
    slot=$run_dir/slot-$number
    slot_dirs+=("$slot")
    start_slot "$slot" &
    pids+=($!)
    while [ ! -e "$slot/display" ] && kill -0 "${pids[-1]}" 2>/dev/null; do sleep 0.1; done
done
for pid in "${pids[@]}"; do
    wait "$pid" || failed=1
done
pids=()
for slot in "${slot_dirs[@]}"; do
    [ -e "$slot/pids" ] && mapfile -t -O "${#pids[@]}" pids <"$slot/pids"
    [ -d "$slot/prefix" ] || failed=1
done
[ "$failed" -eq 0 ] || { say "the Wine sessions could not be started" >&2; exit 1; }
say "Wine sessions: $slots, on displays $(cat "$run_dir"/slot-*/display | tr '\n' ' ')"

# wine-run.sh takes a slot that no other test holds.
export PRISMOR_TEST_UNC_SHARE='\\FileServer\Accounts'
export PRISMOR_WINE_SLOT_DIRS
PRISMOR_WINE_SLOT_DIRS=$(IFS=:; echo "${slot_dirs[*]}")
ctest --test-dir "$build_dir" --output-on-failure --timeout 300 --parallel "$slots" "$@"
