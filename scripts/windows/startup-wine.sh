#!/usr/bin/env bash
# Times Prismor.exe's start-up under Wine against the floor that Qt sets, BareWindow.exe (a static
# Qt window with the same icon and client area; TextWindow.exe, the same with one line of text,
# for reference): from starting the program to its window being
# on screen, taking turns, on one virtual display in one Wine prefix, in one sitting. Prismor
# starts on the demo installation, reached through COM as on a workstation: the time includes
# loading Norlix's components and the reads that start-up makes through them. Prints each
# program's median and the ratio. A figure, not a test.
#   scripts/windows/startup-wine.sh [BUILD_DIR] [RUNS]     (default build-windows, 20)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=$(cd "${1:-build-windows}" && pwd -P)
runs=${2:-20}
work=$(mktemp -d -t prismor-startup.XXXXXX)
xvfb=
cleanup() {
    [ -z "${WINEPREFIX:-}" ] || wineserver -k 2>/dev/null || true
    [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

for display in $(seq 150 199); do
    [ -e "/tmp/.X$display-lock" ] || [ -e "/tmp/.X11-unix/X$display" ] || break
done
Xvfb ":$display" -screen 0 1280x1024x24 -dpi 96 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=:$display
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
openbox --sm-disable >/dev/null 2>&1 &
source scripts/windows/wine-prefix.sh
wine_prefix "$work/prefix"
wineserver --persistent
export NORLIX_HOME="Z:${work//\//\\}\\norlix"
wine "$build/norlix.exe" demo >/dev/null

# Milliseconds from the start of PROGRAM to its window TITLE being shown; then closes it. A
# program that ends, or shows no window within 30 s, ends the measurement with what it printed.
time_start() {
    local program=$1 title=$2 started
    started=$(date +%s%N)
    wine "$program" >"$work/output" 2>&1 &
    local pid=$!
    # Looked for every 10 ms: xdotool's own --sync looks only every half second.
    until xdotool search --onlyvisible --name "^$title\$" >/dev/null 2>&1; do
        if ! kill -0 "$pid" 2>/dev/null || (( $(date +%s%N) - started > 30000000000 )); then
            echo "$(basename "$program") showed no window \"$title\" within 30 s; it printed:" >&2
            cat "$work/output" >&2
            exit 1
        fi
        sleep 0.01
    done
    echo $(( ($(date +%s%N) - started) / 1000000 ))
    # Without /f taskkill asks the window to close, as its close button does.
    wine taskkill /im "$(basename "$program")" >/dev/null 2>&1
    wait "$pid" 2>/dev/null || true
}
median() { sort -n | awk '{ a[NR] = $1 } END { print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2 }'; }

# One run of each first, not counted: the first start of a prefix loads Wine's own DLLs from disk.
time_start "$build/Prismor.exe" "Check Norlix DB" >/dev/null
time_start "$build/BareWindow.exe" "Bare window" >/dev/null
for _ in $(seq "$runs"); do
    time_start "$build/Prismor.exe" "Check Norlix DB" >>"$work/prismor"
    time_start "$build/BareWindow.exe" "Bare window" >>"$work/bare"
    time_start "$build/TextWindow.exe" "Bare window" >>"$work/text"
done
prismor=$(median <"$work/prismor")
bare=$(median <"$work/bare")
text=$(median <"$work/text")
echo "start-up under Wine, median of $runs each, ms: Prismor.exe $prismor, BareWindow.exe $bare," \
    "TextWindow.exe (one line of text) $text"
echo "Prismor.exe / BareWindow.exe: $(echo "scale=3; $prismor / $bare" | bc) (goal: at most 1.10)"
echo "Prismor.exe / TextWindow.exe: $(echo "scale=3; $prismor / $text" | bc)"
for name in prismor bare text; do
    echo "all runs, $name: $(tr '\n' ' ' <"$work/$name")"
done
