// The interleaved, threaded block loops against the plain one-block network:
// every length, buffer alignment, in place or not, and thread count must give
// the bytes that EncipherBlock/DecipherBlock give one block at a time.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <vector>

#include "cipher/blowfish_cipher.h"
#include "cipher/ecb_parallel.h"
#include "tests/support/files.h"

namespace quorvane {
namespace {

using test::Bytes;

std::uint32_t ReadLittle(const std::uint8_t* b)
{
    return std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 | std::uint32_t(b[3]) << 24;
}

void WriteLittle(std::uint8_t* b, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) b[i] = std::uint8_t(v >> (8 * i));
}

// The block order by hand: zero-completed, then one block at a time.
Bytes OneBlockAtATime(const CBlowfishCipher& bf, Bytes data, bool encipher)
{
    data.resize(AlignedLength(static_cast<std::uint32_t>(data.size())), 0);
    for (std::size_t at = 0; at < data.size(); at += 8) {
        std::uint32_t l = ReadLittle(&data[at]), r = ReadLittle(&data[at + 4]);
        if (encipher)
            bf.EncipherBlock(l, r);
        else
            bf.DecipherBlock(l, r);
        WriteLittle(&data[at], l);
        WriteLittle(&data[at + 4], r);
    }
    return data;
}

constexpr std::uint8_t kGuard = 0xA5;
constexpr std::size_t kGuardBytes = 16;

// A buffer whose payload starts `offset` bytes past a guard zone and is
// followed by another, so a loop that writes outside its blocks is caught.
struct CGuarded {
    CGuarded(std::size_t offsetBytes, std::size_t roomBytes)
        : offset(offsetBytes), room(roomBytes), bytes(kGuardBytes + offsetBytes + roomBytes + kGuardBytes, kGuard)
    {
    }
    std::uint8_t* Data() { return bytes.data() + kGuardBytes + offset; }
    Bytes Payload(std::size_t n) const
    {
        const auto start = bytes.begin() + static_cast<std::ptrdiff_t>(kGuardBytes + offset);
        return Bytes(start, start + static_cast<std::ptrdiff_t>(n));
    }
    bool GuardsIntact() const
    {
        for (std::size_t i = 0; i < kGuardBytes + offset; ++i)
            if (bytes[i] != kGuard) return false;
        for (std::size_t i = kGuardBytes + offset + room; i < bytes.size(); ++i)
            if (bytes[i] != kGuard) return false;
        return true;
    }
    std::size_t offset, room;
    Bytes bytes;
};

// Every byte length up to 49 blocks (every lane group with every tail), then
// block counts around larger group and piece boundaries, whole and partial.
std::vector<std::uint32_t> SweepLengths()
{
    std::vector<std::uint32_t> lengths;
    for (std::uint32_t n = 0; n < 8 * 49; ++n) lengths.push_back(n);
    for (std::uint32_t blocks : {63u, 64u, 65u, 127u, 128u, 129u, 199u, 255u, 256u, 257u, 299u, 300u})
        for (std::uint32_t rest : {0u, 3u, 7u}) lengths.push_back(8 * blocks + rest);
    return lengths;
}

// Splits depend on block counts, not on addresses or tail bytes: lengths with
// a tail of 0, 1 or 7 bytes up to 13 blocks (pieces of one to four blocks) and
// the large ones get every thread count, at one alignment. Thread starts are
// slow under Wine, and one thread already covers every alignment.
std::vector<unsigned> ThreadCountsFor(std::uint32_t length)
{
    const std::uint32_t rest = length % 8;
    if ((length < 8 * 13 || length >= 8 * 49) && (rest == 0 || rest == 1 || rest == 7)) return {1, 2, 3, 4};
    return {1};
}

std::vector<std::size_t> OffsetsFor(unsigned threads)
{
    if (threads > 1) return {3};
    return {0, 1, 2, 3, 4, 5, 6, 7};
}

class EcbSweep : public ::testing::Test {
protected:
    void SetUp() override
    {
        const Bytes key = test::PatternBytes(13, 77);
        bf.SetKey(key.data(), static_cast<std::int32_t>(key.size()));
    }
    CBlowfishCipher bf;
};

TEST_F(EcbSweep, encode_equals_one_block_at_a_time_for_every_length_alignment_and_thread_count)
{
    for (const std::uint32_t length : SweepLengths()) {
        const Bytes plain = test::PatternBytes(length, length + 1);
        const Bytes expected = OneBlockAtATime(bf, plain, true);
        const std::size_t n = expected.size();
        for (const unsigned threads : ThreadCountsFor(length)) {
            for (const std::size_t offset : OffsetsFor(threads)) {
                CGuarded inPlace(offset, n);
                std::copy(plain.begin(), plain.end(), inPlace.Data());
                std::fill(inPlace.Data() + length, inPlace.Data() + n,
                          std::uint8_t{0xCC});  // stale bytes past the end become zeros
                ASSERT_EQ(EncodeBlocksOnThreads(bf, inPlace.Data(), inPlace.Data(), length, threads), n);
                ASSERT_EQ(inPlace.Payload(n), expected)
                    << "in place, length " << length << ", threads " << threads << ", offset " << offset;
                ASSERT_TRUE(inPlace.GuardsIntact()) << "in place, length " << length << ", threads " << threads;

                CGuarded source(offset, length), target((offset * 5 + 3) % 8, n);
                std::copy(plain.begin(), plain.end(), source.Data());
                EncodeBlocksOnThreads(bf, source.Data(), target.Data(), length, threads);
                ASSERT_EQ(target.Payload(n), expected)
                    << "separate, length " << length << ", threads " << threads << ", offset " << offset;
                ASSERT_EQ(source.Payload(length), plain) << "input changed, length " << length;
                ASSERT_TRUE(source.GuardsIntact() && target.GuardsIntact()) << "separate, length " << length;
            }
        }
    }
}

TEST_F(EcbSweep, decode_equals_one_block_at_a_time_for_every_length_alignment_and_thread_count)
{
    for (const std::uint32_t length : SweepLengths()) {
        // Decoding reads whole blocks: a partial length still covers its last block.
        const Bytes cipher = test::PatternBytes(AlignedLength(length), length + 2);
        const Bytes expected = OneBlockAtATime(bf, cipher, false);
        const std::size_t n = expected.size();
        for (const unsigned threads : ThreadCountsFor(length)) {
            for (const std::size_t offset : OffsetsFor(threads)) {
                CGuarded inPlace(offset, n);
                std::copy(cipher.begin(), cipher.end(), inPlace.Data());
                DecodeBlocksOnThreads(bf, inPlace.Data(), inPlace.Data(), length, threads);
                ASSERT_EQ(inPlace.Payload(n), expected)
                    << "in place, length " << length << ", threads " << threads << ", offset " << offset;
                ASSERT_TRUE(inPlace.GuardsIntact()) << "in place, length " << length << ", threads " << threads;

                CGuarded source(offset, n), target((offset * 3 + 1) % 8, n);
                std::copy(cipher.begin(), cipher.end(), source.Data());
                DecodeBlocksOnThreads(bf, source.Data(), target.Data(), length, threads);
                ASSERT_EQ(target.Payload(n), expected)
                    << "separate, length " << length << ", threads " << threads << ", offset " << offset;
                ASSERT_EQ(source.Payload(n), cipher) << "input changed, length " << length;
                ASSERT_TRUE(source.GuardsIntact() && target.GuardsIntact()) << "separate, length " << length;
            }
        }
    }
}

// Past the threshold the plain entry points split the buffer by themselves.
TEST_F(EcbSweep, buffers_around_the_thread_threshold_equal_one_block_at_a_time)
{
    for (const std::uint32_t length : {kParallelMinimumBytes - 8, kParallelMinimumBytes, kParallelMinimumBytes + 13,
                                       3 * kParallelMinimumBytes + 5}) {
        const Bytes plain = test::PatternBytes(length, 9);
        const Bytes expected = OneBlockAtATime(bf, plain, true);
        Bytes buffer = plain;
        buffer.resize(expected.size(), 0xCC);
        ASSERT_EQ(bf.EncodeBlocks(buffer.data(), buffer.data(), length), expected.size());
        ASSERT_EQ(buffer, expected) << "encode, length " << length;
        bf.DecodeBlocks(buffer.data(), buffer.data(), length);
        Bytes padded = plain;
        padded.resize(expected.size(), 0);
        ASSERT_EQ(buffer, padded) << "decode, length " << length;
    }
}

TEST(EcbThreads, small_buffers_stay_on_the_calling_thread_and_large_ones_use_at_most_every_core)
{
    EXPECT_EQ(AutomaticThreadCount(0), 1u);
    EXPECT_EQ(AutomaticThreadCount(kParallelMinimumBytes - 1), 1u);
    const unsigned cores = std::max(std::thread::hardware_concurrency(), 1u);
    for (const std::uint32_t length : {kParallelMinimumBytes, 64u << 20, 0xFFFFFFFFu}) {
        EXPECT_GE(AutomaticThreadCount(length), 1u) << length;
        EXPECT_LE(AutomaticThreadCount(length), cores) << length;
        EXPECT_LE(AutomaticThreadCount(length), length / kMinimumBytesPerThread) << length;
    }
}

TEST(EcbThreads, split_covers_every_block_exactly_once)
{
    for (const std::size_t blocks : {0u, 1u, 2u, 3u, 5u, 7u, 100u, 101u}) {
        for (unsigned threads = 0; threads <= 9; ++threads) {
            std::vector<int> visits(blocks, 0);  // each piece writes only its own entries
            SplitBlocks(blocks, threads, [&](std::size_t first, std::size_t count) {
                for (std::size_t b = first; b < first + count; ++b) ++visits[b];
            });
            for (std::size_t b = 0; b < blocks; ++b)
                ASSERT_EQ(visits[b], 1) << "block " << b << " of " << blocks << ", threads " << threads;
        }
    }
}

}  // namespace
}  // namespace quorvane
