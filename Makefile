# Kavrel: build, run and test from a fresh Debian machine.
#   make        build into build/
#   make run    open the window
#   make test   build with clang under ASan+UBSan (with fuzzing coverage), run every test with
#               leak detection, then a short pass of every fuzz target from the same build
#   make check  build and run every test in the plain build (the quick loop)
#   make demo   generate the sample disc and read it with the command-line tool
#   make package  build the Debian package build/kavrel_VERSION_ARCH.deb
#   make install  install into PREFIX (default /usr/local; DESTDIR is honoured)
#   make fuzz   run every fuzz target for FUZZ_SECONDS each (default 300)

BUILD      ?= build
SAN_BUILD  ?= build-san
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
PACKAGES   := g++ cmake ninja-build pkg-config qt6-base-dev qt6-qpa-plugins qt6-svg-dev libgl-dev \
              libgtest-dev ffmpeg clang libclang-rt-14-dev libcli11-dev mkvtoolnix mediainfo \
              desktop-file-utils appstream shared-mime-info man-db dpkg-dev file zsh \
              libdvdread-dev libflac-dev flac dvdauthor lsdvd genisoimage
SUDO       := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

PREFIX     ?= /usr/local

.PHONY: all deps configure build run demo check test san-build fuzz fuzz-short bench package install clean

all: build

# Installs only the Debian packages that are missing.
deps:
	@missing=""; for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  $(SUDO) apt-get update -qq && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq $$missing; \
	fi

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKAVREL_WERROR=ON

configure: deps $(BUILD)/build.ninja

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/bin/kavrel

demo: build
	rm -rf sample && $(BUILD)/bin/kavrel-mkdisc sample
	$(BUILD)/bin/kavrel-cli read sample/HVDVD_TS/FEATURE_1.EVO

package: build
	cd $(BUILD) && cpack -G DEB

install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

# The quick loop: the plain build and its suite.
check: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# One clang build serves the sanitizer run of the suite and the fuzz targets: every object is
# built once, with ASan+UBSan and libFuzzer's coverage hooks.
$(SAN_BUILD)/build.ninja:
	CC=clang CXX=clang++ cmake -S . -B $(SAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -gline-tables-only" \
	  -DKAVREL_SANITIZE=ON -DKAVREL_FUZZ=ON -DKAVREL_WERROR=ON

san-build: deps $(SAN_BUILD)/build.ninja
	cmake --build $(SAN_BUILD) -j $(JOBS)

test: san-build
	cd $(SAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 \
	  UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j $(JOBS)
	FUZZ_BUILD=$(SAN_BUILD) fuzz/run $(FUZZ_SHORT_SECONDS)

FUZZ_SECONDS ?= 300
FUZZ_SHORT_SECONDS ?= 10
fuzz: san-build
	FUZZ_BUILD=$(SAN_BUILD) fuzz/run $(FUZZ_SECONDS)

# A short pass of every fuzz target (part of make test).
fuzz-short: san-build
	FUZZ_BUILD=$(SAN_BUILD) fuzz/run $(FUZZ_SHORT_SECONDS)

bench: build
	bench/run

clean:
	rm -rf $(BUILD) $(SAN_BUILD) fuzz-out sample
