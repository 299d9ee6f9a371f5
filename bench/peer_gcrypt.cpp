// libgcrypt's Blowfish in its own ECB mode (bulk calls over the whole buffer).
#include <gcrypt.h>

#include <stdexcept>
#include <string>

#include "bench/peer.h"

namespace quorvane::bench {
namespace {

void Check(gcry_error_t error, const char* what)
{
    if (error != 0) throw std::runtime_error(std::string("libgcrypt ") + what + ": " + gcry_strerror(error));
}

class CGcryptPeer final : public CBlowfishPeer {
public:
    CGcryptPeer()
    {
        if (!gcry_control(GCRYCTL_INITIALIZATION_FINISHED_P)) {
            gcry_check_version(nullptr);
            gcry_control(GCRYCTL_DISABLE_SECMEM, 0);
            gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
        }
        name_ = std::string("libgcrypt ") + gcry_check_version(nullptr);
        Check(gcry_cipher_open(&handle_, GCRY_CIPHER_BLOWFISH, GCRY_CIPHER_MODE_ECB, 0), "open");
    }
    ~CGcryptPeer() override { gcry_cipher_close(handle_); }
    const char* Name() const override { return name_.c_str(); }
    void SetKey(const std::uint8_t* key, int keyLength) override
    {
        Check(gcry_cipher_setkey(handle_, key, static_cast<std::size_t>(keyLength)), "setkey");
    }
    void Encrypt(const std::uint8_t* in, std::uint8_t* out, std::size_t bytes) override
    {
        Check(gcry_cipher_encrypt(handle_, out, bytes, in, bytes), "encrypt");
    }
    void Decrypt(const std::uint8_t* in, std::uint8_t* out, std::size_t bytes) override
    {
        Check(gcry_cipher_decrypt(handle_, out, bytes, in, bytes), "decrypt");
    }

private:
    gcry_cipher_hd_t handle_ = nullptr;
    std::string name_;
};

}  // namespace

std::unique_ptr<CBlowfishPeer> MakeGcryptPeer()
{
    return std::make_unique<CGcryptPeer>();
}

}  // namespace quorvane::bench
