# The two everyday commands are `make run` and `make test`; both install what is missing first.
BUILD_DIR ?= build
CMAKE_FLAGS ?=
# CI treats warnings as errors.
ifneq ($(CI),)
CMAKE_FLAGS += -DVELMOR_WERROR=ON
endif
FUZZ_SECONDS ?= 60
JOBS ?= $(shell nproc)

.PHONY: all deps configure build run test package test-package bench bench-windows fuzz test-asan test-tsan windows \
	test-windows test-windows-programs windows-package test-windows-package clean format

all: build

deps:
	@scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

# Without a display the program runs on Qt's offscreen platform; end it with Ctrl+C.
run: build
	@if [ -z "$$DISPLAY" ] && [ -z "$$WAYLAND_DISPLAY" ]; then export QT_QPA_PLATFORM=offscreen; fi; \
	exec $(BUILD_DIR)/velmor

test: build
	@cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

# The Debian package velmor_<version>_amd64.deb in the build folder, from the install rules.
package: build
	@cd $(BUILD_DIR) && cpack -G DEB >/dev/null && ls $(CURDIR)/$(BUILD_DIR)/velmor_*_amd64.deb

# The package checked as a player gets it (scripts/check-package).
test-package: package
	@scripts/check-package $(BUILD_DIR)

# Benchmarks: speed and memory figures with the ratios they compare; not part of `make test`.
bench: deps
	@cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELMOR_BENCH=ON -DVELMOR_TESTS=OFF >/dev/null
	@cmake --build build-bench -j $(JOBS)
	@scripts/run-benchmarks build-bench

# libFuzzer targets (clang, with AddressSanitizer and UndefinedBehaviorSanitizer), each run
# for FUZZ_SECONDS from the seeds in fuzz/corpus/ (copied, so the run never writes there).
fuzz: deps
	@CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DVELMOR_FUZZ=ON -DVELMOR_GUI=OFF -DVELMOR_TESTS=OFF $(CMAKE_FLAGS) >/dev/null
	@cmake --build build-fuzz -j $(JOBS)
	@scripts/run-fuzzers build-fuzz $(FUZZ_SECONDS)

# Every test, the velmor program and the SDL audio tests included, under AddressSanitizer
# and UndefinedBehaviorSanitizer (any report fails the test). Leaks in third-party
# libraries may be suppressed in scripts/lsan.supp, never ours.
test-asan: deps
	@cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELMOR_SANITIZE=address $(CMAKE_FLAGS) >/dev/null
	@cmake --build build-asan -j $(JOBS)
	@cd build-asan && \
	  ASAN_OPTIONS=detect_leaks=1:fast_unwind_on_malloc=0:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/scripts/lsan.supp:print_suppressions=0 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure -j $(JOBS)

# The threaded parts under ThreadSanitizer (no GUI): sockets, the relay, decoding sessions,
# the hue table and the main window with running relays. Any race report fails the run.
TSAN_AREAS = platform relay decoding speech shell
test-tsan: deps
	@cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELMOR_SANITIZE=thread -DVELMOR_GUI=OFF $(CMAKE_FLAGS) >/dev/null
	@cmake --build build-tsan -j $(JOBS) --target $(foreach t,$(TSAN_AREAS),velmor_$(t)_tests)
	@for t in $(TSAN_AREAS); do \
	  TSAN_OPTIONS=second_deadlock_stack=1 build-tsan/tests/velmor_$${t}_tests --gtest_brief=1 || exit 1; \
	done

# Velmor cross-built for 64-bit Windows (mingw-w64, static runtime): velmor.exe, every
# library and the test programs.
WINDOWS_BUILD_DIR ?= build-windows
WINDOWS_AREAS = platform relay decoding speech shell
windows: deps
	@cmake -S . -B $(WINDOWS_BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-w64-x86_64.cmake $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(WINDOWS_BUILD_DIR) -j $(JOBS)

# velmor.exe imports at load time only DLLs Windows takes from its own folder; then the
# Windows test programs under wine, each run in shards rather than case by case (starting a
# program under wine for every case would cost more than the tests), then the tests of
# velmor.exe itself.
test-windows: windows
	@scripts/check-windows-imports $(WINDOWS_BUILD_DIR)/velmor.exe
	@scripts/run-windows-tests $(WINDOWS_BUILD_DIR) $(foreach t,$(WINDOWS_AREAS),tests/velmor_$(t)_tests.exe)
	@scripts/run-windows-programs $(WINDOWS_BUILD_DIR)

# velmor.exe itself under wine, on a display of its own: the program tests it shares with
# Linux (relaying, logging, the ways it ends, the next start recovering a killed run's log),
# then its window, tray icon and tray menu.
test-windows-programs: windows
	@scripts/run-windows-programs $(WINDOWS_BUILD_DIR)

# The Windows benchmarks under wine, in a virtual desktop on a display of their own: the
# log pane's append rate and memory per line, the tray menu under load and "Beenden" after
# a burst. They print figures beside their targets and assert nothing.
bench-windows: windows
	@cmake --build $(WINDOWS_BUILD_DIR) -j $(JOBS) --target win32_log_pane_bench win32_program_bench
	@scripts/run-windows-benchmarks $(WINDOWS_BUILD_DIR)

# The zip a Windows player downloads, velmor-windows.zip in the Windows build folder:
# velmor.exe, a German read-me and the licences (cmake/windows_package.cmake).
windows-package: windows
	@cmake --build $(WINDOWS_BUILD_DIR) --target velmor_windows_package >/dev/null
	@echo "$(WINDOWS_BUILD_DIR)/velmor-windows.zip"

# The zip checked: what it holds, and that its velmor.exe is the tested one.
test-windows-package: windows-package
	@scripts/check-windows-package $(WINDOWS_BUILD_DIR)

clean:
	rm -rf $(BUILD_DIR) build-bench build-fuzz build-asan build-tsan $(WINDOWS_BUILD_DIR)

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i
