# fieldfx: `make demo` and `make test` do all set-up on a fresh Debian 12 machine
# (`./make demo` and `./make test` where make itself is not installed yet).
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps build test test-farm demo install uninstall deb dist-windows clean ci-m32 ci-asan ci-tsan ci-mingw ci-wine ci-agree \
        ci-bare-debian fuzz ci-fuzz ci-studio ci-aarch64 ci-wasm

all: build

deps:
	@scripts/install-deps

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# scripts/farm-render as a Slurm job array on a single-node cluster that the
# test starts and stops itself (needs root; about 30 s).
test-farm: deps $(BUILD)/CMakeCache.txt
	@scripts/install-deps farm
	cmake --build $(BUILD) -j $(JOBS)
	tests/farm/slurm-test $(BUILD)/bin/fieldfx

# Only what the demo runs: the command line and the operators.
demo: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS) --target fieldfx_demo
	@scripts/demo $(BUILD)

# PREFIX/bin/fieldfx, the operator modules and service libraries in
# PREFIX/lib/fieldfx, the frei0r plug-ins in PREFIX/lib/frei0r-1, man pages and
# bash completion under PREFIX/share (DESTDIR honoured). The tree may be moved
# as a whole. uninstall removes the files the last install wrote.
PREFIX ?= /usr/local
install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix $(PREFIX)

uninstall:
	DESTDIR="$(DESTDIR)" packaging/uninstall $(BUILD)/install_manifest.txt

# fieldfx_<version>_<arch>.deb here: a tree of its own with Debian's paths
# (/usr/bin, /usr/lib/<multiarch>/fieldfx, and /usr/lib/frei0r-1 where
# Debian's FFmpeg and MLT look for plug-ins, as Debian's frei0r-plugins has it),
# packaged by CPack with dpkg-shlibdeps' Depends, then checked by lintian.
DEB_BUILD ?= build-deb
deb: deps
	@scripts/install-deps package
	cmake -S . -B $(DEB_BUILD) -DCMAKE_INSTALL_PREFIX=/usr \
	      -DCMAKE_INSTALL_LIBDIR=lib/$$(dpkg-architecture -qDEB_HOST_MULTIARCH) \
	      -DFIELDFX_FREI0R_INSTALL_DIR=lib/frei0r-1 \
	      -DFIELDFX_BUILD_TESTS=OFF -DFIELDFX_BUILD_BENCH=OFF $(CMAKE_FLAGS)
	cmake --build $(DEB_BUILD) -j $(JOBS)
	rm -f $(DEB_BUILD)/fieldfx_*.deb
	cd $(DEB_BUILD) && cpack -G DEB
	mv $(DEB_BUILD)/fieldfx_*.deb .
	packaging/check-deb fieldfx_*.deb

# fieldfx-<version>-win32.zip here: the operator and service DLLs of the
# 32-bit Windows build (build-mingw, as make ci-mingw makes it), checksums and
# where each goes; the DLL checks run on the archive's contents.
dist-windows:
	@scripts/install-deps mingw
	packaging/dist-windows build-mingw

# 32-bit Linux: the 32-bit record layout and the operators' tests there.
# Where the kernel cannot execute 32-bit programs, install-deps m32 registers
# qemu-i386-static for them (scripts/i386-exec) and the tests run emulated.
ci-m32:
	@scripts/install-deps m32
	cmake -S . -B build-m32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-linux-i686.cmake \
	      -DFIELDFX_BUILD_HOST=OFF -DFIELDFX_GTEST_FROM_SOURCE=ON
	cmake --build build-m32 -j $(JOBS)
	@if [ "$$(scripts/i386-exec --mode)" = none ]; then \
	  echo "32-bit Linux tests not run: this machine runs no 32-bit programs, natively or" \
	       "emulated (scripts/i386-exec says why); build-m32 was built"; \
	else \
	  cd build-m32 && ctest --output-on-failure -j $(JOBS); \
	fi

