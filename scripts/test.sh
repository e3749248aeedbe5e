#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-dependencies.sh
scripts/build.sh
build_dir=${PRISMOR_BUILD_DIR:-build}
QT_QPA_PLATFORM=offscreen ctest --test-dir "$build_dir" --output-on-failure --timeout 300
