# quorvane-cli installed like any Unix tool.
#   make install                 PREFIX/bin/quorvane-cli and PREFIX/share/man/man1/quorvane-cli.1
#   make install PREFIX=~/.local  anywhere else; DESTDIR=... stages it for a package
.PHONY: install

PREFIX ?= /usr/local

install: setup
	cmake --preset native >/dev/null
	cmake --build --preset native --target quorvane-cli
	cmake --install build/native --prefix "$(PREFIX)" --strip