# 64-bit ARM Linux: the operators, service libraries and their tests
# cross-built with clang and Debian's arm64 cross libraries (beside the -m32
# toolchain, which is checked to still work) and run under qemu-aarch64-static
# (ctest runs each program through it: no binfmt registration needed); no
# fused multiply-add in the generated code.
ci-aarch64:
	@scripts/install-deps m32 aarch64
	tests/platforms/toolchains-coexist
	cmake -S . -B build-aarch64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-linux-aarch64.cmake \
	      -DFIELDFX_BUILD_HOST=OFF -DFIELDFX_GTEST_FROM_SOURCE=ON
	cmake --build build-aarch64 -j $(JOBS)
	scripts/check-fused-maths build-aarch64/ops/*.so
	cd build-aarch64 && ctest --output-on-failure -j $(JOBS)

# WebAssembly (wasm32-wasi): the operators, the agreement driver (one program
# per operator) and the preview modules, and the JavaScript loader's tests
# under node.
ci-wasm:
	@scripts/install-deps wasm
	cmake -S . -B build-wasm -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-wasm32-wasi.cmake \
	      -DFIELDFX_BUILD_HOST=OFF
	cmake --build build-wasm -j $(JOBS)
	FIELDFX_WASM_BUILD=build-wasm node --experimental-wasi-unstable-preview1 --no-warnings \
	    --test adapters/wasm/

# Everything under AddressSanitizer and UBSan, leak checking on.
ci-asan: deps
	cmake -S . -B build-asan -DFIELDFX_SANITIZE=ON
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	    LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 \
	    ctest --output-on-failure -j $(JOBS)

# The threaded paths under ThreadSanitizer: effects at once on their own
# module copies, renders on several threads, and fieldfx studio answering its
# page's calls on the server's threads (the browser test, about 30 s more).
ci-tsan: deps
	@scripts/install-deps studio
	cmake -S . -B build-tsan -DFIELDFX_TSAN=ON
	cmake --build build-tsan -j $(JOBS) --target effect_threads_test cli_threads_test cli_damaged_video_test
	cd build-tsan && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -j $(JOBS) \
	    -R '^((EffectsAtOnce|RenderThreads|CliDamagedVideo)\.|studio_browser$$)'

# 32-bit Windows (mingw-w64 i686): the modules, their exports and maths, and
# the operator tests as Windows programs, run under wine.
WINE_ENV = WINEPREFIX=$(CURDIR)/build-mingw/wine WINEDEBUG=-all WINEPATH="Z:$(CURDIR)/build-mingw/lib"
ci-mingw:
	@scripts/install-deps mingw
	cmake -S . -B build-mingw -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-i686.cmake \
	      -DFIELDFX_BUILD_HOST=OFF -DFIELDFX_GTEST_FROM_SOURCE=ON
	cmake --build build-mingw -j $(JOBS)
	scripts/check-dll-exports build-mingw/ops/*.dll
	scripts/check-dll-maths build-mingw/ops/*.dll
	packaging/dist-windows build-mingw
	$(WINE_ENV) FIELDFX_REQUIRE_WINE=$(FIELDFX_REQUIRE_WINE) \
	  scripts/windows-tests build-mingw --output-on-failure -j $(JOBS)

# ci-mingw with wine installed first, and the Windows tests required to run
# wherever the kernel can execute 32-bit programs (wine's loader is one).
ci-wine:
	@scripts/install-deps m32 wine
	$(MAKE) ci-mingw FIELDFX_REQUIRE_WINE=1

# The same bytes everywhere: every operator driven with the same requests by
# the x86-64, -m32 and Windows builds (trees configured by ci-m32, ci-mingw),
# and the aarch64 and wasm32 ones where ci-aarch64 and ci-wasm configured
# theirs; then an aarch64 build allowed to fuse multiply-adds must be caught.
AGREE_TREES = $$(test -f build-aarch64/CMakeCache.txt && echo FIELDFX_AARCH64_BUILD=build-aarch64) \
              $$(test -f build-wasm/CMakeCache.txt && echo FIELDFX_WASM_BUILD=build-wasm)
ci-agree: build
	@scripts/install-deps m32
	cmake --build build-m32 -j $(JOBS) --target agreement_driver
	cmake --build build-mingw -j $(JOBS) --target agreement_driver
	@for tree in build-aarch64 build-wasm; do \
	  if [ -f $$tree/CMakeCache.txt ]; then cmake --build $$tree -j $(JOBS) --target agreement_driver; \
	  else echo "ci-agree: not compared: $$tree (make ci-$${tree#build-} configures it)" >&2; fi; \
	done
	$(WINE_ENV) env $(AGREE_TREES) tests/agreement/compare-builds $(BUILD) build-m32 build-mingw
	@if [ -f build-aarch64/CMakeCache.txt ]; then tests/agreement/planted-contraction $(BUILD); fi

# The README's two commands on a bare Debian 12 root built with debootstrap.
ci-bare-debian:
	scripts/ci-bare-debian

# libFuzzer targets (clang): the committed corpus replayed, then each target
# fuzzed for FUZZ_TIME seconds (make fuzz FUZZ_TIME=3600).
FUZZ_TIME ?= 300
fuzz: deps
	@scripts/install-deps fuzz
	scripts/fuzz $(FUZZ_TIME)

# CI: every target for 20 s after its corpus (about 3 minutes with the build).
ci-fuzz: deps
	@scripts/install-deps fuzz
	scripts/fuzz 20

# fieldfx studio in Debian's chromium: the page's controls, its pictures
# against fieldfx render, the render button, the server's refusals (about 30 s
# after the build).
ci-studio: deps
	@scripts/install-deps studio
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS) --target fieldfx
	cd $(BUILD) && ctest --output-on-failure -R '^studio_'

clean:
	rm -rf $(BUILD) build-m32 build-asan build-tsan build-mingw build-fuzz $(DEB_BUILD) build-aarch64 \
	       build-wasm build-aarch64-planted
