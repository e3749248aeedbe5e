#!/usr/bin/env bash
# Runs the Windows build's Prismor.exe end to end under Wine, for what the Qt Test programs cannot
# show: the real window on a display of its own (Xvfb at 96 dpi, openbox), a check started from
# the keyboard alone, and the company current before put back at Exit and at the end of the
# Windows session. What happened is read from norlix.exe and from the windows' titles; the two
# screenshots left in ARTIFACTS_DIR are for a person to look at. Needs wine, Xvfb, openbox,
# xdotool and imagemagick.
#   scripts/windows/e2e-wine.sh [BUILD_DIR [ARTIFACTS_DIR]] [--wrong-expectations]
# BUILD_DIR defaults to build-windows (or $PRISMOR_WINDOWS_BUILD_DIR), ARTIFACTS_DIR to
# BUILD_DIR/e2e-wine-artifacts. Prints one line a check and exits 1 if any failed. With
# --wrong-expectations each check waits a few seconds for a value that never comes, and fails.
set -uo pipefail
cd "$(dirname "$0")/../.." || exit 2
wrong=
positional=()
for argument in "$@"; do
    case $argument in
        --wrong-expectations) wrong=1 ;;
        -*) echo "usage: $0 [BUILD_DIR [ARTIFACTS_DIR]] [--wrong-expectations]" >&2; exit 2 ;;
        *) positional+=("$argument") ;;
    esac
done
build_dir=${positional[0]:-${PRISMOR_WINDOWS_BUILD_DIR:-build-windows}}
artifacts=${positional[1]:-$build_dir/e2e-wine-artifacts}
for program in Prismor.exe norlix.exe; do
    [ -f "$build_dir/$program" ] || { echo "no $program in $build_dir" >&2; exit 2; }
done
for tool in wine wineboot wineserver Xvfb openbox xdotool xprop import; do
    command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 2; }
done
build_dir=$(realpath "$build_dir")
mkdir -p "$artifacts"
artifacts=$(realpath "$artifacts")

WINDOW="Check Norlix DB"
DIALOG="CAUTION"
work=$(mktemp -d -t prismor-e2e-wine.XXXXXX)
pids=()
finish() {
    [ -z "${WINEPREFIX:-}" ] || { wineserver -k; wineserver -w; } 2>/dev/null
    for pid in ${pids[@]+"${pids[@]}"}; do
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    rm -rf "$work"
}
trap finish EXIT

started=$SECONDS
passed=0
failed=0
say() { printf '[%3d s] %s\n' $((SECONDS - started)) "$*"; }

# check NAME EXPECTED WRONG PROBE...: runs PROBE until it prints EXPECTED, for up to 30 s. With
# --wrong-expectations it waits 3 s for WRONG instead, then for EXPECTED, unreported, so that the
# run goes on as it would have.
check() {
    local name=$1 right=$2 expected=$2 deadline=$((SECONDS + 30)) seen
    if [ -n "$wrong" ]; then
        expected=$3
        deadline=$((SECONDS + 3))
    fi
    shift 3
    until seen=$("$@"); [ "$seen" = "$expected" ] || [ "$SECONDS" -ge "$deadline" ]; do
        sleep 0.2
    done
    if [ "$seen" = "$expected" ]; then
        say "PASS $name: $seen"
        passed=$((passed + 1))
    else
        say "FAIL $name: seen '$seen', expected '$expected'"
        failed=$((failed + 1))
    fi
    if [ -n "$wrong" ]; then
        deadline=$((SECONDS + 30))
        until [ "$("$@")" = "$right" ] || [ "$SECONDS" -ge "$deadline" ]; do sleep 0.2; done
    fi
}

# The probes.
norlix() {
    # Into a file, not a pipe: a Wine service that a program starts would hold a pipe open.
    wine "$build_dir/norlix.exe" "$@" >"$work/norlix.out" 2>&1 </dev/null
    local status=$?
    tr -d '\r' <"$work/norlix.out"
    return "$status"
}
active_title() { xdotool getactivewindow getwindowname 2>/dev/null; }
make_current() { norlix current "$1" >/dev/null; norlix current; }
lock_of() { norlix company show "$1" | sed -n 's/^lock: //p'; }
prismor_status() { cat "$work/prismor.status" 2>/dev/null || echo running; }
prismor_ended() { [ -s "$work/prismor.status" ] && echo ended || echo running; }

