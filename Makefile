# The commands people know; CMake and CTest do the work.
BUILD     := build
ASAN      := build-asan
JOBS      ?= $(shell nproc)
# Warnings are errors in CI; on a desktop a newer compiler's new warning
# should not stop a build.
WERROR    ?= $(if $(CI),ON,OFF)
CONFIGURE := cmake -DVORNA_WERROR=$(WERROR)

.PHONY: build run check test test-platforms package demo bench clean

build:
	@tools/deps.sh build
	$(CONFIGURE) -S . -B $(BUILD) -DBUILD_TESTING=OFF
	cmake --build $(BUILD) -j $(JOBS)

run: build
	./$(BUILD)/vorna

# The inner loop: the plain build, and the tests that need no display
# (geometry, the scene in-process, the program's failures) and the layout.
check:
	@tools/deps.sh test
	$(CONFIGURE) -S . -B $(BUILD) -DBUILD_TESTING=ON
	cmake --build $(BUILD) -j $(JOBS)
	cd $(BUILD) && ctest -j $(JOBS) --output-on-failure -L 'scene|format'

# Every test runs twice: on the plain build and on the one with
# AddressSanitizer and UndefinedBehaviorSanitizer. The plain suite reports
# first; the sanitizer one runs whatever it said, and either failing fails.
test:
	@tools/deps.sh test
	$(CONFIGURE) -S . -B $(BUILD) -DBUILD_TESTING=ON
	cmake --build $(BUILD) -j $(JOBS)
	cd $(BUILD) && ctest -j $(JOBS) --output-on-failure; echo $$? >ctest-status
	$(CONFIGURE) -S . -B $(ASAN) -DBUILD_TESTING=ON -DVORNA_SANITIZE=ON
	cmake --build $(ASAN) -j $(JOBS)
	cd $(ASAN) && ctest -j $(JOBS) --output-on-failure
	@[ "$$(cat $(BUILD)/ctest-status)" = 0 ] || \
	  { echo "The plain build's suite failed: its report is above."; exit 1; }

# The suite on the other stacks users have: Debian 13 (GCC 14, SDL 2.32),
# SDL 3 through sdl2-compat, and native Wayland, in a Debian 13 root kept in
# /var/cache/vorna. Needs root.
test-platforms:
	@tools/platforms.sh

# A Debian package from a release build: build-package/vorna_*.deb
package:
	@tools/deps.sh package
	$(CONFIGURE) -S . -B build-package -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF
	cmake --build build-package -j $(JOBS)
	cd build-package && cpack
	@ls build-package/vorna_*.deb

# docs/demo.gif: the program on a virtual X server following a scripted
# pointer (a loop, a wipe with N, a figure of eight); docs/screenshot.png,
# the software centres' screenshot, is the frame that closes the loop.
demo:
	@tools/deps.sh demo
	$(CONFIGURE) -S . -B $(BUILD) -DBUILD_TESTING=ON
	cmake --build $(BUILD) -j $(JOBS) --target vorna vorna_demo
	rm -rf $(BUILD)/demo && mkdir -p $(BUILD)/demo docs
	$(BUILD)/tests/vorna_demo $(BUILD)/vorna $(BUILD)/demo $(BUILD)/screenshot.ppm
	convert -delay 10 -loop 0 $(BUILD)/demo/*.ppm -layers Optimize docs/demo.gif
	convert $(BUILD)/screenshot.ppm -strip docs/screenshot.png
	@taille=$$(stat -c %s docs/demo.gif); echo "docs/demo.gif: $$taille bytes"; \
	  [ $$taille -lt 2000000 ] || { echo "docs/demo.gif is over 2 MB"; exit 1; }

# BENCHMARKS.md: vorna, both ways to the window, against SDL loops that keep
# no canvas, on virtual X servers at three sizes; as root, on native Wayland
# and the compositors' CPU on each compositor of the Debian 13 root; and the
# instructions of our own code per frame. ROUNDS=n for more or fewer rounds.
ROUNDS ?= 5
bench:
	@tools/deps.sh bench
	$(CONFIGURE) -S . -B $(BUILD) -DBUILD_TESTING=ON
	cmake --build $(BUILD) -j $(JOBS) --target vorna vorna_reference vorna_banc vorna_images
	bench/bench.sh $(BUILD) $(ROUNDS)

clean:
	rm -rf $(BUILD) $(ASAN) build-package
