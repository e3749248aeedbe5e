#!/usr/bin/env bash
# Builds, once per machine, what cross-building Prismor for Windows (MinGW-w64) needs and Debian
# does not ship: a static Qt 6.4.2 made from Debian 12's own qt6-base source package, and the SQLite
# amalgamation made from Debian's sqlite3 source package. Two targets, one source:
#   x86_64   the build that runs the tests under Wine (these machines run no 32-bit code)
#   i686     the build that ships: Norlix's components are 32-bit in-process servers, which only a
#            32-bit process can load. Built with SSE2, and without what only the tests use.
# Both go to a cache outside the work tree, ${PRISMOR_WINDOWS_CACHE:-$HOME/.cache/prismor/windows}:
#   qt-6.4.2/, qt-6.4.2-i686/  Qt's install prefixes (bin/qt-cmake, lib/cmake/Qt6/qt.toolchain.cmake)
#   sqlite-3.40.1/             sqlite3.c, sqlite3.h, sqlite3ext.h
#   mingw-w64-x86_64.cmake, mingw-w64-i686.cmake
#                              the CMake toolchain files Qt was built with (qt.toolchain.cmake
#                              loads them in turn)
#   complete, complete-i686    written last: a run that finds it exits at once
# Qt's CMake files record absolute paths, so the cache works only at the path it was built at.
# Installs the Debian packages it needs that are missing (as root, or through sudo), and adds
# deb-src entries for the configured Debian archive if there are none. The first run takes about
# half an hour on two cores and needs about 5 GB free while building; the build folder is deleted
# once Qt is installed, leaving about 110 MB. An interrupted run picks up where it stopped.
#   scripts/build-windows-qt.sh [x86_64|i686]
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive LC_ALL=C

qt_version=6.4.2
sqlite_version=3.40.1
cache=${PRISMOR_WINDOWS_CACHE:-$HOME/.cache/prismor/windows}
arch=${1:-x86_64}
case $arch in
    x86_64) suffix="" ; arch_package=x86-64 ;;
    i686) suffix=-i686 ; arch_package=i686 ;;
    *) echo "build-windows-qt: unknown target \"$arch\" (x86_64 or i686)" >&2; exit 2 ;;
esac
triplet=$arch-w64-mingw32
qt_prefix=$cache/qt-$qt_version$suffix
sqlite_dir=$cache/sqlite-$sqlite_version
toolchain=$cache/mingw-w64-$arch.cmake
work=$cache/work$suffix
stamp=$cache/complete$suffix
# Both builds leave out what Prismor.exe never uses, so that the tests run on the Qt that ships.
# Its fonts come from DirectWrite, so it needs no FreeType (nor the offscreen platform); the
# widgets, dialogs and document formats that Prismor never shows go too, and so do the Direct2D
# platform plugin (a second copy of the Windows one, which Prismor never loads) and GIF images.
# Three stay that Qt 6.4 does not build or link without: XPM images (drag and drop depends on
# them, and QApplication on that), the input dialog (the Windows style includes its header) and
# Direct2D itself (the Windows platform links DirectWrite's font database, which is built only
# with it). The shipped build also goes without Qt Test, which only the tests use.
left_out=(
    -no-freetype -no-feature-direct2d1_1 -no-feature-gif
    -no-feature-graphicsview -no-feature-mdiarea -no-feature-calendarwidget
    -no-feature-dockwidget -no-feature-toolbox -no-feature-wizard -no-feature-undoview
    -no-feature-columnview -no-feature-datawidgetmapper -no-feature-dial
    -no-feature-keysequenceedit -no-feature-fontcombobox -no-feature-syntaxhighlighter
    -no-feature-textbrowser -no-feature-commandlinkbutton -no-feature-splashscreen
    -no-feature-lcdnumber -no-feature-listwidget -no-feature-treewidget -no-feature-tablewidget
    -no-feature-colordialog -no-feature-fontdialog -no-feature-filedialog
    -no-feature-errormessage -no-feature-progressdialog
    -no-feature-pdf -no-feature-textmarkdownreader -no-feature-textmarkdownwriter
    -no-feature-textodfwriter -no-feature-movie -no-feature-imageformat_ppm
    -no-feature-imageformat_xbm)
