# Kavrel: build, run and test from a fresh Debian machine.
#   make        build into build/
#   make run    open the window
#   make test   build, run every test, then again under ASan+UBSan
#   make demo   generate the sample disc and read it with the command-line tool
#   make package  build the Debian package build/kavrel_VERSION_ARCH.deb
#   make install  install into PREFIX (default /usr/local; DESTDIR is honoured)
#   make fuzz   run every fuzz target for FUZZ_SECONDS each (default 300)

BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
PACKAGES   := g++ cmake ninja-build pkg-config qt6-base-dev qt6-qpa-plugins qt6-svg-dev libgl-dev \
              libgtest-dev ffmpeg clang libclang-rt-14-dev libcli11-dev mkvtoolnix mediainfo \
              desktop-file-utils appstream shared-mime-info man-db dpkg-dev file zsh \
              libdvdread-dev dvdauthor lsdvd genisoimage
SUDO       := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

PREFIX     ?= /usr/local

.PHONY: all deps configure build run demo test test-asan fuzz fuzz-short bench package install clean

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

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	$(MAKE) test-asan
	$(MAKE) fuzz-short

FUZZ_SECONDS ?= 300
fuzz: deps
	fuzz/run $(FUZZ_SECONDS)

# A short pass of every fuzz target (part of make test).
fuzz-short: deps
	fuzz/run 20

test-asan: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKAVREL_SANITIZE=ON -DKAVREL_WERROR=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS)

bench: build
	bench/run

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) build-fuzz fuzz-out sample
