# Front door: a thin wrapper over CMake.
#
#   make run    install what is missing, build, run the game
#   make test   install what is missing, build, run every test (host and ARM)
#
# Build folders (all ignored by git): build/ for the host, build-gp2x/ for the
# handheld's libraries, build-arm/ for the unit suites as ARM code.

BUILD      ?= build
BUILD_GP2X ?= build-gp2x
BUILD_ARM  ?= build-arm
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_ARGS ?=

# Debian packages the build needs.
HOST_PACKAGES = cmake make g++ clang pkg-config zlib1g-dev libsdl2-dev libgtest-dev libbenchmark-dev \
                libpng-dev libjpeg62-turbo-dev libjpeg-turbo-progs libxmp-dev
CROSS_PACKAGES = g++-arm-linux-gnueabi qemu-user
ARM_DEPS = $(CURDIR)/$(BUILD_ARM)-deps
ARM_ZLIB = $(ARM_DEPS)/usr/lib/arm-linux-gnueabi/libz.a

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)
missing = $(strip $(foreach p,$(1),$(if $(shell dpkg-query -W -f='$${Status}' $(p) 2>/dev/null | grep -q 'install ok installed' && echo y),,$(p))))

.PHONY: run test deps deps-cross build test-host test-gp2x test-arm sanitize tsan clean help

help:
	@echo "make run    build and run the game"
	@echo "make test   build and run every test, on the host and as ARM code"
	@echo "make sanitize | tsan | test-arm | clean"

# Without a display the game runs headless for RUN_FRAMES frames, with a
# picture of every 60th in RUN_SHOTS.
RUN_FRAMES = 600
RUN_SHOTS  = $(BUILD)/run-shots

run: deps build
	@if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
	  ./$(BUILD)/vexa-puzzle; \
	else \
	  echo "no display: running the game headless for $(RUN_FRAMES) frames"; \
	  ./$(BUILD)/vexa-puzzle --headless --frames $(RUN_FRAMES) \
	    --shots $$(seq -s, 60 60 $(RUN_FRAMES)) $(RUN_SHOTS); \
	fi

test: deps deps-cross test-host test-gp2x test-arm

# --- packages ---------------------------------------------------------------

deps:
	@pkgs="$(call missing,$(HOST_PACKAGES))"; \
	if [ -n "$$pkgs" ]; then \
	  echo "installing: $$pkgs"; \
	  $(SUDO) apt-get update -qq && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq $$pkgs; \
	fi

deps-cross: $(ARM_ZLIB)
	@pkgs="$(call missing,$(CROSS_PACKAGES))"; \
	if [ -n "$$pkgs" ]; then \
	  echo "installing: $$pkgs"; \
	  $(SUDO) apt-get update -qq && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq $$pkgs; \
	fi

# The ARM zlib is unpacked into a folder of the build, not installed: Debian's
# ARM packages are only downloaded, so the host's libraries stay untouched.
$(ARM_ZLIB):
	@if ! dpkg --print-foreign-architectures | grep -qx armel; then \
	  $(SUDO) dpkg --add-architecture armel && $(SUDO) apt-get update -qq; \
	fi
	mkdir -p $(ARM_DEPS)/debs
	cd $(ARM_DEPS)/debs && apt-get download zlib1g-dev:armel
	for deb in $(ARM_DEPS)/debs/*.deb; do dpkg-deb -x $$deb $(ARM_DEPS); done

# --- host -------------------------------------------------------------------

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DVEXA_WERROR=ON $(CMAKE_ARGS)

build: $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

test-host: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# --- the handheld -----------------------------------------------------------

# The libraries against the real device files: compiled and linked only.
test-gp2x: deps-cross
	cmake -S . -B $(BUILD_GP2X) -DCMAKE_TOOLCHAIN_FILE=cmake/gp2x-arm.cmake -DVEXA_ARM_DEPS=$(ARM_DEPS) \
	  -DVEXA_PLATFORM=gp2x -DVEXA_TESTS=OFF -DVEXA_WERROR=ON
	cmake --build $(BUILD_GP2X) -j $(JOBS)

# The unit suites as ARM code on the emulated devices, run under qemu-arm.
test-arm: deps-cross
	cmake -S . -B $(BUILD_ARM) -DCMAKE_TOOLCHAIN_FILE=cmake/gp2x-arm.cmake -DVEXA_ARM_DEPS=$(ARM_DEPS) \
	  -DVEXA_PLATFORM=host -DVEXA_SDL=OFF -DVEXA_EXECUTABLES=OFF -DVEXA_WERROR=ON
	cmake --build $(BUILD_ARM) -j $(JOBS)
	cd $(BUILD_ARM) && ctest --output-on-failure -j $(JOBS)

# --- sanitizers -------------------------------------------------------------

sanitize: deps
	cmake -S . -B build-asan -DVEXA_SANITIZE=address -DVEXA_WERROR=ON
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ctest --output-on-failure -j $(JOBS)

tsan: deps
	cmake -S . -B build-tsan -DVEXA_SANITIZE=thread -DVEXA_WERROR=ON
	cmake --build build-tsan -j $(JOBS)
	cd build-tsan && ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD) $(BUILD_GP2X) $(BUILD_ARM) $(BUILD_ARM)-deps build-asan build-tsan
