#!/usr/bin/env bash
# Runs the recipes of docs/archives.md as they are written there, on this machine: GNU
# parallel with two shards (both "machines" local), merged, against one run over the same
# files; and resuming a cut file of records.
# Usage: archives_test.sh PLOVIK_REPORT SOURCE_DIR
set -euo pipefail
exe=$(realpath "$1")
source_dir=$(realpath "$2")
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "archives test: $*" >&2; exit 1; }

# The shell block that follows the marker line naming the recipe.
recipe() {
    awk -v marker="<!-- $1 recipe:" '
        index($0, marker) == 1 { found = 1; next }
        found && /^```sh$/ { inside = 1; next }
        inside && /^```$/ { exit }
        inside { print }' "$source_dir/docs/archives.md"
}

# An archive of the test files, some in folders, and the tool on the PATH.
mkdir -p "$tmp/archive/a/b" "$tmp/archive/c" "$tmp/bin"
files=("$source_dir"/tests/data/*.avi)
for i in "${!files[@]}"; do
    cp "${files[i]}" "$tmp/archive/$(((i % 3 == 0)) && echo a/b || echo c)/$i.avi"
    cp "${files[i]}" "$tmp/archive/top $i.avi"
done
ln -s "$exe" "$tmp/bin/plovik-report"
export PATH="$tmp/bin:$PATH"
localize() { sed -e "s|/archive|$tmp/archive|g" -e 's|1/alpha,1/beta|1/:,1/:|'; }

cd "$tmp"
plovik-report --check --format json "$tmp/archive" > one-run.jsonl 2>/dev/null || true
[[ $(wc -l < one-run.jsonl) -eq $((2 * ${#files[@]})) ]] || fail "one run: $(wc -l < one-run.jsonl) records"

recipe parallel | localize > parallel.sh
[[ -s parallel.sh ]] || fail "no parallel recipe in docs/archives.md"
bash parallel.sh 2> parallel.err || true  # exit 1: some test files have problems
cmp -s archive.jsonl one-run.jsonl ||
    fail "the merged shards differ from one run: $(wc -l < archive.jsonl) records; $(grep -v '^plovik-report:' parallel.err | head -5)"

# Resume: keep the first records and half a line, as a run cut short would leave them.
head -n 3 one-run.jsonl > archive.jsonl
sed -n 4p one-run.jsonl | head -c 20 >> archive.jsonl
recipe resume | localize > resume.sh
[[ -s resume.sh ]] || fail "no resume recipe in docs/archives.md"
bash resume.sh 2>/dev/null || true
cmp -s <(sort archive.jsonl) <(sort one-run.jsonl) || fail "the resumed records differ from one run"
echo "archives recipes OK"
