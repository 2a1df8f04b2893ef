#!/usr/bin/env bash
# Renders the main window with the report of an AVI file under Xvfb, into
# docs/screenshot.png:  make screenshot   (or: scripts/screenshot.sh [FILE] [OUT])
# "굴림체" is mapped to the fixed-pitch NanumGothicCoding, as on a Korean Windows.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

file=${1:-samples/sample.avi}
out=${2:-docs/screenshot.png}
exe=build-windows/plovik.exe
[[ -f $exe ]] || { echo "No $exe yet: run 'make windows' first." >&2; exit 1; }
[[ -f $file ]] || { echo "No AVI file at $file." >&2; exit 1; }

scripts/install-deps.sh screenshot
source scripts/wine-env.sh
trap wine_server_stop EXIT
wine_prefix_ready
mkdir -p "$(dirname "$out")"

# A short, machine-independent path in the picture: C:\samples\<name>.
mkdir -p "$WINEPREFIX/drive_c/samples"
cp -- "$file" "$WINEPREFIX/drive_c/samples/"
name=$(basename -- "$file")
export PLOVIK_EXE="$root/$exe" PLOVIK_FILE="C:\\samples\\$name"
export PLOVIK_OUT="$(realpath -m -- "$out")"
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    set -euo pipefail
    source scripts/wine-env.sh
    trap wine_server_stop EXIT
    wine_server_start
    shot=$(mktemp --suffix=.png)
    wine "$PLOVIK_EXE" "$PLOVIK_FILE" </dev/null >/dev/null 2>&1 &
    # The window stands at the top-left corner of a black screen: a black frame around
    # the screen lets -trim cut exactly the window. Wait until it is drawn and steady.
    previous=""
    for _ in $(seq 1 100); do
        sleep 0.3
        xwd -root -silent | convert xwd:- -bordercolor black -border 1 -trim +repage "$shot" 2>/dev/null || true
        sum=$(md5sum <"$shot")
        width=$(identify -format "%w" "$shot")
        if ((width > 300)) && [[ $sum == "$previous" ]]; then break; fi
        previous=$sum
    done
    mv "$shot" "$PLOVIK_OUT"
'
echo "Wrote $out"
