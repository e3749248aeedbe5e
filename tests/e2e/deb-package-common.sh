# Sourced by the scripts that check the Debian package: makes it from a build as the README says
# (cpack -G DEB) in a temporary folder, and counts the faults they find.
#   make_deb_package BUILD_DIR PACKAGES TOOL...
# sets work (removed at exit) and deb, or exits 77 (ctest's SKIPPED) when a tool is missing,
# naming the Debian PACKAGES that bring them.

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

make_deb_package() {
    local build_dir=$1 packages=$2 tool
    shift 2
    for tool in cpack dpkg-deb "$@"; do
        if ! command -v "$tool" >/dev/null; then
            echo "SKIPPED: checking the Debian package needs $tool (packages $packages); scripts/install-dependencies.sh installs it"
            exit 77
        fi
    done
    work=$(mktemp -d -t prismor-deb.XXXXXX)
    trap 'rm -rf "$work"' EXIT
    cpack -G DEB --config "$build_dir/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 ||
        { cat "$work/cpack.log"; exit 1; }
    local debs=("$work"/*.deb)
    [ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "FAIL: cpack made no single .deb"; exit 1; }
    deb=${debs[0]}
    echo "package: $(basename "$deb")"
}
