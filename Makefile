# fieldfx: `make demo` and `make test` do all set-up on a fresh Debian 12 machine.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps build test demo clean ci-m32 ci-asan ci-mingw fuzz ci-fuzz

all: build

deps:
	@scripts/install-deps

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

demo: build
	@scripts/demo $(BUILD)

# 32-bit Linux: the 32-bit record layout and the operators' tests there.
ci-m32: deps
	cmake -S . -B build-m32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-linux-i686.cmake \
	      -DFIELDFX_BUILD_HOST=OFF -DFIELDFX_GTEST_FROM_SOURCE=ON
	cmake --build build-m32 -j $(JOBS)
	cd build-m32 && ctest --output-on-failure -j $(JOBS)

# Everything under AddressSanitizer and UBSan, leak checking on.
ci-asan: deps
	cmake -S . -B build-asan -DFIELDFX_SANITIZE=ON
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	    ctest --output-on-failure -j $(JOBS)

# 32-bit Windows modules and service libraries (mingw-w64 i686).
ci-mingw: deps
	cmake -S . -B build-mingw -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-i686.cmake \
	      -DFIELDFX_OPERATORS_ONLY=ON
	cmake --build build-mingw -j $(JOBS)
	scripts/check-dll-exports build-mingw/ops/*.dll

# libFuzzer targets (clang): the committed corpus replayed, then each target
# fuzzed for FUZZ_TIME seconds (make fuzz FUZZ_TIME=3600).
FUZZ_TIME ?= 300
fuzz: deps
	scripts/fuzz $(FUZZ_TIME)

# CI: every target for 20 s after its corpus (about 3 minutes with the build).
ci-fuzz: deps
	scripts/fuzz 20

clean:
	rm -rf $(BUILD) build-m32 build-asan build-mingw build-fuzz
