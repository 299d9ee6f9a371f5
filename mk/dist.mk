# The package for Windows users: the window, the command line and a short read-me.
#   make dist   builds both programs (windows preset) and writes dist/quorvane-<version>-win32.zip
.PHONY: dist

QUORVANE_VERSION := $(shell awk '/^project.Quorvane VERSION/ {print $$3}' CMakeLists.txt)
DIST_NAME := quorvane-$(QUORVANE_VERSION)-win32
DIST_BUILD ?= build/windows
DIST_STAGE := build/dist/$(DIST_NAME)

dist: setup
	cmake --preset windows -B $(DIST_BUILD) >/dev/null
	cmake --build $(DIST_BUILD) --target Quorvane quorvane-cli
	rm -rf $(DIST_STAGE)
	mkdir -p $(DIST_STAGE) dist
	cp $(DIST_BUILD)/app/Quorvane.exe $(DIST_BUILD)/cli/quorvane-cli.exe $(DIST_STAGE)/
	# Notepad on every Windows version reads UTF-8 with a byte-order mark and CRLF.
	for f in cli/dist/README-*.txt; do
	    { printf '\xef\xbb\xbf'; sed 's/$$/\r/' "$$f"; } > "$(DIST_STAGE)/$$(basename "$$f")"
	done
	rm -f dist/$(DIST_NAME).zip
	(cd build/dist && zip -q -X -r "$(CURDIR)/dist/$(DIST_NAME).zip" $(DIST_NAME))
	echo "dist: dist/$(DIST_NAME).zip"
