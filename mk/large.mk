# The largest file through the real window under Wine; not part of `make test` (it needs about 6.5 GB of disk).
.PHONY: test-large
test-large: windows
	cmake --build --preset windows --target quorvane_e2e_large
	scripts/wine-session scripts/test-large