[ "$arch" = x86_64 ] || left_out+=(-no-feature-testlib)
# The stamp names what was left out, so that leaving out something else builds Qt again.
stamp_text="qt $qt_version sqlite $sqlite_version ${left_out[*]}"
jobs=$(nproc)

say() { printf '[build-windows-qt %s] %s\n' "$(date +%H:%M:%S)" "$*"; }
die() { printf 'build-windows-qt: %s\n' "$*" >&2; exit 1; }

if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$stamp_text" ] \
    && [ -x "$qt_prefix/bin/qt-cmake" ] && [ -f "$sqlite_dir/sqlite3.c" ]; then
    say "up to date: Qt $qt_version and SQLite $sqlite_version in $cache"
    exit 0
fi

if [ "$(id -u)" -eq 0 ]; then
    as_root() { "$@"; }
elif command -v sudo >/dev/null; then
    as_root() { sudo --preserve-env=DEBIAN_FRONTEND "$@"; }
else
    die "must run as root, or with sudo, to install Debian packages"
fi
apt_get() { as_root apt-get -o DPkg::Lock::Timeout=600 "$@"; }

# --- Debian packages ------------------------------------------------------------------------------
packages=(
    dpkg-dev gcc make perl tcl8.6 cmake ninja-build
    "g++-mingw-w64-$arch_package-posix" "gcc-mingw-w64-$arch_package-posix"
    "binutils-mingw-w64-$arch_package" mingw-w64-tools
    # Qt's host tools (moc, rcc, uic and the rest) and their CMake packages, which a cross build of
    # Qt runs instead of building its own; their version must be the one being built.
    qt6-base-dev qt6-base-dev-tools
)
missing=()
for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
    [ "$status" = installed ] || missing+=("$package")
