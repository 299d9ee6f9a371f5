// OpenSSL's Blowfish through its low-level interface, one BF_ecb_encrypt per
// block, which is also what its EVP layer does for this cipher.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/blowfish.h>
#include <openssl/crypto.h>

#include "bench/peer.h"

namespace quorvane::bench {
namespace {

class COpenSslPeer final : public CBlowfishPeer {
public:
    ~COpenSslPeer() override { OPENSSL_cleanse(&schedule_, sizeof schedule_); }
    const char* Name() const override { return "OpenSSL " OPENSSL_VERSION_STR; }
    void SetKey(const std::uint8_t* key, int keyLength) override { BF_set_key(&schedule_, keyLength, key); }
    void Encrypt(const std::uint8_t* in, std::uint8_t* out, std::size_t bytes) override
    {
        for (std::size_t at = 0; at < bytes; at += 8) BF_ecb_encrypt(in + at, out + at, &schedule_, BF_ENCRYPT);
    }
    void Decrypt(const std::uint8_t* in, std::uint8_t* out, std::size_t bytes) override
    {
        for (std::size_t at = 0; at < bytes; at += 8) BF_ecb_encrypt(in + at, out + at, &schedule_, BF_DECRYPT);
    }

private:
    BF_KEY schedule_{};
};

}  // namespace

std::unique_ptr<CBlowfishPeer> MakeOpenSslPeer()
{
    return std::make_unique<COpenSslPeer>();
}

}  // namespace quorvane::bench
