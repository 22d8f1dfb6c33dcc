# make run      builds Brindlecap and starts it
# make test     builds it and runs the whole test suite
# make package  builds the Debian package build/brindlecap_<version>_amd64.deb
# make install  installs into PREFIX (default /usr/local)
# All first install the Debian packages they need (scripts/setup-debian.sh).

BUILD ?= build
PREFIX ?= /usr/local
# Warnings fail the build in CI.
WERROR := $(if $(CI),ON,OFF)

.PHONY: all deps configure build test run package install clean

all: build

deps:
	@scripts/setup-debian.sh

configure: deps
	cmake -S . -B $(BUILD) -G Ninja -DBRINDLECAP_WERROR=$(WERROR) $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD)

test: build
	ctest --test-dir $(BUILD) --output-on-failure --parallel 2 --timeout 300

run: build
	$(BUILD)/src/mainwindow/brindlecap

package: build
	cd $(BUILD) && cpack -G DEB

install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

clean:
	rm -rf $(BUILD)
