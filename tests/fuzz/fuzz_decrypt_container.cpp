// The decrypt path of the window's job on any container bytes: decipher,
// ParseContainerRecord, HasWrittenFill, MakeSafeFileName. Ends in a refusal or
// a valid reading, never in a read outside the buffers.
//
// Input: flags (bit 0: the body is a plaintext record to encipher first, so
// that valid records are within reach), key length K (0: a fixed key), K key
// bytes, body.
#include <cstring>
#include <vector>

#include "cipher/blowfish_cipher.h"
#include "tests/fuzz/record_oracle.h"

namespace {

using quorvane::CBlowfishCipher;
using quorvane::CSecureBuffer;
using Bytes = std::vector<std::uint8_t>;

Bytes Run(bool encrypt, const Bytes& key, const std::uint8_t* input, std::size_t length)
{
    CBlowfishCipher cipher;
    std::int32_t n = static_cast<std::int32_t>(length);
    CSecureBuffer out;
    const int result = encrypt ? cipher.EncryptBuffer(input, n, key.data(), std::int32_t(key.size()), out)
                               : cipher.DecryptBuffer(input, n, key.data(), std::int32_t(key.size()), out);
    FUZZ_REQUIRE(result == 0);
    FUZZ_REQUIRE(std::size_t(n) == quorvane::AlignedLength(std::uint32_t(length)) && out.Size() == std::size_t(n));
    return Bytes(out.Data(), out.Data() + out.Size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2 || size > (1u << 20)) return 0;
    const bool plaintextMode = data[0] & 1;
    const std::size_t keyLength = data[1];
    if (size < 2 + keyLength) return 0;
    Bytes key;
    if (keyLength == 0) {
        const CSecureBuffer fixed = quorvane::MakeKeyBytes(u"fuzz key 鍵");
        key.assign(fixed.Data(), fixed.Data() + fixed.Size());
    } else {
        key.assign(data + 2, data + 2 + keyLength);
    }
    const std::uint8_t* body = data + 2 + keyLength;
    const std::size_t n = size - 2 - keyLength;
    if (n == 0) return 0;

    if (!plaintextMode) {
        // The job refuses anything but whole blocks before deciphering.
        if (n % 8 != 0) return 0;
        const Bytes container(body, body + n);  // exact size: no read past it goes unseen
        const Bytes record = Run(false, key, container.data(), n);
        FUZZ_REQUIRE(Run(true, key, record.data(), n) == container);
        quorvane::fuzz::CheckReader(record.data(), record.size());
        return 0;
    }

    // Enciphering an unaligned record: separate buffers and in place must
    // complete the last block with zeros alike, reading nothing past `n`.
    const std::size_t aligned = quorvane::AlignedLength(std::uint32_t(n));
    const Bytes plain(body, body + n);
    Bytes padded(plain);
    padded.resize(aligned, 0);
    CBlowfishCipher cipher;
    cipher.SetKey(key.data(), std::int32_t(key.size()));
    Bytes separate(aligned, 0xA5);
    FUZZ_REQUIRE(cipher.EncodeBlocks(plain.data(), separate.data(), std::uint32_t(n)) == aligned);
    Bytes inPlace(plain);
    inPlace.resize(aligned, 0x5A);  // stale bytes past the end must not leak in
    FUZZ_REQUIRE(cipher.EncodeBlocks(inPlace.data(), inPlace.data(), std::uint32_t(n)) == aligned);
    FUZZ_REQUIRE(separate == inPlace);
    const Bytes container = Run(true, key, padded.data(), aligned);
    FUZZ_REQUIRE(container == separate);
    const Bytes record = Run(false, key, container.data(), aligned);
    FUZZ_REQUIRE(record == padded);
    quorvane::fuzz::CheckReader(record.data(), record.size());
    return 0;
}
