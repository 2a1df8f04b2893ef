#!/usr/bin/env bash
# Holds the field tables of docs/batch-output.md against what the tools print for the test
# files: every field of every JSON record (in every combination of --check, --scan and
# --key-frames), every CSV column of every mode, the rules in JSON and the repair's JSON
# summary. A field printed without a row fails, and so does a row no output prints; the CSV
# columns must also come in the documented order.
# Usage: docs_fields_test.sh PLOVIK_REPORT PLOVIK_REPAIR SOURCE_DIR IO_FAULTS_LIBRARY
set -euo pipefail
report=$(realpath "$1")
repair=$(realpath "$2")
source_dir=$(realpath "$3")
faults=$(realpath "$4")
doc=$source_dir/docs/batch-output.md
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failed=0
fail() { echo "docs/batch-output.md: $*" >&2; failed=1; }

# The rows of the tables that follow <!-- fields: OUTPUT -->: each name of the first column
# (full names in backticks, separated by commas) and the row's second cell, tab-separated.
documented() {
    awk -v marker="<!-- fields: $1 -->" -F '|' '
        $0 == marker { table = 1; rows = 0; next }
        table && /^\|/ {
            if (++rows <= 2) next  # the heading and the line under it
            cell = $2
            while (match(cell, /`[^`]+`/)) {
                names[++n] = substr(cell, RSTART + 1, RLENGTH - 2)
                cell = substr(cell, 1, RSTART - 1) substr(cell, RSTART + RLENGTH)
            }
            if (n == 0 || cell !~ /^[ ,]*$/) {
                printf "docs/batch-output.md:%d: the first cell is not field names in backticks: %s\n", NR, $2 > "/dev/stderr"
                bad = 1
            }
            with = $3
            gsub(/[ `]/, "", with)
            for (i = 1; i <= n; ++i) print names[i] "\t" with
            n = 0
            next
        }
        table && rows { table = 0 }
        END { exit bad }' "$doc"
}

# The names of one output, sorted; a name documented twice fails.
documented_names() {
    local names
    names=$(documented "$1" | cut -f1) || fail "$1: a row is not in the form of the table"
    [[ -n $names ]] || fail "no table follows <!-- fields: $1 -->"
    local twice
    twice=$(sort <<<"$names" | uniq -d)
    [[ -z $twice ]] || fail "$1: documented twice: $twice"
    sort -u <<<"$names"
}

# Every field path of the JSON records read: nested fields as a.b, those of a list's objects
# as a[].b.
field_paths() {
    jq -r 'paths | map(if type == "number" then "[]" else "." + . end) | join("")
                 | ltrimstr(".") | select(endswith("[]") | not)' | sort -u
}

# Both ways: fields printed that have no row, and rows that no output printed.
compare() {
    local output=$1 printed=$2
    local missing extra
    documented_names "$output" > "$output.documented"
    missing=$(comm -23 "$printed" "$output.documented")
    extra=$(comm -13 "$printed" "$output.documented")
    [[ -z $missing ]] || fail "$output: printed but not documented:"$'\n'"$missing"
    [[ -z $extra ]] || fail "$output: documented but printed by no mode:"$'\n'"$extra"
}

# Runs a tool whose exit status may be 1 (some test files are damaged) or 2 (a refused
# repair), but not that of a crash.
run() {
    local status=0
    "$@" 2>/dev/null || status=$?
    ((status <= 2)) || { echo "exit status $status: $*" >&2; exit 1; }
}

# The test files, a cut one, one that is not AVI and one that does not exist.
cd "$tmp"
cp "$source_dir"/tests/data/*.avi "$source_dir"/samples/sample.avi .
head -c 71683 sample.avi > cut.avi
printf 'RIFF\4\0\0\0WAVE' > not_avi.avi
files=(*.avi missing.avi)

# A check reads the movie data, as --scan does, unless it is quick: "--scan" columns show then.
for check in "" --check "--check --quick"; do
    for scan in "" --scan; do
        [[ $check == *--quick* && -n $scan ]] && continue  # not together
        for key_frames in "" --key-frames; do
            run "$report" --format json $check $scan $key_frames -- "${files[@]}" >> report.jsonl
        done
        run "$report" --format csv $check $scan -- "${files[@]}" > report.csv
        printed=$(head -n 1 report.csv | tr -d '\r' | tr , '\n')
        wanted=$(documented report-csv | awk -F '\t' -v opts="$check $scan" '
            $2 == "" || index(opts, $2) ||
            ($2 == "--scan" && index(opts, "--check") && !index(opts, "--quick")) { print $1 }')
        diff <(echo "$wanted") <(echo "$printed") > columns.diff ||
            fail "$(echo csv $check $scan): the columns differ (< documented, > printed):"$'\n'"$(grep '^[<>]' columns.diff)"
    done
done
# A disk whose reads fail in the movie data (tests/support/io_faults.cpp): the read error.
fail_at=$(($(grep -abo movi sample.avi | head -n 1 | cut -d: -f1) + 1000))
for check in "" --check; do
    for scan in "" --scan; do
        run env ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0 \
            LD_PRELOAD="$faults" PLOVIK_FAIL_PATH="$(realpath sample.avi)" PLOVIK_FAIL_AT=$fail_at \
            "$report" --format json $check $scan -- sample.avi >> report.jsonl
    done
done
field_paths < report.jsonl > report.paths
compare report-json report.paths

run "$report" --list-rules --format json > rules.jsonl
field_paths < rules.jsonl > rules.paths
compare rules-json rules.paths

# Every outcome of a repair: written, planned, refused, not repairable.
run "$repair" --format json cut.avi fixed.avi > repair.jsonl
run "$repair" --format json --dry-run cut.avi planned.avi >> repair.jsonl
run "$repair" --format json cut.avi fixed.avi >> repair.jsonl
run "$repair" --format json not_avi.avi other.avi >> repair.jsonl
field_paths < repair.jsonl > repair.paths
compare repair-json repair.paths

((failed == 0)) || exit 1
echo "docs/batch-output.md lists every field"
