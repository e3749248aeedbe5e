#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test; then a short run of each fuzzer and the
# whole test suite once more under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-dependencies.sh test
scripts/build.sh
build_dir=${PRISMOR_BUILD_DIR:-build}

# Each stage runs even when an earlier one failed, so that one report shows every fault.
status=0
QT_QPA_PLATFORM=offscreen ctest --test-dir "$build_dir" --output-on-failure --timeout 300 \
    || status=1
scripts/fuzz.sh "${PRISMOR_FUZZ_SECONDS:-20}" || status=1
scripts/sanitizers.sh || status=1
exit "$status"
