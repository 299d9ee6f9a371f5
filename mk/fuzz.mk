# Hardening: the container test kit, fuzzing, fault tests.
#   make kit     rebuilds the kit generator (OpenSSL) and rewrites tests/kit/*.vec
#   make fuzz    runs every fuzz target for FUZZ_SECONDS seconds each (default 60)
#   make faults  runs the fault tests alone (tmpfs, read-only, locked, killed)
.PHONY: kit fuzz faults

KITGEN_DIR := build/kitgen

kit: setup
	mkdir -p $(KITGEN_DIR)
	g++ -std=c++20 -O1 -Wall -Wextra -Wshadow tests/tools/kitgen.cpp tests/tools/kit_vectors.cpp \
	    -lcrypto -o $(KITGEN_DIR)/kitgen
	$(KITGEN_DIR)/kitgen tests/kit