# Prismor.exe, its output in the artifacts and its exit status in prismor.status once it ends.
start_prismor() {
    rm -f "$work/prismor.status"
    { wine "$build_dir/Prismor.exe"; echo $? >"$work/prismor.status"; } \
        </dev/null >"$artifacts/prismor-$1.log" 2>&1 &
    pids+=($!)
    check "window '$WINDOW' shown, with the focus" "$WINDOW" "$WINDOW." active_title
    sleep 1  # its first paint, before the keys come
}
# From Start, where the focus stays after a check: Tab, Tab to the entry; the letter, as typed
# in small; Tab back to Start, Space.
check_letter() {
    xdotool key --delay 100 Tab Tab
    xdotool type --delay 100 "$1"
    xdotool key --delay 100 Tab space
}
screenshot() {
    sleep 1  # for the report, or the dialog, to be drawn
    import -window root "$artifacts/$1.png" && say "screenshot $artifacts/$1.png"
}

# A display of its own: Xvfb names the free one it took on descriptor 3 once it listens.
Xvfb -displayfd 3 -screen 0 1024x768x24 -dpi 96 -nolisten tcp -noreset 3>"$work/display" \
    </dev/null >"$artifacts/Xvfb.log" 2>&1 &
pids+=($!)
until [ -s "$work/display" ] || ! kill -0 "${pids[0]}" 2>/dev/null; do sleep 0.1; done
[ -s "$work/display" ] || { say "Xvfb did not start (see Xvfb.log)"; exit 1; }
DISPLAY=:$(cat "$work/display")
# A home of its own, so that nothing of the run's is left in the user's.
mkdir "$work/home"
export DISPLAY HOME=$work/home
unset XDG_CONFIG_HOME XDG_CACHE_HOME XDG_DATA_HOME
# Wine waits two seconds for a window manager at every hidden window.
openbox --sm-disable </dev/null >"$artifacts/openbox.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.1
done
xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id' \
    || { say "openbox did not start (see openbox.log)"; exit 1; }
say "display $DISPLAY, openbox"

# A fresh prefix, with its server and Wine's services up before the first program.
source scripts/windows/wine-prefix.sh
wine_prefix "$work/prefix"
wineserver --persistent </dev/null >/dev/null 2>&1
wine wineboot </dev/null >/dev/null 2>&1
say "Wine prefix $WINEPREFIX"

# The installation is the test's own. The demo: A found, B without its database, C locked by
# ACCOUNTS-PC, D without a version. D is current, and no letter checked here, so that putting it
# back is seen.
mkdir "$work/norlix"
export NORLIX_HOME="Z:${work//\//\\}\\norlix"
# The demo, run once: in a fresh prefix it also registers the stand-in, through which Prismor.exe
# then reaches the installation.
norlix demo >"$work/demo.out"
line() { sed -n "$1p" "$work/demo.out"; }
check "norlix.exe demo" "Demo Norlix installation ready at $NORLIX_HOME" \
    'Demo Norlix installation ready at C:\ProgramData\Norlix' line 1
check "norlix.exe demo registers the stand-in" \
    "Registered Z:${build_dir//\//\\}\\NorlixStandIn.dll for every user of this computer." \
    "Registered Z:${build_dir//\//\\}\\NorlixStandIn.dll for this user." line 2
check "norlix.exe current D" D B make_current D

# First run: C, then A, typed; Exit.
say "Prismor.exe, first run"
start_prismor 1
check_letter c
check "typed c, Space on Start: the dialog" "$DIALOG" "$DIALOG!" active_title
check "current company while the dialog is open" C B norlix current
screenshot caution
# The focus is on Retry; Tab to Exit, Space: the check ends, ACCOUNTS-PC's lock left as it was.
xdotool key --delay 100 Tab space
check "Exit in the dialog: back to the window" "$WINDOW" "$WINDOW." active_title
check "C's lock, still held" "ACCOUNTS-PC (1 hold)" "ACCOUNTS-PC (2 holds)" lock_of C
check_letter a
check "typed a, Space on Start: current company" A B norlix current
screenshot window-after-check-of-A
xdotool key --delay 100 Tab space
check "Tab to Exit, Space: Prismor.exe ends, with status" 0 1 prismor_status
check "current company after Exit: the one before" D B norlix current

# Second run: Space at once, with the focus on Start and A in the entry as the window opens; then
# the session ends, as at log-off. wineboot sends WM_QUERYENDSESSION and WM_ENDSESSION to every
# top-level window, and ends the process that has answered them.
say "Prismor.exe, second run"
start_prismor 2
xdotool key space
check "Space on Start: current company" A B norlix current
wineboot --end-session </dev/null >"$artifacts/end-session.log" 2>&1
say "wineboot --end-session: status $?"
check "the session ended: Prismor.exe ended" ended "never ended" prismor_ended
say "Prismor.exe's status as Linux sees it: $(prismor_status)"
check "current company after the session ended: the one before" D B norlix current

say "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
