#!/usr/bin/env bash
# Fuzzes the AVI analyser for SECONDS (default 60) with libFuzzer, AddressSanitizer
# and UndefinedBehaviorSanitizer. Any crash, leak, hang (an input over 1 s) or
# sanitizer report fails. Usage: scripts/fuzz.sh [SECONDS]
set -euo pipefail

seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-fuzz

cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DPLOVIK_BUILD_FUZZ=ON -DPLOVIK_BUILD_TESTS=OFF -DPLOVIK_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j 2 --target plovik_fuzz_parser plovik_fuzz_seeds

corpus=$build/corpus
seeds=$build/seeds
artifacts=$build/artifacts
rm -rf "$seeds"
mkdir -p "$corpus" "$seeds" "$artifacts"
"$build/fuzz/plovik_fuzz_seeds" "$seeds"

echo "Fuzzing the analyser for ${seconds} s..."
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:allocator_may_return_null=0
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
if ! "$build/fuzz/plovik_fuzz_parser" -max_total_time="$seconds" -timeout=1 -detect_leaks=1 \
    -rss_limit_mb=2048 -malloc_limit_mb=512 -artifact_prefix="$artifacts/" -print_final_stats=1 \
    "$corpus" "$seeds" 2>"$build/fuzz.log"; then
    tail -n 60 "$build/fuzz.log" >&2
    echo "Fuzzing found a problem; the input is in $artifacts" >&2
    exit 1
fi
grep -E '^(stat::number_of_executed_runs|Done)' "$build/fuzz.log" || true
echo "Fuzzing passed."
