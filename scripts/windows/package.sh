#!/usr/bin/env bash
# Packs the 32-bit Windows build of Prismor for users:
#   scripts/windows/package.sh [BUILD_FOLDER]        (default build-windows-x86)
# writes, in BUILD_FOLDER,
#   Prismor-<version>-x86.msi   installs Prismor.exe, norlix.exe and the stand-in's
#                               NorlixStandIn.dll in Program Files (x86)\Prismor on a 64-bit
#                               Windows, with Prismor in the Start menu (resources/prismor.wxs);
#                               it registers nothing, so Prismor finds the Norlix registered there
#   Prismor-<version>-x86.zip   the three files, README.md and copyright.txt in a folder
#                               Prismor-<version>-x86, for those who may not install
# from what scripts/build-windows.sh built there. Both carry stripped copies, which
# check-executables.py checks first: stripping removes only the symbols, and that check makes
# sure the version block, the icon and the server's exports are still there. Needs wixl
# (msitools), zip, MinGW-w64's strip and python3-pefile.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$root/build-windows-x86}" && pwd)

die() { printf 'package: %s\n' "$*" >&2; exit 1; }

files=(Prismor.exe norlix.exe NorlixStandIn.dll)
for file in "${files[@]}" copyright CMakeCache.txt; do
    [ -f "$build/$file" ] || die "$build/$file is missing: configure and build with scripts/build-windows.sh first"
done
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || die "no project version in $build/CMakeCache.txt"
strip=$(sed -n 's/^CMAKE_STRIP:FILEPATH=//p' "$build/CMakeCache.txt")
strip=${strip:-i686-w64-mingw32-strip}
name=Prismor-$version-x86
work=$build/windows-package
stage=$work/$name

rm -rf "$work"
mkdir -p "$stage"
for file in "${files[@]}"; do
    "$strip" -o "$stage/$file" "$build/$file"
done
/usr/bin/python3 "$root/scripts/windows/check-executables.py" --target x86 "$stage" >"$work/check.log" \
    || { cat "$work/check.log" >&2; die "the stripped executables fail check-executables.py"; }

# wixl finds the files to pack only by paths relative to where it runs.
(cd "$work" && wixl -a x86 -D Version="$version" -D StageDir="$name" \
    -D ResourcesDir="$(realpath --relative-to=. "$root/resources")" \
    -o "$name.msi" "$root/resources/prismor.wxs")

cp "$root/README.md" "$stage/README.md"
cp "$build/copyright" "$stage/copyright.txt"
(cd "$work" && zip -q -X -r "$name.zip" "$name")

mv -f "$work/$name.msi" "$work/$name.zip" "$build/"
rm -rf "$work"
printf 'package: %s\n' "$build/$name.msi" "$build/$name.zip"
