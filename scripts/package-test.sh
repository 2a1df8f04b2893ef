#!/usr/bin/env bash
# Checks what `make install` and `make package` deliver: the manual pages have no
# formatting warnings, the Debian packages unpacked into a temporary root run the sample (the
# tools, the C example built against the library, the Python module), and the Windows zip
# holds the executables and the README with CR LF line ends.
# Expects the packages in dist/ (make test-package builds them first).
set -euo pipefail
cd "$(dirname "$0")/.."
export LANG=C.UTF-8 LC_ALL=C.UTF-8

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "package test: $*" >&2; exit 1; }

# No output from either formatter but the page itself.
check_man_page() {
    local warnings
    warnings=$(MANWIDTH=80 man --warnings -l "$1" 2>&1 >/dev/null)
    [[ -z "$warnings" ]] || fail "$1: man warns: $warnings"
    warnings=$(zcat -f "$1" | groff -man -ww -z 2>&1)
    [[ -z "$warnings" ]] || fail "$1: groff warns: $warnings"
}
for page in docs/man/*.1; do check_man_page "$page"; done

# make install: the tools, their gzipped pages and the copyright file under the prefix.
cmake --install build --prefix "$tmp/local" >/dev/null
for file in bin/plovik-report bin/plovik-repair bin/plovik-trace \
    share/man/man1/plovik-{report,repair,trace}.1.gz share/doc/plovik/copyright; do
    [[ -f "$tmp/local/$file" ]] || fail "make install did not install $file"
done

# The C example of docs/ built against the library installed under PREFIX, once through
# pkg-config and once through CMake's find_package, and run on the cut test file.
check_c_library() {
    local prefix=$1 name=$2 flags
    flags=$(PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config --cflags --libs plovik) ||
        fail "$name: pkg-config does not find plovik"
    cc -std=c99 -Wall -Werror docs/examples/inspect_check_repair.c $flags -o "$tmp/$name-pc" ||
        fail "$name: the C example does not build with pkg-config"
    mkdir -p "$tmp/$name-cmake"
    cat > "$tmp/$name-cmake/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.25)
project(example C)
find_package(plovik 1 REQUIRED)
add_executable(example $PWD/docs/examples/inspect_check_repair.c)
target_link_libraries(example PRIVATE plovik::plovik)
CMAKE
    cmake -S "$tmp/$name-cmake" -B "$tmp/$name-cmake/build" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null &&
        cmake --build "$tmp/$name-cmake/build" >/dev/null ||
        fail "$name: the C example does not build with find_package(plovik)"
    for exe in "$tmp/$name-pc" "$tmp/$name-cmake/build/example"; do
        rm -f "$tmp/fixed.avi"
        LD_LIBRARY_PATH="$prefix/lib" "$exe" tests/data/msmpeg4v2_cut.avi "$tmp/fixed.avi" \
            2>/dev/null | grep -q '^{"status":"written"' || fail "$name: $exe did not repair"
    done
}

# The Python module found where the interpreter looks under that prefix.
check_python_module() {
    local site=$1 name=$2 verdict
    verdict=$(PYTHONPATH="$site" /usr/bin/python3 -c '
import sys, plovik
assert plovik.__file__.startswith(sys.argv[1]), plovik.__file__
print(plovik.check("tests/data/msmpeg4v2_cut.avi").verdict)' "$site") ||
        fail "$name: the Python module does not import from $site"
    [[ "$verdict" == damaged ]] || fail "$name: the Python module's verdict: $verdict"
}

# make install: the C library, its header, pkg-config and CMake files, the Python module
# in the site-packages of Debian's python3 for a prefix other than /usr.
python_version=$(/usr/bin/python3 -c 'import sys; print("%d.%d" % sys.version_info[:2])')
for file in lib/libplovik.so.1 include/plovik/plovik.h lib/pkgconfig/plovik.pc \
    lib/cmake/plovik/plovikConfig.cmake; do
    [[ -e "$tmp/local/$file" ]] || fail "make install did not install $file"
done
check_c_library "$tmp/local" install
check_python_module "$tmp/local/lib/python$python_version/dist-packages" install

# The Debian packages, unpacked as dpkg would install them.
debs=(dist/plovik_*_amd64.deb)
[[ ${#debs[@]} -eq 1 && -f "${debs[0]}" ]] || fail "expected one .deb in dist/"
deb=${debs[0]}
depends=$(dpkg-deb -f "$deb" Depends)
# The tools carry their C++ runtime (it starts faster so): libc is their one shared library.
[[ "$depends" == "libc6 ("* ]] || fail "Depends is not libc6 alone: $depends"
[[ "$depends" != *,* ]] || fail "Depends names more than libc6: $depends"

dpkg-deb -x "$deb" "$tmp/root"

# The library alone in libplovik1 (with the SONAME and a shlibs file), the files to build
# with in libplovik-dev, the module in python3-plovik; each with its copyright file.
version=$(dpkg-deb -f "$deb" Version)
for package in libplovik1 libplovik-dev python3-plovik; do
    file=dist/${package}_${version}_amd64.deb
    [[ -f "$file" ]] || fail "expected $file"
    dpkg-deb -x "$file" "$tmp/root"
    [[ -s "$tmp/root/usr/share/doc/$package/copyright" ]] || fail "$package lacks its copyright file"
done
[[ "$(dpkg-deb -f dist/libplovik-dev_"$version"_amd64.deb Depends)" == "libplovik1 (= $version)" ]] ||
    fail "libplovik-dev does not depend on its libplovik1"
dpkg-deb --info dist/libplovik1_"$version"_amd64.deb shlibs | grep -q "^libplovik 1 libplovik1" ||
    fail "libplovik1 has no shlibs file"
[[ "$(dpkg-deb -f dist/python3-plovik_"$version"_amd64.deb Depends)" == "python3 (>= $python_version)"* ]] ||
    fail "python3-plovik does not depend on python3 $python_version"
check_c_library "$tmp/root/usr" package
check_python_module "$tmp/root/usr/lib/python3/dist-packages" package
for page in "$tmp"/root/usr/share/man/man1/plovik-{report,repair,trace}.1.gz; do
    [[ -f "$page" ]] || fail "the package lacks $page"
    check_man_page "$page"
done
[[ -s "$tmp/root/usr/share/doc/plovik/copyright" ]] || fail "the package lacks its copyright file"
# The documents the manual page names, where it says they are.
documents=$(grep -o '/usr/share/doc/plovik/[a-z.\\-]*\.md' docs/man/plovik-report.1 | tr -d '\\' | sort -u)
[[ $(wc -w <<<"$documents") -ge 2 ]] || fail "the manual page names no documents: $documents"
for document in $documents; do
    cmp -s "$tmp/root$document" "docs/${document##*/}" || fail "the package lacks $document"
