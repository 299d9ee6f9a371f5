# Entry points; CMake presets do the real work.
#   make test   installs what is missing, builds, runs every test
#   make run    builds the application and starts it (under Wine on Linux)
SHELL := /bin/bash
.ONESHELL:
.SHELLFLAGS := -eo pipefail -c

.PHONY: setup native windows test test-format test-native test-windows format clean

setup:
	@scripts/setup

native: setup
	cmake --preset native >/dev/null
	cmake --build --preset native

windows: setup
	cmake --preset windows >/dev/null
	cmake --build --preset windows

test-native: native
	ctest --preset native

test-windows: windows
	scripts/wine-session ctest --preset windows

# The house style is .clang-format; `make test` fails on any file that strays from it.
format: setup
	scripts/format

test-format: setup
	scripts/format --check

# Every step's log is kept in build/logs; the last line adds them all up.
test:
	@mkdir -p build/logs && rm -f build/logs/*.log
	for step in format native windows sanitize fuzz; do
	    $(MAKE) --no-print-directory test-$$step 2>&1 | tee build/logs/$$step.log
	done
	scripts/test-summary build/logs/*.log

clean:
	rm -rf build dist

# Further targets (run, screenshots, dist, bench, fuzz, ...) live beside this file.
-include mk/*.mk
