// quorvane_compare [--mib N] [--rounds R]
// Our ECB loops against other Blowfish libraries on one buffer: one table of
// MB/s and SetKey times, then the ratios. Before anything is timed, every
// peer's output must equal ours under the byte-order rule (each 4-byte half
// reversed); any difference ends the program with exit status 1.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "bench/compare_table.h"
#include "bench/peer.h"
#include "cipher/blowfish_cipher.h"
#include "cipher/ecb_parallel.h"

namespace quorvane::bench {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes RandomBytes(std::size_t size, std::uint64_t seed)
{
    Bytes bytes(size);
    std::uint64_t x = seed * 0x9E3779B97F4A7C15ull + 1;
    for (std::size_t i = 0; i < size; i += 8) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        std::memcpy(&bytes[i], &x, std::min<std::size_t>(8, size - i));
    }
    return bytes;
}

// Our byte order and the published one differ by the order within each half.
Bytes ReverseHalves(const Bytes& in)
{
    Bytes out(in.size());
    for (std::size_t i = 0; i + 4 <= in.size(); i += 4)
        for (int b = 0; b < 4; ++b) out[i + b] = in[i + 3 - b];
    return out;
}

std::size_t FirstDifference(const Bytes& a, const Bytes& b)
{
    return static_cast<std::size_t>(std::mismatch(a.begin(), a.end(), b.begin()).first - a.begin());
}

bool Agrees(const char* what, const char* peer, const Bytes& ours, const Bytes& theirs)
{
    if (ours == theirs) return true;
    const std::size_t at = FirstDifference(ours, theirs);
    std::fprintf(stderr, "MISMATCH: %s differs from %s at byte %zu (block %zu)\n", what, peer, at, at / 8);
    return false;
}

// Ours on the plaintext against the peer on the plaintext with its halves
// reversed, both ways; and our threaded loop against our single-thread loop.
bool CheckByteOrder(const CBlowfishCipher& bf, std::vector<std::unique_ptr<CBlowfishPeer>>& peers, const Bytes& plain)
{
    const auto n = static_cast<std::uint32_t>(plain.size());
    Bytes ours(n), threaded(n), back(n);
    EncodeBlocksOnThreads(bf, plain.data(), ours.data(), n, 1);
    bf.EncodeBlocks(plain.data(), threaded.data(), n);
    bool ok = Agrees("encrypt on all threads", "encrypt on one thread", threaded, ours);
    DecodeBlocksOnThreads(bf, ours.data(), back.data(), n, 1);
    ok = Agrees("decrypt of our ciphertext", "the plaintext", back, plain) && ok;

    const Bytes plainReversed = ReverseHalves(plain), oursReversed = ReverseHalves(ours);
    for (auto& peer : peers) {
        Bytes theirs(n);
        peer->Encrypt(plainReversed.data(), theirs.data(), n);
        ok = Agrees("our encrypt", peer->Name(), ours, ReverseHalves(theirs)) && ok;
        peer->Decrypt(oursReversed.data(), theirs.data(), n);
        ok = Agrees("our plaintext", peer->Name(), plain, ReverseHalves(theirs)) && ok;
    }
    return ok;
}

void PrintRatio(const char* what, double ours, double theirs, const char* target)
{
    if (theirs > 0) std::printf("  %-44s %5.2f   (target %s)\n", what, ours / theirs, target);
}

