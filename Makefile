# Set-up and everyday commands. Each target installs what is missing first.
.PHONY: all deps configure build test core-test run install package package-test asan fuzz \
	r-package r-check format format-check clean

BUILD_DIR := build
JOBS ?= $(shell nproc)

all: build

deps:
	@bash scripts/install-deps.sh

configure: deps
	@cmake --preset release >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

test: build
	@cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# The core, the command-line tool and their tests built without Qt in build-core, as on a
# machine without the desktop libraries: proves the core and its tests need no Qt.
core-test: deps
	@cmake --preset core >/dev/null
	@cmake --build build-core -j $(JOBS)
	@cd build-core && ctest --output-on-failure -j $(JOBS)

run: build
	@bash scripts/run.sh

# The programs, help pages, examples, manual pages and desktop files under PREFIX (with
# DESTDIR before it when given), laid out as the Debian package lays them under /usr.
PREFIX ?= /usr/local

install: build
	@DESTDIR=$(DESTDIR) cmake --install $(BUILD_DIR) --prefix $(PREFIX)

# The Debian package build/fenlowick_VERSION_ARCH.deb, alone there so that
# `apt install ./fenlowick_*.deb` names one package.
package: build
	@rm -f $(BUILD_DIR)/fenlowick_*.deb
	@cmake --build $(BUILD_DIR) --target package

# Builds the package, installs it into this machine with apt, checks the installed programs
# and removes the package again (root only; see tests/packaging/installpackage.sh).
package-test: build
	@bash tests/packaging/installpackage.sh $(BUILD_DIR)

# The whole suite under AddressSanitizer and UndefinedBehaviorSanitizer; ASAN_GUI=OFF leaves
# out the windows and their tests for a quicker check.
ASAN_GUI ?= ON

asan: deps
	@cmake --preset asan -DFENLOWICK_BUILD_GUI=$(ASAN_GUI) >/dev/null
	@cmake --build build-asan -j $(JOBS)
	@cd build-asan && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

FUZZ_SECONDS ?= 60

# Every fuzz target for FUZZ_SECONDS each (clang, libFuzzer, AddressSanitizer, UBSan).
fuzz: deps
	@CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DFENLOWICK_FUZZ=ON -DFENLOWICK_BUILD_GUI=OFF -DFENLOWICK_BUILD_TESTS=OFF \
		-DFENLOWICK_BUILD_BENCH=OFF >/dev/null
	@cmake --build build-fuzz -j $(JOBS)
	@bash scripts/fuzz.sh build-fuzz $(FUZZ_SECONDS)

# The R package: r/build-package.sh assembles it in $(R_STAGE) from r/fenlowick/ and the core's
# sources, with the command-line tool's tables of the reference studies for its tests, and
# builds the source tarball $(R_STAGE)/fenlowick_VERSION.tar.gz. R compiles it with ccache
# when there is one (R_MAKEVARS_USER; R builds in temporary folders, so paths are taken
# relative to the root), $(JOBS) files at a time.
R_STAGE := $(BUILD_DIR)/r
R_ENV = MAKEFLAGS=-j$(JOBS) R_MAKEVARS_USER=$(CURDIR)/r/Makevars.user CCACHE_BASEDIR=/ \
	CCACHE_NOHASHDIR=1

r-package: configure
	@cmake --build $(BUILD_DIR) --target fenlowick-cli -j $(JOBS)
	@$(R_ENV) bash r/build-package.sh $(BUILD_DIR)/bin/fenlowick-cli $(R_STAGE)

# R CMD check of the tarball without the network; fails on any ERROR or WARNING (NOTEs pass).
r-check: r-package
	@cd $(R_STAGE) && $(R_ENV) _R_CHECK_CRAN_INCOMING_=false \
		_R_CHECK_CRAN_INCOMING_REMOTE_=false _R_CHECK_FORCE_SUGGESTS_=false NOT_CRAN=true \
		R CMD check --no-manual fenlowick_*.tar.gz
	@! grep -E '^Status:.*(ERROR|WARNING)' $(R_STAGE)/fenlowick.Rcheck/00check.log

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

format-check:
	@git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

clean:
	@rm -rf $(BUILD_DIR) build-dev build-core build-asan build-fuzz
