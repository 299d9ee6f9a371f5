// Throughput of the buffer operations as the jobs call them (key schedule,
// allocation and all), of the bare block loops on one and on all threads, and
// the cost of SetKey.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "cipher/blowfish_cipher.h"
#include "cipher/ecb_parallel.h"

namespace quorvane {
namespace {

constexpr std::int64_t kMiB = 1 << 20;
const std::uint8_t kKey[16] = {0x41, 0, 0x42, 0, 0x43, 0, 0x44, 0, 0x45, 0, 0x46, 0, 0x47, 0, 0x48, 0};

std::vector<std::uint8_t> Plain(std::size_t size)
{
    std::vector<std::uint8_t> bytes(size);
    std::uint32_t x = 12345;
    for (auto& b : bytes) b = static_cast<std::uint8_t>((x = x * 1103515245u + 12345u) >> 24);
    return bytes;
}

// The block loop alone, in place; threads 0 means the automatic choice.
template <bool Encode>
void BM_Blocks(benchmark::State& state)
{
    auto buffer = Plain(static_cast<std::size_t>(state.range(0)));
    const auto length = static_cast<std::uint32_t>(buffer.size());
    const auto threads = static_cast<unsigned>(state.range(1));
    CBlowfishCipher bf;
    bf.SetKey(kKey, sizeof kKey);
    for (auto _ : state) {
        if constexpr (Encode) {
            if (threads == 0)
                bf.EncodeBlocks(buffer.data(), buffer.data(), length);
            else
                EncodeBlocksOnThreads(bf, buffer.data(), buffer.data(), length, threads);
        } else {
            if (threads == 0)
                bf.DecodeBlocks(buffer.data(), buffer.data(), length);
            else
                DecodeBlocksOnThreads(bf, buffer.data(), buffer.data(), length, threads);
        }
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
    state.counters["threads"] = threads == 0 ? AutomaticThreadCount(length) : threads;
}
BENCHMARK(BM_Blocks<true>)
    ->Name("EncodeBlocks")
    ->ArgNames({"bytes", "threads"})
    ->ArgsProduct({{kMiB, 64 * kMiB}, {1, 0}})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Blocks<false>)
    ->Name("DecodeBlocks")
    ->ArgNames({"bytes", "threads"})
    ->ArgsProduct({{kMiB, 64 * kMiB}, {1, 0}})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

void BM_SetKey(benchmark::State& state)
{
    CBlowfishCipher bf;
    for (auto _ : state) {
        bf.SetKey(kKey, sizeof kKey);
        benchmark::DoNotOptimize(bf.SBoxes()[1023]);
    }
}
BENCHMARK(BM_SetKey)->Name("SetKey")->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace quorvane

BENCHMARK_MAIN();
