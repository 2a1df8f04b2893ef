#!/usr/bin/env bash
# Checks what `make install` and `make package` deliver: the manual pages have no
# formatting warnings, the Debian package unpacked into a temporary root runs the sample,
# and the Windows zip holds the executables and the README with CR LF line ends.
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

# The Debian package, unpacked as dpkg would install it.
debs=(dist/plovik_*_amd64.deb)
[[ ${#debs[@]} -eq 1 && -f "${debs[0]}" ]] || fail "expected one .deb in dist/"
deb=${debs[0]}
depends=$(dpkg-deb -f "$deb" Depends)
# The tools carry their C++ runtime (it starts faster so): libc is their one shared library.
[[ "$depends" == "libc6 ("* ]] || fail "Depends is not libc6 alone: $depends"
[[ "$depends" != *,* ]] || fail "Depends names more than libc6: $depends"

dpkg-deb -x "$deb" "$tmp/root"
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
