#!/usr/bin/env bash
# How Prismor starts on a Linux desktop: without a display it says so in one line and ends with
# status 1; it reads no command-line argument, Qt's own included; and where no session bus is
# set, it starts none and leaves nothing behind in the home.
#   check-start-up-conventions.sh PRISMOR
# Exits 77 (ctest's SKIPPED) when Xvfb or xdotool is not installed.
set -euo pipefail
prismor=$(readlink -f "$1")

for tool in Xvfb xdotool; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIPPED: needs $tool (packages xvfb, xdotool); scripts/install-dependencies.sh installs it"
        exit 77
    fi
done

work=$(mktemp -d -t prismor-start-up.XXXXXX)
xvfb_pid=
cleanup() {
    [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# A home of its own, with no session bus anywhere: not in the environment, not in the runtime folder.
home=$work/home
mkdir -p "$home/runtime"
chmod 700 "$home/runtime"
prismor_env=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u DBUS_SESSION_BUS_ADDRESS
             -u AT_SPI_BUS_ADDRESS -u XDG_CONFIG_HOME -u XDG_DATA_HOME
             HOME="$home" XDG_RUNTIME_DIR="$home/runtime" NORLIX_HOME="$home/norlix")

# No display at all.
status=0
"${prismor_env[@]}" "$prismor" >"$work/out" 2>"$work/err" </dev/null || status=$?
said=$(cat "$work/out" "$work/err")
echo "with no display: status $status, said: $said"
[ "$status" -eq 1 ] || fail "with no display Prismor ended with status $status instead of 1"
[ "$(wc -l <"$work/err")" -eq 1 ] && [ ! -s "$work/out" ] ||
    fail "with no display Prismor did not say one line"
grep -q '^Prismor needs a graphical desktop: ' "$work/err" ||
    fail "with no display Prismor did not say that it needs a graphical desktop"

Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    sleep 0.1
done
[ -s "$work/display" ] || { cat "$work/xvfb.log"; echo "Xvfb did not start"; exit 1; }
display=":$(cat "$work/display")"

# Starts Prismor on the display with the given arguments and prints the names of its windows
# once the window is there; then ends it as the desktop would, by SIGTERM.
window_names() {
    local pid status=0 names=
    "${prismor_env[@]}" DISPLAY="$display" "$prismor" "$@" >>"$work/prismor.log" 2>&1 </dev/null &
    pid=$!
    for _ in $(seq 100); do
        names=$(DISPLAY=$display xdotool search --all --pid "$pid" --name 'Check Norlix DB' \
                getwindowname %@ 2>/dev/null || true)
        [ -z "$names" ] || break
        sleep 0.1
    done
    # Qt's own windows (its selection owner) are left out; a renamed window shows too.
    names=$(DISPLAY=$display xdotool search --all --pid "$pid" --onlyvisible --name . \
            getwindowname %@ 2>/dev/null || true)
    kill -TERM "$pid" 2>/dev/null || true
    wait "$pid" || status=$?
    echo "$names"
    return "$status"
}

# Qt's options are not read: no other title, no other platform, no other style.
names=$(window_names -title Elsewhere -platform offscreen -style windows -reverse) ||
    fail "Prismor given Qt's options did not end with status 0 on SIGTERM"
echo "given -title Elsewhere -platform offscreen: windows shown: ${names:-none}"
[ "$names" = "Check Norlix DB" ] ||
    fail "given Qt's options, Prismor showed '${names:-no window}' instead of 'Check Norlix DB'"

# No session bus: none started, nothing written in the home.
names=$(window_names) || fail "Prismor did not end with status 0 on SIGTERM"
[ "$names" = "Check Norlix DB" ] || fail "Prismor showed '${names:-no window}'"
sleep 0.5 # a bus daemon started for Prismor would be up by now
left=()
for process in /proc/[0-9]*; do
    if { tr '\0' '\n' <"$process/environ"; } 2>/dev/null | grep -qxF "HOME=$home"; then
        left+=("$({ tr '\0' ' ' <"$process/cmdline"; } 2>/dev/null)")
        kill "${process#/proc/}" 2>/dev/null || true
    fi
done
[ ${#left[@]} -eq 0 ] || fail "processes left behind: $(printf '[%s] ' "${left[@]}")"
written=$(cd "$home" && find . -mindepth 1 ! -path ./runtime)
[ -z "$written" ] || fail "files written in the home: $written"
[ -z "$(ls -A "$home/runtime")" ] || fail "files written in the runtime folder: $(ls -A "$home/runtime")"
echo "with no session bus: processes left: ${#left[@]}, files written: ${written:-none}"

[ "$failures" -eq 0 ] || { echo "Prismor's output:"; cat "$work/prismor.log"; exit 1; }
echo "Prismor starts as a desktop expects"
