#!/usr/bin/env bash
# Makes the Debian package from a build as the README says (cpack -G DEB) and checks it as a
# packager would: lintian finds no error and no warning (its other tags are shown), and the
# AppStream metainfo and the desktop entry that it installs validate.
#   lint-deb-package.sh BUILD_DIR
# Exits 77 (ctest's SKIPPED) when one of the tools is not installed.
set -euo pipefail
build_dir=$(readlink -f "$1")

source "$(dirname "$(readlink -f "$0")")/deb-package-common.sh"
make_deb_package "$build_dir" "dpkg-dev, lintian, appstream, desktop-file-utils" \
    lintian appstreamcli desktop-file-validate

# Every tag is shown, down to the pedantic ones; errors and warnings fail.
status=0
lintian --display-level '>=pedantic' --fail-on error,warning "$deb" >"$work/lintian.log" 2>&1 ||
    status=$?
echo "lintian (status $status):"
grep -v '^running with root privileges' "$work/lintian.log" | sed 's/^/    /' || true
[ "$status" -eq 0 ] || fail "lintian reports errors or warnings"

root=$work/root
dpkg-deb -x "$deb" "$root"
metainfo=("$root"/usr/share/metainfo/*.metainfo.xml)
if [ -f "${metainfo[0]}" ]; then
    status=0
    appstreamcli validate --no-net --pedantic --explain "${metainfo[@]}" >"$work/as.log" 2>&1 ||
        status=$?
    echo "appstreamcli validate (status $status):"
    sed 's/^/    /' "$work/as.log"
    [ "$status" -eq 0 ] || fail "appstreamcli does not accept ${metainfo[*]#"$root"}"
    # Warnings let validation pass; a packager wants none.
    ! grep -q '^W:' "$work/as.log" || fail "appstreamcli warns about the metainfo"
    status=0
    appstreamcli validate-tree --no-net --pedantic "$root" >"$work/as-tree.log" 2>&1 || status=$?
    echo "appstreamcli validate-tree (status $status):"
    sed 's/^/    /' "$work/as-tree.log"
    [ "$status" -eq 0 ] ||
        fail "appstreamcli does not accept the installed tree (metainfo, desktop entry, icons)"
    ! grep -q '^W:' "$work/as-tree.log" || fail "appstreamcli warns about the installed tree"
else
    fail "the package holds no AppStream metainfo in /usr/share/metainfo"
fi
for entry in "$root"/usr/share/applications/*.desktop; do
    echo "desktop-file-validate ${entry#"$root"}:"
    desktop-file-validate "$entry" 2>&1 | sed 's/^/    /'
    [ -z "$(desktop-file-validate "$entry" 2>&1)" ] || fail "desktop-file-validate finds faults"
done

[ "$failures" -eq 0 ] || exit 1
echo "lintian, appstreamcli and desktop-file-validate accept the package"
