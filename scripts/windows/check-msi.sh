#!/usr/bin/env bash
# Installs the MSI that scripts/windows/package.sh made into a fresh Wine prefix, uses what it
# installed, and uninstalls it again:
#   scripts/windows/check-msi.sh [BUILD_FOLDER]      (default build-windows)
# Fails (exit 1, saying what) unless the install puts Prismor.exe and norlix.exe, the same bytes
# as in the zip, in C:\Program Files\Prismor, Prismor in the Start menu and in Apps and Features;
# norlix.exe --version answers; Prismor.exe opens its window "Check Norlix DB" on a virtual
# display (Xvfb, the first free one from :95) and ends when asked to close; and the uninstall
# leaves none of the files, the folder, the shortcut or the entry behind. About half a minute,
# most of it making the prefix.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$root/build-windows}" && pwd)
started=$(date +%s.%N)

say() { printf '[check-msi %5.1fs] %s\n' "$(echo "$(date +%s.%N) - $started" | bc)" "$*"; }
die() { say "FAIL: $*" >&2; exit 1; }

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt" 2>/dev/null || true)
[ -n "$version" ] || die "no project version in $build/CMakeCache.txt: build with scripts/build-windows.sh"
name=Prismor-$version-x64
msi=$build/$name.msi
zip=$build/$name.zip
[ -f "$msi" ] && [ -f "$zip" ] || die "$msi or $zip is missing: run scripts/windows/package.sh $build"
product_code=$(msiinfo export "$msi" Property | tr -d '\r' | awk -F'\t' '$1 == "ProductCode" { print $2 }')
[ -n "$product_code" ] || die "$msi names no ProductCode"
uninstall_key="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$product_code"

