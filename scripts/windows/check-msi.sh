#!/usr/bin/env bash
# Installs the 32-bit MSI that scripts/windows/package.sh made into a fresh 64-bit Wine prefix,
# checks what it put in place, and uninstalls it again:
#   scripts/windows/check-msi.sh [BUILD_FOLDER]      (default build-windows-x86)
# Fails (exit 1, saying what) unless the install puts Prismor.exe, norlix.exe and
# NorlixStandIn.dll, the same bytes as in the zip, in C:\Program Files (x86)\Prismor and nothing
# in C:\Program Files\Prismor; those files pass check-executables.py as 32-bit programs; Prismor
# is in the Start menu and in Apps and Features; no Norlix class is registered; and the uninstall
# leaves none of the files, the folder, the shortcut or the entry behind. These machines run no
# 32-bit code, so the installed programs are checked as files: the 64-bit build's own run under
# Wine (scripts/test-windows.sh) stands for running them. About half a minute, most of it making
# the prefix.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$root/build-windows-x86}" && pwd)
started=$(date +%s.%N)

say() { printf '[check-msi %5.1fs] %s\n' "$(echo "$(date +%s.%N) - $started" | bc)" "$*"; }
die() { say "FAIL: $*" >&2; exit 1; }

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt" 2>/dev/null || true)
[ -n "$version" ] || die "no project version in $build/CMakeCache.txt: build with scripts/build-windows.sh"
name=Prismor-$version-x86
msi=$build/$name.msi
zip=$build/$name.zip
[ -f "$msi" ] && [ -f "$zip" ] || die "$msi or $zip is missing: run scripts/windows/package.sh $build"
product_code=$(msiinfo export "$msi" Property | tr -d '\r' | awk -F'\t' '$1 == "ProductCode" { print $2 }')
[ -n "$product_code" ] || die "$msi names no ProductCode"
# A 32-bit product's entry, as the 64-bit reg.exe sees it.
uninstall_key="HKLM\\Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$product_code"

work=$(mktemp -d /tmp/prismor-check-msi.XXXXXX)
xvfb_pid=
cleanup() {
    if [ -n "${WINEPREFIX:-}" ]; then
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
install_dir=$(windows_path 'C:\Program Files (x86)\Prismor')
x64_dir=$(windows_path 'C:\Program Files\Prismor')
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
for file in Prismor.exe norlix.exe NorlixStandIn.dll; do
    [ -f "$install_dir/$file" ] || die "no $file in C:\\Program Files (x86)\\Prismor ($install_dir)"
    unzip -p "$zip" "$name/$file" | cmp -s - "$install_dir/$file" \
        || die "the installed $file differs from the one in $name.zip"
    say "  C:\\Program Files (x86)\\Prismor\\$file: $(stat -c %s "$install_dir/$file") bytes, as in the zip"
done
[ ! -e "$x64_dir" ] || die "the installer also wrote C:\\Program Files\\Prismor"
/usr/bin/python3 "$root/scripts/windows/check-executables.py" --target x86 "$install_dir" \
    >"$work/check.log" 2>&1 || { cat "$work/check.log" >&2; die "the installed files fail check-executables.py"; }
say "  the installed files are 32-bit, import only Windows' DLLs, and carry their resources and exports"
lnk=$(shortcut_found) || die "no Prismor.lnk in the Start menu (looked for ${shortcuts[*]})"
grep -aqF 'C:\Program Files (x86)\Prismor\Prismor.exe' "$lnk" \
    || die "the Start menu's Prismor.lnk does not lead to C:\\Program Files (x86)\\Prismor\\Prismor.exe"
say "  Start menu shortcut: $lnk"
for value in "DisplayName Prismor" "Publisher Norlix" "DisplayVersion $version"; do
    read -r key wanted <<<"$value"
    got=$(wine reg query "$uninstall_key" /v "$key" 2>/dev/null | tr -d '\r' \
        | awk -v key="$key" '$1 == key { $1 = ""; $2 = ""; sub(/^ +/, ""); print }')
    [ "$got" = "$wanted" ] || die "Apps and Features' $key of $product_code is '$got', not '$wanted'"
done
say "  Apps and Features: Prismor $version by Norlix ($product_code)"
for classes in 'HKLM\Software\Classes' 'HKLM\Software\Wow6432Node\Classes' 'HKCU\Software\Classes'; do
    for prog_id in Norlix.SystemGlobal Norlix.NumberConverter Norlix.ChoiceDialog; do
        wine reg query "$classes\\$prog_id" >/dev/null 2>&1 && die "the install registered $prog_id in $classes"
    done
done
say "  no Norlix class registered: Prismor finds the Norlix that is installed"

msiexec_run /x "$work/uninstall.log"
say "uninstalled $name.msi"
[ ! -e "$install_dir" ] || die "C:\\Program Files (x86)\\Prismor is still there: $(ls -A "$install_dir")"
lnk=$(shortcut_found) && die "the Start menu's shortcut is still there: $lnk"
wine reg query "$uninstall_key" >/dev/null 2>&1 && die "Apps and Features still lists $product_code"
say "  no files, folder, shortcut or Apps and Features entry left"
say "the MSI installs and uninstalls cleanly"
