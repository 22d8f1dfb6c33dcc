# SPDX-License-Identifier: GPL-3.0-or-later
# make run      builds Brindlecap (without its tests) and starts it
# make test     builds it and runs the whole test suite
# make check    what CI runs: make test, make lint (formatting, clang-tidy),
#               then the suite again under ASan and UBSan (build-asan/, but
#               for the tests of the installed programs), the tests of the
#               threads under ThreadSanitizer (build-tsan/), then the
#               fuzzers for FUZZ_SECONDS each; a test run, which mostly
#               waits, shares the processors with the next build
# make package  builds the Debian package build/brindlecap_<version>_amd64.deb
# make install  installs into PREFIX (default /usr/local)
# make bench    measures the copy rate, the tick and a damaged disc against
#               cp, dd and ddrescue and writes docs/benchmarks.md (not in CI)
# All first install the Debian packages they need (scripts/setup-debian.sh):
# make run only what building and running need, the others what testing
# needs too.

BUILD ?= build
PREFIX ?= /usr/local
FUZZ_SECONDS ?= 10
CTEST := ctest --output-on-failure --parallel 2 --timeout 300
# Warnings fail the build in CI.
WERROR := $(if $(CI),ON,OFF)
# The trees the tests run in build each target's sources as a few files
# (a unity build: the headers are parsed once per few sources, not once per
# source) and link with lld; that halves the build. A plain cmake build, and
# make bench, still compile file by file.
QUICK_BUILD := -DCMAKE_UNITY_BUILD=ON -DCMAKE_EXE_LINKER_FLAGS=-fuse-ld=lld \
	-DCMAKE_SHARED_LINKER_FLAGS=-fuse-ld=lld

.PHONY: all deps deps-run configure build test lint sanitize-build sanitize tsan-build tsan \
	fuzz-build fuzz check bench run package install clean

all: build

deps:
	@scripts/setup-debian.sh --test

deps-run:
	@scripts/setup-debian.sh --run

configure: deps
	cmake -S . -B $(BUILD) -G Ninja -DBUILD_TESTING=ON -DBRINDLECAP_WERROR=$(WERROR) $(QUICK_BUILD) \
		$(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD)

test: build
	$(CTEST) --test-dir $(BUILD)

# The committed formatting, and clang-tidy's checks (.clang-tidy) over the
# program's sources, both without a finding. clang-tidy reads the unity
# build's files, a few sources each, and reports in the sources they include:
# the headers of the system and of Qt are parsed and searched once per few
# sources, not once per source.
lint: build
	clang-format --dry-run --Werror $$(find src tests bench -name '*.cpp' -o -name '*.h')
	run-clang-tidy -p $(BUILD) -quiet "$(abspath $(BUILD))/src/.*/Unity/" \
		> $(BUILD)/clang-tidy.log 2>&1 || { grep -E 'warning:|error:' $(BUILD)/clang-tidy.log; exit 1; }
	grep -q 'Unity/unity_0_cxx.cxx' $(BUILD)/clang-tidy.log || \
		{ echo "clang-tidy read no file of the unity build"; exit 1; }

sanitize-build: deps
	cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DBRINDLECAP_SANITIZE=ON \
		-DBRINDLECAP_WERROR=$(WERROR) $(QUICK_BUILD)
	cmake --build build-asan

sanitize: sanitize-build
	$(CTEST) --test-dir build-asan -E '^(install|e2e)\.'

# The file operations the window runs off its own thread, the window waiting
# for them, and the command line's progress line, under ThreadSanitizer.
tsan-build: deps
	cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DBRINDLECAP_SANITIZE_THREAD=ON \
		-DBRINDLECAP_WERROR=$(WERROR) $(QUICK_BUILD)
	cmake --build build-tsan --target platform_tests mainwindow_tests media_tests faulty_medium

tsan: tsan-build
	TSAN_OPTIONS="halt_on_error=1 suppressions=$(CURDIR)/tests/support/tsan.supp" $(CTEST) --test-dir build-tsan -R 'BackgroundFileAccess|mainwindow.waits|TheProgressLine'

fuzz-build: deps
	cmake -S . -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DBUILD_TESTING=OFF \
		-DBRINDLECAP_FUZZ=ON -DBRINDLECAP_WERROR=$(WERROR)
	cmake --build build-fuzz --target picker_text_fuzz cli_options_fuzz rescue_map_fuzz \
		finished_list_fuzz disc_catalogue_fuzz

fuzz: fuzz-build
	scripts/run-fuzzers.sh build-fuzz $(FUZZ_SECONDS) picker_text cli_options rescue_map \
		finished_list disc_catalogue

# A test run mostly waits (for the FUSE medium, for windows drawn): each one
# runs beside the next build or clang-tidy, its output held until it ends.
PAIR := $(MAKE) -j2 --output-sync=target --no-print-directory
check: build
	$(PAIR) test lint
	$(MAKE) --no-print-directory sanitize-build
	$(PAIR) sanitize tsan-build
	$(PAIR) tsan fuzz

# BENCH_RUNS sets the runs behind each figure (default 5).
bench:
	@scripts/setup-debian.sh --bench
	cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DBRINDLECAP_BENCH=ON \
		-DBRINDLECAP_WERROR=$(WERROR)
	cmake --build build-bench --target bench_window bench_tick_steps bench_medium_recovery \
		brindlecap-cli faulty_medium
	python3 bench/benchmarks.py build-bench docs/benchmarks.md

# The programs alone, without the tests and what they need.
run: deps-run
	cmake -S . -B $(BUILD) -G Ninja -DBUILD_TESTING=OFF -DBRINDLECAP_WERROR=$(WERROR) $(CMAKE_FLAGS)
	cmake --build $(BUILD) --target brindlecap brindlecap-cli
	$(BUILD)/src/mainwindow/brindlecap

package: build
	cd $(BUILD) && cpack -G DEB

install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

clean:
	rm -rf $(BUILD)
