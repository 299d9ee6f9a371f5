// Botan 2's Blowfish through its block cipher interface (encrypt_n over all blocks).
#include <botan/block_cipher.h>
#include <botan/version.h>

#include <stdexcept>
#include <string>

#include "bench/peer.h"

namespace quorvane::bench {
namespace {

class CBotanPeer final : public CBlowfishPeer {
public:
    CBotanPeer() : cipher_(Botan::BlockCipher::create_or_throw("Blowfish"))
    {
        name_ = "Botan " + std::to_string(Botan::version_major()) + "." + std::to_string(Botan::version_minor()) + "." +
                std::to_string(Botan::version_patch());
    }
    const char* Name() const override { return name_.c_str(); }
    void SetKey(const std::uint8_t* key, int keyLength) override
    {
        cipher_->set_key(key, static_cast<std::size_t>(keyLength));
    }
    void Encrypt(const std::uint8_t* in, std::uint8_t* out, std::size_t bytes) override
    {
        cipher_->encrypt_n(in, out, bytes / 8);
    }
    void Decrypt(const std::uint8_t* in, std::uint8_t* out, std::size_t bytes) override
    {
        cipher_->decrypt_n(in, out, bytes / 8);
    }

private:
    std::unique_ptr<Botan::BlockCipher> cipher_;
    std::string name_;
};

}  // namespace

std::unique_ptr<CBlowfishPeer> MakeBotanPeer()
{
    return std::make_unique<CBotanPeer>();
}

}  // namespace quorvane::bench