work=$(mktemp -d /tmp/prismor-check-msi.XXXXXX)
xvfb_pid=
prismor_pid=
cleanup() {
    if [ -n "${WINEPREFIX:-}" ]; then
        [ -z "$prismor_pid" ] || wine taskkill /f /im Prismor.exe >/dev/null 2>&1 || true
        wineserver -k 2>/dev/null || true
    fi
    [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# A display of its own, so that no window of Wine's reaches a real one.
for display in $(seq 95 140); do
    [ -e "/tmp/.X$display-lock" ] || [ -e "/tmp/.X11-unix/X$display" ] && continue
    Xvfb ":$display" -nolisten tcp -screen 0 1280x1024x24 >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 50); do
        [ -e "/tmp/.X11-unix/X$display" ] || ! kill -0 "$xvfb_pid" 2>/dev/null && break
        sleep 0.1
    done
    if kill -0 "$xvfb_pid" 2>/dev/null && [ -e "/tmp/.X11-unix/X$display" ]; then
        break
    fi
    xvfb_pid=  # another program took the display first
done
[ -n "$xvfb_pid" ] || die "no free X display from :95 to :140 for Xvfb"
export DISPLAY=:$display

# shellcheck source=wine-prefix.sh
source "$root/scripts/windows/wine-prefix.sh"
# Without Wine's menu builder: the shortcut would otherwise become a menu entry of this
# machine's own desktop.
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d"
wine_prefix "$work/prefix"
say "fresh Wine prefix in $WINEPREFIX, display $DISPLAY"

windows_path() { winepath -u "$1" 2>/dev/null; }
windows_variable() { wine cmd /c echo "%$1%" 2>/dev/null | tr -d '\r'; }
install_dir=$(windows_path 'C:\Program Files\Prismor')
x86_dir=$(windows_path 'C:\Program Files (x86)\Prismor')
shortcuts=(
    "$(windows_path "$(windows_variable ProgramData)\\Microsoft\\Windows\\Start Menu\\Programs")/Prismor.lnk"
    "$(windows_path "$(windows_variable APPDATA)\\Microsoft\\Windows\\Start Menu\\Programs")/Prismor.lnk"
)
msi_windows=$(winepath -w "$msi" 2>/dev/null)

msiexec_run() {  # ACTION LOG
    local code=0
    wine msiexec "$1" "$msi_windows" /qn /l*v "$(winepath -w "$2" 2>/dev/null)" || code=$?
    if [ "$code" -ne 0 ] || ! grep -aq 'Return value 1\.' "$2"; then
        tail -n 20 "$2" >&2 || true
        die "msiexec $1 exited $code"
    fi
}
shortcut_found() {
    local lnk
    for lnk in "${shortcuts[@]}"; do
        [ -f "$lnk" ] && { printf '%s\n' "$lnk"; return 0; }
    done
    return 1
}

msiexec_run /i "$work/install.log"
say "installed $name.msi"
for exe in Prismor.exe norlix.exe; do
    [ -f "$install_dir/$exe" ] || die "no $exe in C:\\Program Files\\Prismor ($install_dir)"
    unzip -p "$zip" "$name/$exe" | cmp -s - "$install_dir/$exe" \
        || die "the installed $exe differs from the one in $name.zip"
    say "  C:\\Program Files\\Prismor\\$exe: $(stat -c %s "$install_dir/$exe") bytes, as in the zip"
done
[ ! -e "$x86_dir" ] || die "the installer also wrote C:\\Program Files (x86)\\Prismor"
lnk=$(shortcut_found) || die "no Prismor.lnk in the Start menu (looked for ${shortcuts[*]})"
grep -aqF 'C:\Program Files\Prismor\Prismor.exe' "$lnk" \
    || die "the Start menu's Prismor.lnk does not lead to C:\\Program Files\\Prismor\\Prismor.exe"
say "  Start menu shortcut: $lnk"
for value in "DisplayName Prismor" "Publisher Norlix" "DisplayVersion $version"; do
    read -r key wanted <<<"$value"
    got=$(wine reg query "$uninstall_key" /v "$key" 2>/dev/null | tr -d '\r' \
        | awk -v key="$key" '$1 == key { $1 = ""; $2 = ""; sub(/^ +/, ""); print }')
    [ "$got" = "$wanted" ] || die "Apps and Features' $key of $product_code is '$got', not '$wanted'"
done
say "  Apps and Features: Prismor $version by Norlix ($product_code)"

answer=$(wine 'C:\Program Files\Prismor\norlix.exe' --version 2>"$work/norlix.err" | tr -d '\r') \
    || die "norlix.exe --version failed: $(cat "$work/norlix.err")"
[ "$answer" = "norlix (Prismor) $version" ] \
    || die "norlix.exe --version answered '$answer', not 'norlix (Prismor) $version'"
say "ran norlix.exe --version: $answer"

wine 'C:\Program Files\Prismor\Prismor.exe' >"$work/prismor.log" 2>&1 &
prismor_pid=$!
window=
for _ in $(seq 120); do
    window=$(xdotool search --onlyvisible --name '^Check Norlix DB$' 2>/dev/null | head -n 1) && [ -n "$window" ] && break
    kill -0 "$prismor_pid" 2>/dev/null || die "Prismor.exe ended before its window appeared: $(cat "$work/prismor.log")"
    sleep 0.5
done
[ -n "$window" ] || die "no window 'Check Norlix DB' within a minute of starting Prismor.exe"
say "started Prismor.exe: its window 'Check Norlix DB' is up ($(xdotool getwindowgeometry "$window" | sed -n 's/ *Geometry: //p'))"
# taskkill without /f asks the windows to close, as their close button does.
wine taskkill /im Prismor.exe >/dev/null 2>&1 || die "taskkill found no Prismor.exe to close"
for _ in $(seq 60); do
    kill -0 "$prismor_pid" 2>/dev/null || break
    sleep 0.5
done
kill -0 "$prismor_pid" 2>/dev/null && die "Prismor.exe did not end within 30 s of being asked to close"
code=0
wait "$prismor_pid" || code=$?
prismor_pid=
[ "$code" -eq 0 ] || die "Prismor.exe exited $code on being closed"
say "closed Prismor.exe: it exited 0"

msiexec_run /x "$work/uninstall.log"
say "uninstalled $name.msi"
[ ! -e "$install_dir" ] || die "C:\\Program Files\\Prismor is still there: $(ls -A "$install_dir")"
lnk=$(shortcut_found) && die "the Start menu's shortcut is still there: $lnk"
wine reg query "$uninstall_key" >/dev/null 2>&1 && die "Apps and Features still lists $product_code"
say "  no files, folder, shortcut or Apps and Features entry left"
say "the MSI installs, runs and uninstalls cleanly"