done
updated=no
if [ ${#missing[@]} -gt 0 ]; then
    say "installing ${missing[*]}"
    apt_get update -qq
    updated=yes
    apt_get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
host_qt=$(dpkg-query -W -f='${Version}' qt6-base-dev)
[[ $host_qt == "$qt_version"+* || $host_qt == "$qt_version"-* ]] \
    || die "qt6-base-dev is $host_qt; Qt $qt_version is needed for its host tools"
for tool in /usr/lib/qt6/libexec/moc /usr/lib/qt6/libexec/rcc /usr/lib/qt6/libexec/uic \
    /usr/lib/x86_64-linux-gnu/cmake/Qt6HostInfo/Qt6HostInfoConfig.cmake \
    /usr/lib/x86_64-linux-gnu/cmake/Qt6CoreTools/Qt6CoreToolsConfig.cmake; do
    [ -e "$tool" ] || die "$tool is missing after installing qt6-base-dev and qt6-base-dev-tools"
done

# --- Source packages ------------------------------------------------------------------------------
# The archive serves source packages to a deb-src entry with the same URIs, suites and components
# as a deb one. Add those of the configured deb entries unless some deb-src entry is there already.
deb_src_list=/etc/apt/sources.list.d/prismor-deb-src.sources
has_deb_src() {
    grep -Eqs '^[[:space:]]*Types:.*deb-src' /etc/apt/sources.list.d/*.sources \
        || grep -Eqs '^[[:space:]]*deb-src[[:space:]]' /etc/apt/sources.list /etc/apt/sources.list.d/*.list
}
if ! has_deb_src; then
    entries=""
    for file in /etc/apt/sources.list.d/*.sources; do
        [ -f "$file" ] || continue
        # Copy the deb822 stanzas whose Types include deb, as deb-src.
        entries+=$(awk '
            BEGIN { RS = ""; ORS = "\n\n" }
            /(^|\n)Types:[^\n]*(^|[ \t])deb([ \t]|\n|$)/ {
                n = split($0, lines, "\n"); out = ""
                for (i = 1; i <= n; i++) {
                    if (lines[i] ~ /^Types:/) lines[i] = "Types: deb-src"
                    if (lines[i] !~ /^#/) out = out lines[i] "\n"
                }
                printf "%s\n", out
            }' "$file")$'\n\n'
    done
    for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -f "$file" ] || continue
        # One-line entries: deb [options] URI suite components...
        entries+=$(awk '$1 == "deb" {
            $1 = ""; sub(/^ /, "")
            if ($1 ~ /^\[/) { while ($1 !~ /\]$/) { $1 = ""; sub(/^ /, "") } $1 = ""; sub(/^ /, "") }
            uri = $1; suite = $2; $1 = ""; $2 = ""; sub(/^ +/, "")
            printf "Types: deb-src\nURIs: %s\nSuites: %s\nComponents: %s\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n\n", uri, suite, $0
        }' "$file")$'\n\n'
    done
    [ -n "${entries//[[:space:]]/}" ] || die "found no deb entries in /etc/apt to add deb-src entries for"
    say "adding deb-src entries in $deb_src_list"
    printf '%s' "$entries" | as_root tee "$deb_src_list" >/dev/null
    updated=no
fi
if [ "$updated" = no ] && ! apt-cache showsrc qt6-base 2>/dev/null | grep -q '^Package:'; then
    say "updating the package lists"
    apt_get update -qq
fi

mkdir -p "$work"
# fetch_source PACKAGE VERSION: unpacks Debian's source of PACKAGE, with its patches applied, in
# $work/PACKAGE and prints that folder.
fetch_source() {
    local package=$1 version=$2 dir=$work/$1
    if [ ! -f "$dir/.unpacked" ]; then
        rm -rf "$dir"
        mkdir -p "$dir/download"
        (cd "$dir/download" && apt_get source --download-only -qq "$package=$version" >/dev/null)
        local dsc
        dsc=$(ls "$dir/download"/*.dsc)
        dpkg-source --no-check -x "$dsc" "$dir/tree" >/dev/null
        rm -rf "$dir/download"
        touch "$dir/.unpacked"
    fi
    printf '%s\n' "$dir/tree"
}
source_version() {
    apt-cache showsrc "$1" | awk -v want="$2" '
        $1 == "Version:" && index($2, want) == 1 { print $2; exit }'
}

# --- SQLite amalgamation --------------------------------------------------------------------------
if [ ! -f "$sqlite_dir/.done" ]; then
    version=$(source_version sqlite3 "$sqlite_version")
    [ -n "$version" ] || die "Debian's archive has no sqlite3 source $sqlite_version"
    say "fetching the source of sqlite3 $version"
    sqlite_src=$(fetch_source sqlite3 "$version")
    say "making the SQLite amalgamation"
    rm -rf "$work/sqlite-build"
    mkdir -p "$work/sqlite-build"
    (cd "$work/sqlite-build" \
        && "$sqlite_src/configure" --disable-tcl >configure.log 2>&1 \
        && nice -n 19 make -j"$jobs" sqlite3.c >make.log 2>&1) \
        || { tail -n 30 "$work/sqlite-build"/*.log >&2; die "making sqlite3.c failed"; }
    grep -q "#define SQLITE_VERSION *\"$sqlite_version\"" "$work/sqlite-build/sqlite3.h" \
        || die "the amalgamation is not SQLite $sqlite_version"
    rm -rf "$sqlite_dir"
    mkdir -p "$sqlite_dir"
    cp "$work/sqlite-build/sqlite3.c" "$work/sqlite-build/sqlite3.h" "$sqlite_src/src/sqlite3ext.h" \
        "$sqlite_dir/"
    touch "$sqlite_dir/.done"
    rm -rf "$work/sqlite-build" "$work/sqlite3"
    say "SQLite $sqlite_version is in $sqlite_dir"
fi

# --- Static Qt ------------------------------------------------------------------------------------
# The toolchain file: 64-bit as it is; 32-bit with floating point in SSE2, which every processor
# that a supported Windows runs on has: x87 code would round otherwise than the 64-bit build that
# the tests run.
sse2_comment="" sse2_flags=""
if [ "$arch" = i686 ]; then
    sse2_comment=$'# Floating point in SSE2, which every processor a supported Windows runs on has: x87 code would\n# round otherwise than the 64-bit build the tests run.\n'
    sse2_flags=$'set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")\nset(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")\n'
fi
{
    printf '# Cross-compiles for %s-bit Windows with MinGW-w64, in its posix thread model, which Qt needs.\n' \
        "$([ "$arch" = i686 ] && echo 32 || echo 64)"
    printf '%s' "$sse2_comment"
    printf 'set(CMAKE_SYSTEM_NAME Windows)\nset(CMAKE_SYSTEM_PROCESSOR %s)\n' "$arch"
    printf 'set(CMAKE_C_COMPILER %s-gcc-posix)\nset(CMAKE_CXX_COMPILER %s-g++-posix)\n' "$triplet" "$triplet"
    printf 'set(CMAKE_RC_COMPILER %s-windres)\n' "$triplet"
    printf '%s' "$sse2_flags"
    printf 'set(CMAKE_FIND_ROOT_PATH /usr/%s)\n' "$triplet"
    printf 'set(CMAKE_FIND_ROOT_PATH_MODE_%s)\n' "PROGRAM NEVER" "LIBRARY ONLY" "INCLUDE ONLY" "PACKAGE ONLY"
} >"$toolchain.new"
if cmp -s "$toolchain.new" "$toolchain"; then rm "$toolchain.new"; else mv "$toolchain.new" "$toolchain"; fi

if [ "$(cat "$qt_prefix/.done" 2>/dev/null || echo none)" != "${left_out[*]}" ]; then
    version=$(source_version qt6-base "$host_qt")
    [ "$version" = "$host_qt" ] || die "Debian's archive has no qt6-base source $host_qt"
    say "fetching the source of qt6-base $version"
    qt_src=$(fetch_source qt6-base "$version")
    grep -q "QT_REPO_MODULE_VERSION \"$qt_version\"" "$qt_src/.cmake.conf" \
        || die "$qt_src is not Qt $qt_version"
    qt_build=$work/qt-build
    mkdir -p "$qt_build"
    if [ "$(cat "$qt_build/.configured" 2>/dev/null || echo none)" != "${left_out[*]}" ]; then
        say "configuring Qt (about a minute)"
        rm -rf "$qt_build"
        mkdir -p "$qt_build"
        (cd "$qt_build" && nice -n 19 "$qt_src/configure" \
            -prefix "$qt_prefix" \
            -xplatform win32-g++ -device-option CROSS_COMPILE="$triplet-" \
            -qt-host-path /usr \
            -static -release -nomake examples -nomake tests \
            -no-opengl -no-dbus -no-icu -no-glib -no-zstd -no-libjpeg \
            -qt-zlib -qt-libpng -qt-harfbuzz -qt-pcre -qt-doubleconversion \
            -no-feature-sql -no-feature-network -no-feature-printsupport -no-feature-concurrent \
            -no-feature-xml -no-feature-vulkan \
            -no-feature-tabletevent \
            "${left_out[@]}" \
            -- -G Ninja \
            -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
            -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
            >configure.log 2>&1) \
            || { tail -n 40 "$qt_build/configure.log" >&2; die "configuring Qt failed (log: $qt_build/configure.log)"; }
        printf '%s\n' "${left_out[*]}" >"$qt_build/.configured"
    fi
    say "building Qt with $jobs jobs (about 20 minutes on two cores; log: $qt_build/build.log)"
    # Ninja's progress, one line in about fifty.
    set +e
    nice -n 19 cmake --build "$qt_build" --parallel "$jobs" 2>&1 \
        | tee "$qt_build/build.log" \
        | awk '/^\[[0-9]+\/[0-9]+\]/ { if (++n % 50 == 1) { s = $1; gsub(/[][]/, "", s); split(s, a, "/"); printf "  step %s of %s\n", a[1], a[2]; fflush() } }'
    built=${PIPESTATUS[0]}
    set -e
    [ "$built" -eq 0 ] || { grep -E -A20 'FAILED|error:' "$qt_build/build.log" | head -n 60 >&2
                            die "building Qt failed (log: $qt_build/build.log)"; }
    say "installing Qt in $qt_prefix"
    rm -rf "$qt_prefix"
    cmake --install "$qt_build" >"$work/qt-install.log" 2>&1 \
        || { tail -n 30 "$work/qt-install.log" >&2; die "installing Qt failed"; }
    printf '%s\n' "${left_out[*]}" >"$qt_prefix/.done"
    say "deleting the build folder"
    rm -rf "$qt_build" "$work/qt6-base"
fi

rm -rf "$work"
printf '%s\n' "$stamp_text" >"$stamp"
say "done: Qt $qt_version in $qt_prefix, SQLite $sqlite_version in $sqlite_dir ($(du -sh "$cache" | cut -f1))"
