# Performance, measured side by side and never asserted.
#   make bench         both comparisons below, then the Google Benchmark figures
#   make bench-blocks  the block loops against OpenSSL, libgcrypt, Botan and memcpy (one table)
#   make bench-files   quorvane-cli against age on 512 MiB and 1 GiB files (BENCH_FILES_ARGS adds
#                      e.g. --openssl, or --cpus 0 to measure on one core)
# The peers are installed by scripts/bench-setup, not by scripts/setup: CI never needs them.
.PHONY: bench bench-build bench-blocks bench-files

BENCH_BUILD ?= build/bench

bench-build: setup
	scripts/bench-setup
	cmake --preset native -B $(BENCH_BUILD) >/dev/null
	targets="quorvane_compare quorvane_bench"
	if [ -f cli/CMakeLists.txt ]; then targets="$$targets quorvane-cli"; fi
	cmake --build $(BENCH_BUILD) --parallel 2 --target $$targets

bench-blocks: bench-build
	$(BENCH_BUILD)/bench/quorvane_compare --mib 64 --rounds 7

bench-files: bench-build
	scripts/bench-files --cli $(BENCH_BUILD)/cli/quorvane-cli --mib 512,1024 --runs 5 $(BENCH_FILES_ARGS)

bench: bench-blocks bench-files
	$(BENCH_BUILD)/bench/quorvane_bench --benchmark_min_time=0.5

# The window's jobs (scripted window) beside quorvane-cli, natively and under Wine (BENCH_WINDOW_ARGS: --mib N,
# --runs N). Seconds and peak memory; see scripts/bench-window.
.PHONY: bench-window
bench-window: setup
	cmake --preset native >/dev/null && cmake --build --preset native --parallel 2
	suite=$$(scripts/windows-suite)
	cmake --preset $$suite >/dev/null && cmake --build --preset $$suite --parallel 2
	scripts/wine-session scripts/bench-window $(BENCH_WINDOW_ARGS)
