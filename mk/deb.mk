# quorvane-cli as a Debian package.
#   make deb           builds dist/quorvane-cli_<version>_<arch>.deb (CPack) and checks it with lintian
#   make test-package  the same, then unpacks it into a scratch root and runs what it holds (part of make test)
# A release build of its own (build/deb) with Debian's hardening flags; lintian fails it on any error or warning.
# CPack dates the entries with SOURCE_DATE_EPOCH (the commit's time, exported by dist.mk).
.PHONY: deb test-package

DEB_BUILD ?= build/deb
DEB_FLAGS := -O2 -D_FORTIFY_SOURCE=2 -fstack-protector-strong -fstack-clash-protection -fcf-protection
DEB_LINK := -Wl,-z,relro -Wl,-z,now

deb: setup
	cmake --preset native -B $(DEB_BUILD) -DQUORVANE_DEB=ON -DQUORVANE_TESTS=OFF -DQUORVANE_BENCH=OFF \
	    -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS="$(DEB_FLAGS)" -DCMAKE_EXE_LINKER_FLAGS="$(DEB_LINK)" >/dev/null
	cmake --build $(DEB_BUILD)
	rm -f $(DEB_BUILD)/quorvane-cli_*.deb
	# The umask gives the modes of the folders and the archive members inside the package.
	(cd $(DEB_BUILD) && umask 022 && cpack -G DEB >/dev/null)
	mkdir -p dist
	cp $(DEB_BUILD)/quorvane-cli_*.deb dist/
	deb=$$(ls dist/quorvane-cli_$(QUORVANE_VERSION)_*.deb)
	lintian --fail-on error,warning "$$deb"
	$(MAKE) --no-print-directory sums
	echo "deb: $$deb"

test-package: deb
	tests/package_check.sh dist/quorvane-cli_$(QUORVANE_VERSION)_$$(dpkg --print-architecture).deb
