#!/usr/bin/env bash
# Builds the whole project with AddressSanitizer and UndefinedBehaviorSanitizer in build-asan/
# (or $PRISMOR_ASAN_BUILD_DIR) and runs every test there once, on the offscreen platform (the
# end-to-end tests bring their own virtual display). Any sanitizer report fails its test.
#
# Qt and the other system libraries are not instrumented: errors inside them go unseen, but
# every call into them from Prismor's code is checked. The leak checker runs at each test's end
# with no suppressions; none has been needed.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${PRISMOR_ASAN_BUILD_DIR:-build-asan}

cmake -S . -B "$build_dir" -DPRISMOR_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build_dir" --parallel "$(nproc)"

symbolizer=$(command -v llvm-symbolizer || true)
asan_options=abort_on_error=1:detect_leaks=1:detect_stack_use_after_return=1
asan_options+=:check_initialization_order=1:strict_init_order=1
export ASAN_OPTIONS="$asan_options${symbolizer:+:external_symbolizer_path=$symbolizer}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
QT_QPA_PLATFORM=offscreen ctest --test-dir "$build_dir" --output-on-failure --timeout 600
