#!/usr/bin/env bash
# Starts plovik.exe under Wine on your X display, analysing FILE if given:
#   make gui FILE=path/to/clip.avi      (or: scripts/wine-gui.sh path/to/clip.avi)
set -euo pipefail
cd "$(dirname "$0")/.."

exe=build-windows/plovik.exe
if [[ ! -f $exe ]]; then
    echo "No $exe yet: run 'make windows' first." >&2
    exit 1
fi
if [[ -z "${DISPLAY:-}" ]]; then
    echo "No X display (DISPLAY is empty). Wine needs one to show windows;" \
        "'make screenshot' renders the window without one." >&2
    exit 1
fi

source scripts/wine-env.sh
wine_prefix_ready

args=()
if [[ -n "${1:-}" ]]; then
    [[ -e $1 ]] || echo "Note: $1 does not exist; the window will say so." >&2
    # The app takes a Windows path: /home/me/clip.avi becomes Z:\home\me\clip.avi.
    args=("$(winepath -w "$(realpath -m -- "$1")" 2>/dev/null)")
fi
exec wine "$exe" "${args[@]}"
