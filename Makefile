# The commands people know; CMake and CTest do the work.
BUILD     := build
ASAN      := build-asan
JOBS      ?= $(shell nproc)
# Warnings are errors in CI; on a desktop a newer compiler's new warning
# should not stop a build.
WERROR    ?= $(if $(CI),ON,OFF)
CONFIGURE := cmake -DVORNA_WERROR=$(WERROR)

.PHONY: build run test clean

build:
	@tools/deps.sh build
	$(CONFIGURE) -S . -B $(BUILD) -DBUILD_TESTING=OFF
	cmake --build $(BUILD) -j $(JOBS)

run: build
	./$(BUILD)/vorna

# Every test runs twice: on the plain build and on the one with
# AddressSanitizer and UndefinedBehaviorSanitizer.
test:
	@tools/deps.sh test
	$(CONFIGURE) -S . -B $(BUILD) -DBUILD_TESTING=ON
	cmake --build $(BUILD) -j $(JOBS)
	$(CONFIGURE) -S . -B $(ASAN) -DBUILD_TESTING=ON -DVORNA_SANITIZE=ON
	cmake --build $(ASAN) -j $(JOBS)
	cd $(BUILD) && ctest -j $(JOBS) --output-on-failure
	cd $(ASAN) && ctest -j $(JOBS) --output-on-failure

clean:
	rm -rf $(BUILD) $(ASAN)
