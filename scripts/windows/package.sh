#!/usr/bin/env bash
# Packs the Windows build of Prismor for users:
#   scripts/windows/package.sh [BUILD_FOLDER]        (default build-windows)
# writes, in BUILD_FOLDER,
#   Prismor-<version>-x64.msi   installs Prismor.exe and norlix.exe in Program Files\Prismor,
#                               with Prismor in the Start menu (resources/prismor.wxs)
#   Prismor-<version>-x64.zip   the two executables, README.md and copyright.txt in a folder
#                               Prismor-<version>-x64, for those who may not install
# from the executables that scripts/build-windows.sh built there. Both carry stripped copies,
# which check-executables.py checks first: stripping removes only the symbols, and that check
# makes sure the version block and the icon are still there. Needs wixl (msitools), zip,
# MinGW-w64's strip and python3-pefile.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$root/build-windows}" && pwd)

die() { printf 'package: %s\n' "$*" >&2; exit 1; }

for file in Prismor.exe norlix.exe copyright CMakeCache.txt; do
    [ -f "$build/$file" ] || die "$build/$file is missing: configure and build with scripts/build-windows.sh first"
done
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || die "no project version in $build/CMakeCache.txt"
strip=$(sed -n 's/^CMAKE_STRIP:FILEPATH=//p' "$build/CMakeCache.txt")
strip=${strip:-x86_64-w64-mingw32-strip}
name=Prismor-$version-x64
work=$build/windows-package
stage=$work/$name

rm -rf "$work"
mkdir -p "$stage"
for exe in Prismor.exe norlix.exe; do
    "$strip" -o "$stage/$exe" "$build/$exe"
done
/usr/bin/python3 "$root/scripts/windows/check-executables.py" "$stage" >"$work/check.log" \
    || { cat "$work/check.log" >&2; die "the stripped executables fail check-executables.py"; }

# wixl finds the files to pack only by paths relative to where it runs.
(cd "$work" && wixl -a x64 -D Version="$version" -D StageDir="$name" \
    -D ResourcesDir="$(realpath --relative-to=. "$root/resources")" \
    -o "$name.msi" "$root/resources/prismor.wxs")

cp "$root/README.md" "$stage/README.md"
cp "$build/copyright" "$stage/copyright.txt"
(cd "$work" && zip -q -X -r "$name.zip" "$name")

mv -f "$work/$name.msi" "$work/$name.zip" "$build/"
rm -rf "$work"
printf 'package: %s\n' "$build/$name.msi" "$build/$name.zip"
