#!/usr/bin/env bash
# Runs the command examples of README.md, docs/*.md and the manual pages as a reader would,
# each document's in order in a fresh copy of one folder (see folder()), and fails naming the
# document and line of every example whose exit status or output differs from the document.
# Markdown: "sh" blocks run as scripts, "console" blocks command by command ("$ " lines)
# against the lines shown ("..." stands for any lines), "text" blocks are not commands; an
# indented or otherwise fenced block fails. Manual pages: every .EX block runs as a script.
# A comment "example: exit status N" before a block: it ends with N (else 0);
# "example: not run: REASON": it is skipped.
# Usage: docs_examples_test.sh PLOVIK_REPORT PLOVIK_REPAIR SOURCE_DIR
set -euo pipefail
report=$(realpath "$1")
repair=$(realpath "$2")
source_dir=$(realpath "$3")
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failed=0
fail() { echo "$*" >&2; failed=1; }

# The folder the examples run in, also their home folder ~ (shown as /home/me) and with the
# archive the documents call /archive:
#   samples/sample.avi, tests/data/*.avi  the files of this tree;
#   build/plovik-report, build/plovik-repair  the tools, also on the PATH;
#   clip.avi  the sample;  cut.avi  tests/data/msmpeg4v2_cut.avi;
#   films/a.avi  the sample;  films/b.avi  the sample cut 1000 bytes into its index;
#   films/c.avi  the sample without its index ("idx1" renamed "JUNK");
#   archive/2023/a.avi, archive/2023/b.avi  films/a.avi, films/b.avi;
#   archive/2024/c.avi, archive/2024/d.avi  the sample.
folder() {
    local dir=$1 sample=$source_dir/samples/sample.avi
    mkdir -p "$dir"/{samples,tests/data,build,films,archive/2023,archive/2024}
    cp "$sample" "$dir/samples/"
    cp "$source_dir"/tests/data/*.avi "$dir/tests/data/"
    ln -s "$report" "$dir/build/plovik-report"
    ln -s "$repair" "$dir/build/plovik-repair"
    cp "$sample" "$dir/clip.avi"
    cp "$source_dir/tests/data/msmpeg4v2_cut.avi" "$dir/cut.avi"
    cp "$sample" "$dir/films/a.avi"
    head -c $(($(stat -c %s "$sample") - 1000)) "$sample" > "$dir/films/b.avi"
    cp "$sample" "$dir/films/c.avi"
    local idx1
    idx1=$("$report" --format json "$sample" | jq -e '.index.position')
    printf 'JUNK' | dd of="$dir/films/c.avi" bs=1 seek="$idx1" conv=notrunc status=none
    cp "$dir/films/a.avi" "$dir/films/b.avi" "$dir/archive/2023/"
    cp "$sample" "$dir/archive/2024/c.avi"
    cp "$sample" "$dir/archive/2024/d.avi"
}
folder "$tmp/folder"
mkdir "$tmp/bin"
ln -s "$report" "$tmp/bin/plovik-report"
ln -s "$repair" "$tmp/bin/plovik-repair"

# Splits a document into its blocks: DIR/N (the block's lines) and a line of DIR/list for
# each, "N<TAB>KIND<TAB>LINE<TAB>MARK". Fails on a block or a mark out of the convention.
split_markdown() {
    awk -v dir="$2" '
        function problem(text) { printf "%s:%d: %s\n", FILENAME, NR, text > "/dev/stderr"; bad = 1 }
        inside && /^```$/ { inside = 0; close(file); next }
        inside { print > file; next }
        /^```/ {
            kind = substr($0, 4)
            if (kind != "sh" && kind != "console" && kind != "text")
                problem("a code block is fenced as sh, console or text, not \"" kind "\"")
            file = dir "/" ++n
            printf "%d\t%s\t%d\t%s\n", n, kind, NR, mark > (dir "/list")
            printf "" > file
            mark = ""; inside = 1; blank = 0; next
        }
        match($0, /^<!-- example: .* -->$/) {
            if (mark != "") problem("two example comments before one block")
            mark = substr($0, 15, length($0) - 18); next
        }
        blank && /^    / { problem("an indented code block: fence it as sh, console or text") }
        { blank = ($0 == "") }
        END {
            if (inside) problem("a code block without its end")
            if (mark != "") problem("an example comment without a block")
            exit bad
        }' "$1"
}

# The same for a manual page: .EX blocks, their roff escapes undone; any other escape fails.
split_man() {
    awk -v dir="$2" '
        function problem(text) { printf "%s:%d: %s\n", FILENAME, NR, text > "/dev/stderr"; bad = 1 }
        inside && /^\.EE/ { inside = 0; close(file); next }
        inside {
            line = $0
            gsub(/\\e|\\\(rs/, "\001", line)
            gsub(/\\-/, "-", line); gsub(/\\\(aq/, "\047", line); gsub(/\\\(dq/, "\"", line)
            gsub(/\\&/, "", line)
            if (index(line, "\\")) problem("a roff escape the examples do not use: " $0)
            gsub(/\001/, "\\", line)
            print line > file; next
        }
        /^\.EX/ {
            file = dir "/" ++n
            printf "%d\tsh\t%d\t%s\n", n, NR, mark > (dir "/list")
            printf "" > file
            mark = ""; inside = 1; next
        }
        /^\.\\" example: / {
            if (mark != "") problem("two example comments before one block")
            mark = substr($0, 14); next
        }
        END {
            if (inside) problem("an .EX block without its .EE")
            if (mark != "") problem("an example comment without a block")
            exit bad
        }' "$1"
}

# The paths the documents show for the folder: commands get the folder's, outputs the shown.
to_folder() { sed -e "s|/archive|$home/archive|g"; }
as_shown() { sed -e "s|$home/archive|/archive|g" -e "s|$home|/home/me|g" -e 's/[[:space:]]*$//'; }

# The console block as a script that echoes each command before running it.
console_script() {
    local line
    while IFS= read -r line; do
        [[ $line == '$ '* ]] || continue
        printf 'printf "%%s\\n" %q\n' "$line"
        to_folder <<<"${line#'$ '}"
    done < "$1"
}

# Whether the output (file $2) is the block (file $1): its lines in turn, where a line "..."
# stands for any lines. Each run of lines after a "..." is taken where it first comes; the
# last must end the output. Says where they part (fence: the line of the block's fence).
matches() {
    awk -v fence="$3" '
        NR == FNR { want[++w] = $0; next }
        { got[++g] = $0 }
        # How many of want[i..i+n-1] are got[j..], in turn.
        function same(i, n, j,    k) {
            for (k = 0; k < n && j + k <= g && got[j + k] == want[i + k]; ++k) {}
            return k
        }
        function differ(i, j) {
            if (i > w) printf "  printed more than the document:\n  %s\n", got[j]
            else printf "  line %d of the document: %s\n  printed instead: %s\n", fence + i, want[i],
                        j <= g ? got[j] : "(nothing more)"
            exit 1
        }
        END {
            i = 1; j = 1; loose = 0
            while (i <= w) {
                if (want[i] == "...") { loose = 1; ++i; continue }
                for (n = 0; i + n <= w && want[i + n] != "..."; ++n) {}
                if (loose && i + n > w) {  # the last run ends the output
                    if (g - n + 1 >= j) j = g - n + 1
                } else if (loose) {
                    for (from = j; j + n - 1 <= g && same(i, n, j) < n; ++j) {}
                    if (j + n - 1 > g) j = from
                }
                k = same(i, n, j)
                if (k < n) differ(i + k, j + k)
                i += n; j += n; loose = 0
            }
            if (!loose && j <= g) differ(w + 1, j)
        }' <(sed -e 's/[[:space:]]*$//' "$1") "$2"
}

# Runs one block; prints what differs.
run_block() {
    local doc=$1 block=$2 kind=$3 line=$4 mark=$5
    local want=0 status=0
    case $mark in
        "not run: "?*) echo "$doc:$line: not run (${mark#not run: })"; return ;;
        "exit status "[0-9]*) want=${mark#exit status } ;;
        "") ;;
        *) fail "$doc:$line: an example comment is 'exit status N' or 'not run: REASON': $mark"; return ;;
    esac
    case $kind in
        text) [[ -z $mark ]] || fail "$doc:$line: a text block is no example: $mark"; return ;;
        sh) to_folder < "$block" > "$block.sh" ;;
        console) console_script "$block" > "$block.sh" ;;
        *) return ;;  # reported when the document was split
    esac
    (cd "$home" && HOME=$home PATH="$tmp/bin:$PATH" bash -e -o pipefail "$block.sh") \
        < /dev/null > "$block.out" 2>&1 || status=$?
    as_shown < "$block.out" > "$block.shown"
    if ((status != want)); then
        fail "$doc:$line: exit status $status, not $want; the example:"
        sed 's/^/    /' "$block" >&2
        echo "  printed:" >&2
        sed 's/^/    /' "$block.shown" >&2
    elif [[ $kind == console ]] && ! matches "$block" "$block.shown" "$line" > "$block.diff"; then
        fail "$doc:$line: the output differs from the document:"$'\n'"$(cat "$block.diff")"
    fi
}

cd "$source_dir"
documents=(README.md docs/*.md docs/man/*.1)
for doc in "${documents[@]}"; do
    blocks=$tmp/blocks/$doc
    mkdir -p "$blocks"
    touch "$blocks/list"
    if [[ $doc == *.1 ]]; then
        split_man "$doc" "$blocks" || failed=1
    else
        split_markdown "$doc" "$blocks" || failed=1
    fi
    home=$tmp/run/$doc
    mkdir -p "$(dirname "$home")"
    cp -a "$tmp/folder" "$home"
    while IFS=$'\t' read -r n kind line mark; do
        run_block "$doc" "$blocks/$n" "$kind" "$line" "$mark"
    done < "$blocks/list"
done

((failed == 0)) || exit 1
echo "every example of the documents runs as shown"