done
installed=$("$tmp/root/usr/bin/plovik-report" samples/sample.avi) ||
    fail "the installed plovik-report failed on the sample"
[[ "$installed" == "$(build/plovik-report samples/sample.avi)" ]] ||
    fail "the installed plovik-report reports the sample differently"
[[ "$installed" == "파일명 : sample.avi"* ]] || fail "unexpected report: ${installed:0:80}"
"$tmp/root/usr/bin/plovik-trace" --help >/dev/null || fail "the installed plovik-trace failed"
[[ "$("$tmp/root/usr/bin/plovik-repair" --help)" == "Usage: plovik-repair "* ]] ||
    fail "the installed plovik-repair failed"

# The Windows zip: exactly these files, the README as Windows text.
zips=(dist/plovik-*-win64.zip)
[[ ${#zips[@]} -eq 1 && -f "${zips[0]}" ]] || fail "expected one Windows zip in dist/"
zip=${zips[0]}
listing=$(unzip -Z1 "$zip" | sort | tr '\n' ' ')
[[ "$listing" == "README.txt plovik-repair.exe plovik-report.exe plovik.exe " ]] ||
    fail "zip holds: $listing"
cmp -s <(unzip -p "$zip" README.txt) <(sed 's/$/\r/' README.md) ||
    fail "README.txt is not README.md with CR LF line ends"
for exe in plovik.exe plovik-report.exe plovik-repair.exe; do
    [[ "$(unzip -p "$zip" "$exe" | head -c 2)" == "MZ" ]] || fail "$exe is not a Windows executable"
done

echo "Packages OK: $(basename "$deb"), $(basename "$zip")"
