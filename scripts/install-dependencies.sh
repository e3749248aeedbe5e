#!/usr/bin/env bash
# Installs the Debian 12 packages of the named sets, and only those that are missing, so that a
# second run is quick:
#   run       building Prismor and running it on a desktop
#   display   the virtual display that scripts/run.sh checks company A on where there is none
#   test      everything the tests need: both sets above, the packaging and desktop linters,
#             clang's fuzzer and sanitizer run-times, the Windows resource compiler
#   bench     what the benchmarks need beyond building: the virtual display, and strace, which
#             counts and slows down the system calls of the check (scripts/bench.sh)
#   windows   cross-building Prismor for Windows and testing it under Wine (scripts/test-windows.sh)
# With no set named, the test set. Without root, it installs through sudo; a user who may not
# use sudo is told what is missing and the command that installs it.
#   scripts/install-dependencies.sh [run] [display] [test] [bench] [windows]
set -euo pipefail

run_packages=(
    cmake make g++ pkgconf
    qt6-base-dev qt6-base-dev-tools libgl-dev libsqlite3-dev
    # The window's layout is made for Arial's metrics, which Liberation Sans shares.
    fonts-liberation2
)
display_packages=(
    xvfb xauth
    dbus-daemon at-spi2-core openbox xdotool x11-utils scrot python3 python3-gi gir1.2-atspi-2.0
)
test_packages=(
    "${run_packages[@]}" "${display_packages[@]}"
    dpkg-dev file lintian appstream desktop-file-utils
    # The D-Bus autolaunch that Prismor must not set off where there is no session bus.
    dbus-x11
    # A desktop font with glyphs for the invisible direction controls, as many desktops have
    # (ghostscript brings it in): the report's lines must stay where they are all the same.
    fonts-noto-mono
    clang libclang-rt-14-dev llvm
    binutils-mingw-w64-x86-64
)
bench_packages=("${run_packages[@]}" "${display_packages[@]}" strace)
# The Windows build and its tests: the cross compilers, Wine on a virtual display, what drives and
# photographs the window, what makes and checks the MSI and the zip. Qt and SQLite for Windows are
# built from Debian's sources by scripts/build-windows-qt.sh, which installs what that needs.
windows_packages=(
    # x86_64 for the build the tests run, i686 for the one that ships.
    cmake ninja-build g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
    binutils-mingw-w64-x86-64 g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix
    binutils-mingw-w64-i686 mingw-w64-tools
    # Qt's host tools (moc, rcc, uic), which the cross build runs.
    qt6-base-dev qt6-base-dev-tools
    # Without a window manager Wine waits two seconds at every window that is hidden.
    wine wine64 xvfb xauth openbox xdotool x11-utils imagemagick fonts-liberation2
    python3 python3-pefile wixl msitools zip bc
)

packages=()
for set in "${@:-test}"; do
    case $set in
        run) packages+=("${run_packages[@]}") ;;
        display) packages+=("${display_packages[@]}") ;;
        test) packages+=("${test_packages[@]}") ;;
        bench) packages+=("${bench_packages[@]}") ;;
        windows) packages+=("${windows_packages[@]}") ;;
        *) echo "install-dependencies.sh: unknown set \"$set\" (run, display, test, bench or windows)" >&2
           exit 2 ;;
    esac
done

missing=()
for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
    [ "$status" = installed ] || [[ " ${missing[*]} " == *" $package "* ]] || missing+=("$package")
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

# Whether sudo may be used: without a password, or, at a terminal, as a member of the group that
# Debian lets use sudo (so that no one else is asked for a password that sudo will refuse).
may_sudo() {
    command -v sudo >/dev/null || return 1
    sudo -n true 2>/dev/null && return 0
    [ -t 0 ] && id -nG | tr ' ' '\n' | grep -qxE 'sudo|admin|wheel'
}

sudo=()
if [ "$(id -u)" -ne 0 ]; then
    if ! may_sudo; then
        {
            echo "These Debian packages are missing: ${missing[*]}"
            echo "Installing them needs root. As root (or ask your administrator), run:"
            echo "    apt-get install --no-install-recommends ${missing[*]}"
        } >&2
        exit 1
    fi
    sudo=(sudo)
fi

echo "Installing: ${missing[*]}"
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -q --no-install-recommends "${missing[@]}"
