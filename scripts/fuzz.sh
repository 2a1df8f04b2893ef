#!/usr/bin/env bash
# Fuzzes the AVI analyser and the movie-data scan for SECONDS in all (default 60, shared
# between the two targets) with libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer.
# Any crash, leak, hang (an input over 1 s) or sanitizer report fails.
# Usage: scripts/fuzz.sh [SECONDS]
set -euo pipefail

seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-fuzz
targets=(parser scan)

cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DPLOVIK_BUILD_FUZZ=ON -DPLOVIK_BUILD_TESTS=OFF -DPLOVIK_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j 2 --target "${targets[@]/#/plovik_fuzz_}" plovik_fuzz_seeds

seeds=$build/seeds
artifacts=$build/artifacts
rm -rf "$seeds"
mkdir -p "$seeds" "$artifacts"
"$build/fuzz/plovik_fuzz_seeds" "$seeds"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:allocator_may_return_null=0
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
share=$(( seconds / ${#targets[@]} ))
((share > 0)) || share=1
for target in "${targets[@]}"; do
    corpus=$build/corpus  # the parser's, as it always was
    [[ $target == parser ]] || corpus=$build/corpus-$target
    log=$build/fuzz-$target.log
    mkdir -p "$corpus"
    echo "Fuzzing the $target target for ${share} s..."
    if ! "$build/fuzz/plovik_fuzz_$target" -max_total_time="$share" -timeout=1 -detect_leaks=1 \
        -rss_limit_mb=2048 -malloc_limit_mb=512 -artifact_prefix="$artifacts/$target-" \
        -print_final_stats=1 "$corpus" "$seeds" 2>"$log"; then
        tail -n 60 "$log" >&2
        echo "Fuzzing found a problem; the input is in $artifacts" >&2
        exit 1
    fi
    grep -E '^(stat::number_of_executed_runs|Done)' "$log" || true
done
echo "Fuzzing passed."
