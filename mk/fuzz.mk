# Hardening: the container test kit, sanitizers, fuzzing, fault tests.
#   make kit            rebuilds the kit generator (OpenSSL) and rewrites tests/kit/*.vec
#   make test-sanitize  the native tests under AddressSanitizer and UBSan (build/sanitize)
#   make fuzz           every fuzz target for FUZZ_SECONDS seconds each (default 60)
#   make test-fuzz      the same for CI, 30 seconds each
#   make faults         the fault tests alone, native build (as root; otherwise most skip)
.PHONY: kit fuzz test-sanitize test-fuzz faults

KITGEN_DIR := build/kitgen
FUZZ_SECONDS ?= 60

kit: setup
	mkdir -p $(KITGEN_DIR)
	g++ -std=c++20 -O1 -Wall -Wextra -Wshadow tools/kitgen.cpp tools/kit_vectors.cpp \
	    -lcrypto -o $(KITGEN_DIR)/kitgen
	$(KITGEN_DIR)/kitgen tests/kit

test-sanitize: setup
	cmake --preset sanitize >/dev/null
	cmake --build --preset sanitize
	scripts/ctest-run sanitize

fuzz: setup
	FUZZ_SECONDS=$(FUZZ_SECONDS) scripts/fuzz

test-fuzz: setup
	FUZZ_SECONDS=30 scripts/fuzz

faults: native
	ctest --preset native -R 'Faults|NthCall|fault_mounts'
