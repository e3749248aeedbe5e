#!/usr/bin/env bash
# Makes the Debian package from a build as the README says (cpack -G DEB), checks that it holds
# Prismor, norlix, the icons, the desktop entry and metainfo, the manual pages, the completion,
# the copyright and changelog under /usr with the Qt libraries and the font among its
# dependencies, and then runs one end-to-end case on the executables unpacked from it.
#   check-deb-package.sh BUILD_DIR ARTIFACTS_DIR
# Exits 77 (ctest's SKIPPED) when the Debian packaging tools are not installed.
set -euo pipefail
here=$(dirname "$(readlink -f "$0")")
build_dir=$(readlink -f "$1")
artifacts=$2

source "$here/deb-package-common.sh"
make_deb_package "$build_dir" "dpkg-dev, file" dpkg-shlibdeps file

contents=$(dpkg-deb -c "$deb" | awk '{print $NF}')
expected=(./usr/bin/Prismor ./usr/bin/norlix ./usr/share/applications/prismor.desktop
          ./usr/share/icons/hicolor/scalable/apps/prismor.svg
          ./usr/share/metainfo/com.norlix.prismor.metainfo.xml
          ./usr/share/man/man1/Prismor.1.gz ./usr/share/man/man1/norlix.1.gz
          ./usr/share/bash-completion/completions/norlix
          ./usr/share/doc/prismor/copyright ./usr/share/doc/prismor/changelog.gz)
for side in 16 32 48 64 128 256; do
    expected+=("./usr/share/icons/hicolor/${side}x${side}/apps/prismor.png")
done
for path in "${expected[@]}"; do
    grep -qxF "$path" <<<"$contents" && echo "holds $path" || fail "the package lacks $path"
done

depends=$(dpkg-deb -f "$deb" Depends)
for library in libqt6widgets6 libqt6gui6 libsqlite3-0; do
    grep -q "\b$library\b" <<<"$depends" || fail "Depends does not name $library: $depends"
done
# The window's layout is made for Arial's metrics, which the Liberation fonts share.
grep -qF "fonts-liberation2 | fonts-liberation" <<<"$depends" ||
    fail "Depends does not name the font: $depends"

# The desktop entry must start the installed executable and name the installed icon.
root=$work/root
dpkg-deb -x "$deb" "$root"
entry=$root/usr/share/applications/prismor.desktop
exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
icon_name=$(sed -n 's/^Icon=//p' "$entry")
[ -n "$exec_name" ] && [ -x "$root/usr/bin/$exec_name" ] ||
    fail "the desktop entry's Exec=$exec_name is not an installed executable"
[ -n "$icon_name" ] && [ -f "$root/usr/share/icons/hicolor/32x32/apps/$icon_name.png" ] ||
    fail "the desktop entry's Icon=$icon_name is not an installed icon"

# What was packed works: a check of company A with the unpacked executables.
status=0
"$here/run-e2e.sh" --prismor "$root/usr/bin/Prismor" --norlix "$root/usr/bin/norlix" \
    --artifacts "$artifacts/deb-package" found_A || status=$?
if [ "$status" -eq 77 ]; then
    echo "note: the unpacked Prismor was not run; the virtual desktop's tools are missing"
elif [ "$status" -ne 0 ]; then
    fail "the unpacked Prismor did not pass the check of company A"
fi

[ "$failures" -eq 0 ] || exit 1
echo "the Debian package is complete"
