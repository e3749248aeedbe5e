#!/usr/bin/env bash
# Runs standin_client.vbs with Wine's cscript against the registered stand-in, on a demo
# installation of its own, and answers the one dialog it opens with Enter. Runs inside a Wine
# session that scripts/windows/wine-run.sh has taken (WINEPREFIX, DISPLAY set).
#   run-vbscript-client.sh NORLIX_EXE
set -uo pipefail
norlix_exe=$1
script_dir=$(cd "$(dirname "$0")" && pwd -P)
home=$(mktemp -d -t prismor-vbscript.XXXXXX)
trap 'rm -rf "$home"' EXIT
windows_path() { printf 'Z:%s' "${1//\//\\}"; }
export NORLIX_HOME
NORLIX_HOME=$(windows_path "$home/norlix")

wine "$norlix_exe" demo </dev/null || { echo "norlix demo failed" >&2; exit 1; }
# The dialog's answer: Enter, once it is there.
( xdotool search --sync --limit 1 --name '^CAUTION$' >/dev/null 2>&1 && sleep 0.5 \
    && xdotool key --clearmodifiers Return ) &
answerer=$!
wine cscript //nologo "$(windows_path "$script_dir/standin_client.vbs")" </dev/null \
    | tee "$home/output"
kill "$answerer" 2>/dev/null
wait "$answerer" 2>/dev/null
# A run-time error stops the script without a word and with status 0: only its last line counts.
if ! tr -d '\r' <"$home/output" | grep -qx 'done: 0 failed'; then
    echo "the script did not run to its end without a failed check" >&2
    exit 1
fi
