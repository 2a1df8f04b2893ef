#!/usr/bin/env bash
# Fuzzes the AVI analyser and the movie-data scan for SECONDS in all (default 60) with
# libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer, a quarter of the time each:
# every input must end cleanly in the analyser (parser) and in the scan after it (scan),
# the memory source and the file reader, with and without a time limit, must give the
# same results (differential), and the C interface over a read callback must give a
# record and a verdict that fits its findings (capi). Any crash, leak, hang (an input still
# running after a minute, which a busy machine never takes), difference or sanitizer report
# fails; each target's executions a second are printed, one line each.
# Usage: scripts/fuzz.sh [SECONDS]
set -euo pipefail

seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-fuzz

cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DPLOVIK_BUILD_FUZZ=ON -DPLOVIK_BUILD_TESTS=OFF -DPLOVIK_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j 2 --target plovik_fuzz_parser plovik_fuzz_differential plovik_fuzz_scan \
    plovik_fuzz_capi plovik_fuzz_seeds

seeds=$build/seeds
artifacts=$build/artifacts
rm -rf "$seeds"
mkdir -p "$seeds" "$artifacts"
"$build/fuzz/plovik_fuzz_seeds" "$seeds"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:allocator_may_return_null=0
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

# rate NAME LOG START: one line of the executions that libFuzzer's final stats count ("runs"
# or "units", by its version) and their rate since START (seconds since the epoch).
rate() {
    LC_ALL=C awk -v name="$1" -v start="$3" -v end="$(date +%s.%N)" '
        /^stat::number_of_executed_(runs|units):/ { runs = $2 }
        END {
            seconds = end - start
            printf "%s: %d executions in %.1f s, %d a second\n", name, runs, seconds, runs / seconds
        }' "$2"
}

# fuzz NAME SECONDS: one target with its own corpus and log.
fuzz() {
    local name=$1 time=$2
    local corpus=$build/corpus-$name log=$build/fuzz-$name.log
    mkdir -p "$corpus"
    echo "Fuzzing the $name target for ${time} s..."
    local start
    start=$(date +%s.%N)
    if ! "$build/fuzz/plovik_fuzz_$name" -max_total_time="$time" -timeout=60 -detect_leaks=1 \
        -rss_limit_mb=2048 -malloc_limit_mb=512 -artifact_prefix="$artifacts/$name-" \
        -print_final_stats=1 "$corpus" "$seeds" 2>"$log"; then
        tail -n 60 "$log" >&2
        echo "Fuzzing found a problem; the input is in $artifacts" >&2
        exit 1
    fi
    rate "$name" "$log" "$start"
}

quarter=$((seconds / 4))
((quarter > 0)) || quarter=1
fuzz parser "$quarter"
fuzz differential "$quarter"
fuzz scan "$quarter"
fuzz capi "$quarter"
echo "Fuzzing passed."
