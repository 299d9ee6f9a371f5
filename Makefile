# Entry points; CMake presets do the real work.
#   make test   installs what is missing, builds, runs every test
#   make run    builds the application and starts it (under Wine on Linux)
# The Windows suite is the 32-bit program we ship, or where this host cannot start 32-bit programs, a
# 64-bit build under wine64 (scripts/windows-suite tells which, and why).
SHELL := /bin/bash
.ONESHELL:
.SHELLFLAGS := -eo pipefail -c

.PHONY: setup native windows windows64 test test-format test-native test-windows format clean

setup:
	@scripts/setup

native: setup
	cmake --preset native >/dev/null
	cmake --build --preset native

windows windows64: setup
	cmake --preset $@ >/dev/null
	cmake --build --preset $@

test-native: native
	scripts/ctest-run native

test-windows: setup
	suite=$$(scripts/windows-suite)
	@echo "windows suite: $$(scripts/windows-suite --why)"
	$(MAKE) --no-print-directory $$suite
	scripts/wine-session scripts/ctest-run $$suite

# The house style is .clang-format; `make test` fails on any file that strays from it.
format: setup
	scripts/format

test-format: setup
	scripts/format --check

# Every step's log is kept in build/logs; the last line adds them all up.
test:
	@mkdir -p build/logs && rm -f build/logs/*.log
	for step in format native windows sanitize fuzz package reproduce installer; do
	    $(MAKE) --no-print-directory test-$$step 2>&1 | tee build/logs/$$step.log
	done
	scripts/test-summary build/logs/*.log

clean:
	rm -rf build dist

# Further targets (run, screenshots, dist, bench, fuzz, ...) live beside this file.
-include mk/*.mk
