#!/usr/bin/env bash
# What scripts/run.sh does to what is there:
# - on an existing installation whose companies differ from the demo, with no display (so that
#   it checks company A on a virtual display), every company, setting and lock, the current
#   company and the workstation name are afterwards as they were;
# - run by a user who is neither root nor allowed to sudo, with a package missing, it names the
#   package and the command that installs it, installs nothing and stops.
#   check-run-command.sh SOURCE_DIR BUILD_DIR
# Exits 77 (ctest's SKIPPED) when the virtual display's tools are not installed.
set -euo pipefail
source_dir=$(readlink -f "$1")
build_dir=$(readlink -f "$2")
source "$source_dir/tests/e2e/desktop-tools.sh"

missing=$(missing_desktop_tools)
if [ -n "$missing" ]; then
    echo "SKIPPED: the virtual display needs: $missing; scripts/install-dependencies.sh installs them"
    exit 77
fi

work=$(mktemp -d -t prismor-run.XXXXXX)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config NORLIX_HOME=$work/home/norlix
unset XDG_DATA_HOME DISPLAY WAYLAND_DISPLAY
mkdir -p "$HOME"
norlix() { "$build_dir/components/norlix" "$@" >/dev/null; }

# An installation unlike the demo: other names and versions, B with its database, C locked by
# another workstation, A locked twice by a third (which the check must leave locked), a fifth
# company, D current, a workstation name.
norlix init
norlix company add A "Ash Tree Partners"
norlix setting set A CompanyVersNbr V7.001
norlix setting set A AcctDBtidyMonth 2024-03
norlix lock A SERVER-ROOM
norlix lock A SERVER-ROOM
norlix company add B "Beech Street Books"
norlix company add C "Cypress Cars"
norlix lock C OTHER-PC
norlix company add D "Dune Dental"
norlix setting set D CompanyVersNbr V5.500
norlix company add E "Elm Estates" --file elm.sqlite
norlix current D
norlix workstation FRONT-DESK

# Everything the installation and the settings hold: each file, and each database as SQL.
snapshot() {
    find "$NORLIX_HOME" "$XDG_CONFIG_HOME" -type f | LC_ALL=C sort
    "$desktop_python" - "$NORLIX_HOME" <<'PYTHON'
import pathlib, sqlite3, sys
for path in sorted(pathlib.Path(sys.argv[1]).rglob("*.sqlite")):
    connection = sqlite3.connect(f"file:{path}?mode=ro", uri=True)
    print(f"== {path}")
    print("\n".join(connection.iterdump()))
    connection.close()
PYTHON
    cat "$XDG_CONFIG_HOME/Norlix/Norlix6.ini"
}
snapshot >"$work/before"

status=0
(cd "$source_dir" && PRISMOR_BUILD_DIR=$build_dir scripts/run.sh) >"$work/run.log" 2>&1 ||
    status=$?
sed 's/^/    /' "$work/run.log"
[ "$status" -eq 0 ] || fail "scripts/run.sh ended with status $status"
grep -q "Ash Tree Partners" "$work/run.log" || fail "scripts/run.sh did not check company A"

snapshot >"$work/after"
if ! diff -u "$work/before" "$work/after" >"$work/diff"; then
    fail "scripts/run.sh changed the installation or the settings:"
    sed 's/^/    /' "$work/diff"
else
    echo "every company, setting and lock is as it was"
fi

# A user who may not install: a package reported missing by a stand-in dpkg-query, no sudo
# rights (nobody is in no sudo group), and an apt-get that notes being called.
unprivileged=$work/unprivileged
mkdir -p "$unprivileged/bin"
chmod 755 "$work" "$unprivileged" "$unprivileged/bin"
cp "$source_dir/scripts/install-dependencies.sh" "$unprivileged/"
cat >"$unprivileged/bin/dpkg-query" <<'EOF'
#!/bin/sh
for package; do :; done
[ "$package" = fonts-liberation2 ] && echo not-installed || echo installed
EOF
cat >"$unprivileged/bin/apt-get" <<EOF
#!/bin/sh
echo "apt-get \$*" >>"$unprivileged/apt-get-called"
EOF
chmod 755 "$unprivileged"/bin/* "$unprivileged/install-dependencies.sh"
status=0
setpriv --reuid=nobody --regid=nogroup --clear-groups \
    env -i PATH="$unprivileged/bin:/usr/bin:/bin" HOME=/nonexistent \
    bash "$unprivileged/install-dependencies.sh" run </dev/null >"$work/user.log" 2>&1 || status=$?
echo "install-dependencies.sh run as nobody (status $status):"
sed 's/^/    /' "$work/user.log"
[ "$status" -eq 1 ] || fail "as nobody, install-dependencies.sh ended with status $status, not 1"
[ ! -e "$unprivileged/apt-get-called" ] ||
    fail "as nobody, install-dependencies.sh ran $(cat "$unprivileged/apt-get-called")"
grep -q "missing: fonts-liberation2$" "$work/user.log" || fail "the missing package is not named"
[ "$(grep -c "^ *apt-get install --no-install-recommends fonts-liberation2$" "$work/user.log")" \
    -eq 1 ] || fail "the one command that installs the missing package is not given"

[ "$failures" -eq 0 ] || exit 1
echo "scripts/run.sh keeps what is there"
