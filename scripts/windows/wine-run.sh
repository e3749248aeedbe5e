#!/usr/bin/env bash
# The emulator through which ctest runs the Windows build's programs: wine PROGRAM ARGUMENTS...,
# in the Wine prefix and on the display that the environment names, or in a session of
# scripts/windows/ctest-wine.sh's that no other test holds. What a QTest program prints through a pipe is lost under Wine, so a QTest program
# writes its results to a file (-o FILE,txt), printed from here. Exits with the program's status.
#   scripts/windows/wine-run.sh PROGRAM [ARGUMENTS]
set -uo pipefail
if [ $# -lt 1 ]; then
    echo "usage: wine-run.sh PROGRAM [ARGUMENTS]" >&2
    exit 2
fi
program=$1
shift

# ctest-wine.sh names its sessions' folders; each holds a display and a prefix, and a test holds
# its session through a lock on the folder's lock file until it ends.
take_session() {
    local slot
    local -a slots
    IFS=: read -r -a slots <<<"$PRISMOR_WINE_SLOT_DIRS"
    while :; do
        for slot in "${slots[@]}"; do
            exec {session_lock}>>"$slot/lock"
            if flock --nonblock "$session_lock"; then
                export WINEPREFIX=$slot/prefix XAUTHORITY=$slot/Xauthority
                DISPLAY=$(cat "$slot/display")
                export DISPLAY
                return
            fi
            exec {session_lock}>&-
        done
        sleep 0.2
    done
}
session_lock=
if [ -n "${PRISMOR_WINE_SLOT_DIRS:-}" ]; then
    take_session
fi
# The lock stays with this script, which ends with the test: a process that Wine leaves behind
# must not keep the session from the next test.
run_wine() {
    if [ -n "$session_lock" ]; then
        wine "$@" {session_lock}>&-
    else
        wine "$@"
    fi
}

# A QTest program is known by its options' help text; one given -o keeps its own output.
is_qtest() {
    grep -qaF -- ' -maxwarnings ' "$program" || return 1
    local argument
    for argument in "$@"; do
        [ "$argument" != -o ] || return 1
    done
}

# A script of the tests' own runs in the session as it is, with the session kept for it.
if [[ $program == *.sh ]]; then
    bash "$program" "$@"
    exit
fi
if ! is_qtest "$@"; then
    run_wine "$program" "$@"
    exit
fi
# The results are printed as they are written, so that a run stopped by a time-out still shows
# how far it got. What else the program prints goes to a file too, printed once it has ended:
# Wine may leave a console host behind for a child that the test killed, and that would hold
# ctest's pipe open until the time-out.
results=$(mktemp --suffix=.txt)
console=$(mktemp)
trap 'rm -f "$results" "$console"' EXIT
run_qtest() {
    run_wine "$program" "$@" -o "Z:${results//\//\\},txt" >"$console" 2>&1 </dev/null &
    local program_pid=$! tail_pid
    tail --follow=name --retry --pid="$program_pid" --lines=+1 "$results" 2>/dev/null &
    tail_pid=$!
    wait "$program_pid"
    status=$?
    wait "$tail_pid"
    cat "$console"
}
# Now and then Wine's loader cannot place a new process's shared page, where the kernel has put
# something else; the program then ends before it has run, and it is started once more.
for attempt in 1 2 3; do
    run_qtest "$@"
    [ "$status" -ne 0 ] && [ ! -s "$results" ] \
        && grep -qF "failed to map the shared user data" "$console" || break
    echo "wine-run.sh: Wine could not start $program; again"
done
exit "$status"