int Run(int argc, char** argv)
{
    std::size_t mib = 64;
    int rounds = 5;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--mib") == 0) mib = std::strtoul(argv[i + 1], nullptr, 10);
        if (std::strcmp(argv[i], "--rounds") == 0) rounds = std::atoi(argv[i + 1]);
    }
    if (mib == 0 || mib > 2047 || rounds < 1) {
        std::fprintf(stderr, "usage: quorvane_compare [--mib 1..2047] [--rounds N]\n");
        return 2;
    }
    const std::size_t bytes = mib << 20;
    const auto length = static_cast<std::uint32_t>(bytes);
    const Bytes key = RandomBytes(16, 1);  // the key bytes of an 8-character key text
    const Bytes plain = RandomBytes(bytes, 2);

    CBlowfishCipher bf;
    bf.SetKey(key.data(), static_cast<int>(key.size()));
    auto peers = AvailablePeers();
    for (auto& peer : peers) peer->SetKey(key.data(), static_cast<int>(key.size()));
    if (!CheckByteOrder(bf, peers, plain)) {
        std::fprintf(stderr, "FAILED: outputs differ; no figures are printed\n");
        return 1;
    }
    std::printf("Outputs checked: ours equals");
    for (auto& peer : peers) std::printf(" %s,", peer->Name());
    std::printf(" on all %zu MiB, both directions, each 4-byte half reversed.\n\n", mib);

    const unsigned threads = AutomaticThreadCount(length);
    std::vector<CContestant> contestants;
    contestants.push_back(
        {"quorvane, 1 thread",
         [&](auto* in, auto* out, std::size_t n) { EncodeBlocksOnThreads(bf, in, out, std::uint32_t(n), 1); },
         [&](auto* in, auto* out, std::size_t n) { DecodeBlocksOnThreads(bf, in, out, std::uint32_t(n), 1); },
         [&](auto* k, int kl) { bf.SetKey(k, kl); }});
    contestants.push_back({"quorvane, " + std::to_string(threads) + " threads",
                           [&](auto* in, auto* out, std::size_t n) { bf.EncodeBlocks(in, out, std::uint32_t(n)); },
                           [&](auto* in, auto* out, std::size_t n) { bf.DecodeBlocks(in, out, std::uint32_t(n)); },
                           {}});
    for (auto& peer : peers) {
        CBlowfishPeer* p = peer.get();
        contestants.push_back({p->Name(), [p](auto* in, auto* out, std::size_t n) { p->Encrypt(in, out, n); },
                               [p](auto* in, auto* out, std::size_t n) { p->Decrypt(in, out, n); },
                               [p](auto* k, int kl) { p->SetKey(k, kl); }});
    }
    contestants.push_back({"memcpy",
                           [](auto* in, auto* out, std::size_t n) { std::memcpy(out, in, n); },
                           [](auto* in, auto* out, std::size_t n) { std::memcpy(out, in, n); },
                           {}});

    Bytes out(bytes, 0);  // touched before timing, so no page faults are measured
    const auto figures = MeasureSideBySide(contestants, plain.data(), out.data(), bytes, key.data(),
                                           static_cast<int>(key.size()), rounds);
    PrintTable(contestants, figures, bytes, rounds);

    std::printf("\nRatios (best figures):\n");
    const CFigures& one = figures[0];
    PrintRatio("all threads / one thread, encrypt", figures[1].encryptBest, one.encryptBest, ">= 1.8 on 2 cores");
    PrintRatio("all threads / one thread, decrypt", figures[1].decryptBest, one.decryptBest, ">= 1.8 on 2 cores");
    for (std::size_t i = 0; i < peers.size(); ++i) {
        const CFigures& f = figures[2 + i];
        const std::string name = peers[i]->Name();
        const char* target = name.rfind("OpenSSL", 0) == 0 ? ">= 3" : name.rfind("Botan", 0) == 0 ? ">= 1.3" : "-";
        PrintRatio(("one thread / " + name + ", encrypt").c_str(), one.encryptBest, f.encryptBest, target);
        PrintRatio(("one thread / " + name + ", decrypt").c_str(), one.decryptBest, f.decryptBest, target);
        PrintRatio(("SetKey " + name + " / ours").c_str(), f.setKeyMicros, one.setKeyMicros,
                   name.rfind("OpenSSL", 0) == 0 ? ">= 1" : "-");
    }
    return 0;
}

}  // namespace
}  // namespace quorvane::bench

int main(int argc, char** argv)
{
    try {
        return quorvane::bench::Run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "FAILED: %s\n", e.what());
        return 1;
    }
}
