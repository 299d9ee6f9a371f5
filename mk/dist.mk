# The packages for Windows users: the window, the command line and two read-mes, as a zip and as an installer.
#   make dist        builds both programs (windows preset) and writes dist/quorvane-<version>-win32.zip,
#                    dist/quorvane-<version>-setup.exe and dist/SHA256SUMS (over everything in dist/)
#   make reproduce   builds those and the .deb twice, from two copies in two fresh folders, and compares them
#   make test-installer  installs and uninstalls setup.exe in a fresh Wine prefix (part of make test)
# Every time stamp in them is the commit's time (SOURCE_DATE_EPOCH): the linker puts it into the PE header,
# the zip and the .deb take it for their entries, and the installer stores no dates at all.
.PHONY: dist sums reproduce test-reproduce test-installer

QUORVANE_VERSION := $(shell awk '/^project.Quorvane VERSION/ {print $$3}' CMakeLists.txt)
DIST_NAME := quorvane-$(QUORVANE_VERSION)-win32
DIST_SETUP := quorvane-$(QUORVANE_VERSION)-setup.exe
DIST_BUILD ?= build/windows
DIST_STAGE := build/dist/$(DIST_NAME)
export SOURCE_DATE_EPOCH ?= $(shell git log -1 --format=%ct 2>/dev/null)

dist: setup
	[ -n "$$SOURCE_DATE_EPOCH" ] || { echo "dist: no commit time; set SOURCE_DATE_EPOCH" >&2; exit 1; }
	cmake --preset windows -B $(DIST_BUILD) >/dev/null
	# Linked afresh: the link takes the time stamp from SOURCE_DATE_EPOCH, which ninja does not watch.
	rm -f $(DIST_BUILD)/app/Quorvane.exe $(DIST_BUILD)/cli/quorvane-cli.exe
	cmake --build $(DIST_BUILD) --target Quorvane quorvane-cli
	rm -rf $(DIST_STAGE)
	mkdir -p $(DIST_STAGE) dist
	cp $(DIST_BUILD)/app/Quorvane.exe $(DIST_BUILD)/cli/quorvane-cli.exe $(DIST_STAGE)/
	# Notepad on every Windows version reads UTF-8 with a byte-order mark and CRLF.
	for f in cli/dist/README-*.txt; do
	    { printf '\xef\xbb\xbf'; sed 's/$$/\r/' "$$f"; } > "$(DIST_STAGE)/$$(basename "$$f")"
	done
	# Fixed modes and times, no extra attributes, entries in byte order: the zip depends on nothing else.
	chmod 755 $(DIST_STAGE) && chmod 644 $(DIST_STAGE)/*
	touch -d @$$SOURCE_DATE_EPOCH $(DIST_STAGE) $(DIST_STAGE)/*
	rm -f dist/$(DIST_NAME).zip
	(cd build/dist && { echo $(DIST_NAME)/; ls -d $(DIST_NAME)/* | LC_ALL=C sort; } |
	    TZ=UTC zip -q -X -@ "$(CURDIR)/dist/$(DIST_NAME).zip")
	makensis -V2 -INPUTCHARSET UTF8 -DVERSION=$(QUORVANE_VERSION) -DSTAGE="$(CURDIR)/$(DIST_STAGE)" \
	    -DICON="$(CURDIR)/res/app.ico" -DOUTFILE="$(CURDIR)/dist/$(DIST_SETUP)" res/installer/quorvane.nsi
	$(MAKE) --no-print-directory sums
	echo "dist: dist/$(DIST_NAME).zip dist/$(DIST_SETUP)"

# Checked with `sha256sum -c SHA256SUMS` in dist/ (or certutil -hashfile FILE SHA256 on Windows).
sums:
	cd dist && find . -maxdepth 1 -type f ! -name SHA256SUMS -printf '%P\n' | LC_ALL=C sort |
	    xargs -r -d '\n' sha256sum -- > SHA256SUMS

reproduce test-reproduce: setup
	scripts/reproduce

test-installer: dist
	suite=$$(scripts/windows-suite)
	$(MAKE) --no-print-directory $$suite
	scripts/wine-session tests/installer/install_check.sh dist/$(DIST_SETUP) build/$$suite/tests/e2e/quorvane_e2e.exe
