#include "bench/compare_table.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace quorvane::bench {
namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since)
{
    return std::chrono::duration<double>(Clock::now() - since).count();
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double Best(const std::vector<double>& values)
{
    return *std::max_element(values.begin(), values.end());
}

constexpr int kSetKeyCalls = 2000;

}  // namespace

std::vector<CFigures> MeasureSideBySide(const std::vector<CContestant>& contestants, const std::uint8_t* in,
                                        std::uint8_t* out, std::size_t bytes, const std::uint8_t* key, int keyLength,
                                        int rounds)
{
    const std::size_t n = contestants.size();
    std::vector<std::vector<double>> enc(n), dec(n), setKey(n);
    for (auto& c : contestants)
        if (c.setKey) c.setKey(key, keyLength);
    for (int round = 0; round < rounds; ++round) {
        for (std::size_t i = 0; i < n; ++i) {
            auto start = Clock::now();
            contestants[i].encrypt(in, out, bytes);
            enc[i].push_back(double(bytes) / Seconds(start) / 1e6);
            start = Clock::now();
            contestants[i].decrypt(in, out, bytes);
            dec[i].push_back(double(bytes) / Seconds(start) / 1e6);
            if (contestants[i].setKey) {
                start = Clock::now();
                for (int call = 0; call < kSetKeyCalls; ++call) contestants[i].setKey(key, keyLength);
                setKey[i].push_back(Seconds(start) * 1e6 / kSetKeyCalls);
            }
        }
    }
    std::vector<CFigures> figures(n);
    for (std::size_t i = 0; i < n; ++i) {
        figures[i] = {Best(enc[i]), Median(enc[i]), Best(dec[i]), Median(dec[i]), -1};
        if (!setKey[i].empty()) figures[i].setKeyMicros = *std::min_element(setKey[i].begin(), setKey[i].end());
    }
    return figures;
}

void PrintTable(const std::vector<CContestant>& contestants, const std::vector<CFigures>& figures, std::size_t bytes,
                int rounds)
{
    std::printf("Blowfish-ECB, %zu MiB buffer, %d rounds side by side; MB/s = 10^6 bytes/s (best, median)\n\n",
                bytes >> 20, rounds);
    std::printf("| %-30s | %15s | %15s | %11s |\n", "implementation", "encrypt MB/s", "decrypt MB/s", "SetKey us");
    std::printf("|%s|%s|%s|%s|\n", std::string(32, '-').c_str(), std::string(17, '-').c_str(),
                std::string(17, '-').c_str(), std::string(13, '-').c_str());
    for (std::size_t i = 0; i < contestants.size(); ++i) {
        const CFigures& f = figures[i];
        char setKey[32] = "-";
        if (f.setKeyMicros >= 0) std::snprintf(setKey, sizeof setKey, "%.1f", f.setKeyMicros);
        std::printf("| %-30s | %6.0f (%6.0f) | %6.0f (%6.0f) | %11s |\n", contestants[i].name.c_str(), f.encryptBest,
                    f.encryptMedian, f.decryptBest, f.decryptMedian, setKey);
    }
}

}  // namespace quorvane::bench
