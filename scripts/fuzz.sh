#!/usr/bin/env bash
# Builds the fuzzers with clang's libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer in
# build-fuzz/ (or $PRISMOR_FUZZ_BUILD_DIR) and runs each for the given number of seconds
# (default 20), starting from its committed seed corpus in fuzz/corpus/<name>/.
#
#   scripts/fuzz.sh          # a short run of each, as the tests do
#   scripts/fuzz.sh 3600     # an hour each
#
# Inputs that a run finds new are kept in <build dir>/corpus/<name>/ for the next run; an input
# that breaks a property is written to <build dir>/artifacts/ and the script fails.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
build_dir=${PRISMOR_FUZZ_BUILD_DIR:-build-fuzz}
fuzzers=(letter_filter to_number version_cut number_text)

CXX=clang++ cmake -S . -B "$build_dir" -DPRISMOR_FUZZ=ON -DBUILD_TESTING=OFF \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build_dir" --target prismor_fuzzers --parallel "$(nproc)"

export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
artifacts="$build_dir/artifacts"
mkdir -p "$artifacts"
failed=()
for name in "${fuzzers[@]}"; do
    corpus="$build_dir/corpus/$name"
    mkdir -p "$corpus"
    echo "== fuzz_$name for ${seconds} s"
    if ! "$build_dir/fuzz/fuzz_$name" -max_total_time="$seconds" -print_final_stats=1 \
            -artifact_prefix="$artifacts/$name-" "$corpus" "fuzz/corpus/$name" \
            > "$build_dir/fuzz_$name.log" 2>&1; then
        failed+=("$name")
        grep -E -A3 'Property violated|ERROR|SUMMARY' "$build_dir/fuzz_$name.log" || true
    fi
    grep -E '^stat::number_of_executed_units|^Done' "$build_dir/fuzz_$name.log" || true
done

if [ ${#failed[@]} -ne 0 ]; then
    echo "Fuzzing found faults in: ${failed[*]} (inputs in $artifacts/, logs in $build_dir/)"
    exit 1
fi
echo "Fuzzing: no property broken in ${#fuzzers[@]} fuzzers, ${seconds} s each."
