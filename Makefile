# Entry points; CMake presets do the real work.
#   make test   installs what is missing, builds, runs every test
#   make run    builds the application and starts it (under Wine on Linux)
SHELL := /bin/bash
.ONESHELL:
.SHELLFLAGS := -eo pipefail -c

.PHONY: setup native windows test test-native test-windows clean

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

test: test-native test-windows test-sanitize test-fuzz

clean:
	rm -rf build dist

# Further targets (run, screenshots, dist, bench, fuzz, ...) live beside this file.
-include mk/*.mk
