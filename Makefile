# Front door for building and testing Plovik. See README.md.
SHELL := /bin/bash
JOBS ?= $(shell nproc)
BUILD_TYPE ?= Release
FILE ?= samples/sample.avi
FUZZ_SECONDS ?= 300
PREFIX ?= /usr/local
WERROR := $(if $(CI),ON,OFF)
CMAKE_NATIVE := -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DPLOVIK_WERROR=$(WERROR)

.PHONY: all deps build format-check test test-native test-asan test-fuzz test-windows test-package \
        run bench fuzz windows gui screenshot format install package clean

all: build

deps:
	@scripts/install-deps.sh all

build:
	@scripts/install-deps.sh build
	@cmake -S . -B build $(CMAKE_NATIVE) >/dev/null
	@cmake --build build -j $(JOBS)

test: deps format-check test-native test-asan test-fuzz test-windows test-package
	@echo "All test suites passed."

test-native: build
	ctest --test-dir build --output-on-failure -j $(JOBS)

# The unit tests again under AddressSanitizer and UndefinedBehaviorSanitizer.
test-asan:
	@cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DPLOVIK_WERROR=$(WERROR) \
	    -DPLOVIK_SANITIZE=ON -DPLOVIK_BUILD_BENCH=OFF >/dev/null
	@cmake --build build-asan -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	    ctest --test-dir build-asan --output-on-failure -j $(JOBS)

# 60 seconds of coverage-guided fuzzing of the analyser; any finding fails.
test-fuzz:
	@$(MAKE) --no-print-directory fuzz FUZZ_SECONDS=60

fuzz:
	@scripts/fuzz.sh $(FUZZ_SECONDS)

test-windows:
	@if [ -x scripts/windows-test.sh ]; then scripts/windows-test.sh; \
	 else echo "No Windows tests yet."; fi

# What make install and make package deliver: manual pages, the .deb in a temporary root, the zip.
test-package: package
	@scripts/package-test.sh

# The build stays quiet (errors and what gets installed still reach stderr) so that
# stdout holds only the report. On a fresh machine the build installs its packages.
run:
	@$(MAKE) --no-print-directory build >/dev/null
	@build/plovik-report "$(FILE)"

bench:
	@cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DPLOVIK_BUILD_TESTS=OFF >/dev/null
	@cmake --build build-bench -j $(JOBS) --target plovik_bench
	@build-bench/bench/plovik_bench

windows:
	@scripts/install-deps.sh windows
	@cmake -S . -B build-windows -DCMAKE_BUILD_TYPE=Release -DPLOVIK_WERROR=$(WERROR) \
	    -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-w64-x86_64.cmake >/dev/null
	@cmake --build build-windows -j $(JOBS)

gui: windows
	@scripts/wine-gui.sh "$(FILE)"

screenshot: windows
	@scripts/screenshot.sh

# plovik-report, plovik-repair, plovik-trace and their manual pages, libplovik with its header,
# pkg-config and CMake files, and the Python module in the site-packages of Debian's python3
# under PREFIX (and DESTDIR, when set). Installed into the system, the library is made known
# to the dynamic linker.
install: build
	@cmake --install build --prefix "$(PREFIX)"
	@if [ -z "$(DESTDIR)" ] && [ "$$(id -u)" = 0 ]; then ldconfig; fi

# dist/: the Debian package of the command-line tools and plovik-VERSION-win64.zip.
package: build windows
	@scripts/install-deps.sh package
	@rm -rf dist build/package build-windows/package
	@cd build && cpack -B "$(CURDIR)/build/package" >/dev/null
	@cd build-windows && cpack -B "$(CURDIR)/build-windows/package" >/dev/null
	@mkdir -p dist && cp build/package/*.deb build-windows/package/*.zip dist/
	@ls dist

SOURCES = $(shell find text analysis app codecs facts report repair capi python tests bench fuzz -name '*.cpp' -o -name '*.h')

format:
	@clang-format -i $(SOURCES)

# Fails when any source differs from its clang-format layout.
format-check:
	@clang-format --dry-run --Werror $(SOURCES)

clean:
	rm -rf build build-asan build-bench build-fuzz build-windows dist
