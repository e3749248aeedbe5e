#!/usr/bin/env bash
# Builds the benchmarks in build-bench/ (or $PRISMOR_BENCH_BUILD_DIR) the way scripts/build.sh
# builds Prismor, and runs them: start-up and peak memory of Prismor against a bare Qt window on
# a virtual X display (Xvfb, 96 dpi, no window manager), one whole check of company A, and the
# accounts lock under contention; the check also in child processes under strace, which counts
# its system calls and adds a delay to those of files. Arguments go to prismor_bench (--runs,
# --check-runs, --traced-checks, --lock-processes, --lock-seconds, --only). Without Xvfb the
# start-up runs on the offscreen platform.
#
# Not part of the tests: figures depend on the machine and what else it is doing.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-dependencies.sh bench
build_dir=${PRISMOR_BENCH_BUILD_DIR:-build-bench}

cmake -S . -B "$build_dir" -DPRISMOR_BENCH=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build_dir" --target prismor_bench --parallel "$(nproc)" >/dev/null

work=$(mktemp -d)
xvfb_pid=
cleanup() {
    [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"

if command -v Xvfb >/dev/null; then
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -dpi 96 -nolisten tcp 3>"$work/display" \
        2>"$work/xvfb.log" &
    xvfb_pid=$!
    for _ in $(seq 100); do
        [ -s "$work/display" ] && break
        sleep 0.1
    done
    [ -s "$work/display" ] || { cat "$work/xvfb.log"; echo "Xvfb did not start" >&2; exit 1; }
    export DISPLAY=":$(cat "$work/display")" QT_QPA_PLATFORM=xcb
else
    echo "Xvfb not found: start-up is measured on the offscreen platform."
    export QT_QPA_PLATFORM=offscreen
fi

"$build_dir/bench/prismor_bench" "$@"
