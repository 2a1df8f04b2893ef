#!/usr/bin/env bash
# Installs the Debian packages that building and testing Plovik need, once.
# Idempotent and quiet when nothing is missing. Usage:
#   install-deps.sh [build|native|windows|package|screenshot|all]
# build: what `make build` and `make run` need (compiler, CMake, GoogleTest for the test tree).
set -euo pipefail

build=(cmake make g++ libgtest-dev)
native=("${build[@]}" clang-format googletest libbenchmark-dev clang libclang-rt-14-dev jq parallel
        ffmpeg mediainfo  # other readers of AVI files, for the tests only
        mencoder gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-plugins-good
        gstreamer1.0-plugins-ugly gstreamer1.0-libav)  # other writers, for the test corpus
native+=(python3-dev pybind11-dev python3-pytest)  # the Python module and its tests
windows=(g++-mingw-w64-x86-64-posix wine wine64 xvfb xauth fonts-nanum-coding locales)
screenshot=(x11-apps imagemagick)
# make package and its test: Depends of the .deb, manual page checks, the zip's listing, the
# C example built against the installed library.
package=(dpkg-dev file man-db groff-base unzip pkg-config)

case "${1:-all}" in
    build) wanted=("${build[@]}") ;;
    native) wanted=("${native[@]}") ;;
    windows) wanted=("${windows[@]}") ;;
    package) wanted=("${package[@]}") ;;
    screenshot) wanted=("${windows[@]}" "${screenshot[@]}") ;;
    all) wanted=("${native[@]}" "${windows[@]}" "${package[@]}") ;;
    *) echo "usage: $0 [build|native|windows|package|screenshot|all]" >&2; exit 2 ;;
esac

missing=()
for pkg in "${wanted[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$pkg")
done

sudo=()
if [[ $(id -u) -ne 0 ]]; then sudo=(sudo); fi

if ((${#missing[@]})); then
    # On standard error: `make run` keeps standard output for the report.
    echo "Installing: ${missing[*]}" >&2
    export DEBIAN_FRONTEND=noninteractive
    "${sudo[@]}" apt-get update -qq
    "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Wine takes its ANSI code page from the C library's locale: Korean gives 949.
if [[ " ${wanted[*]} " == *" locales "* ]] && ! locale -a 2>/dev/null | grep -qi '^ko_KR\.utf-\?8$'; then
    "${sudo[@]}" sed -i 's/^# *\(ko_KR.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    grep -q '^ko_KR.UTF-8 UTF-8' /etc/locale.gen || echo 'ko_KR.UTF-8 UTF-8' | "${sudo[@]}" tee -a /etc/locale.gen >/dev/null
    "${sudo[@]}" locale-gen >/dev/null
fi
