#pragma once
// Another Blowfish implementation, for the side-by-side comparison only.
// Peers use the published byte order: each 4-byte half most significant byte first.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace quorvane::bench {

class CBlowfishPeer {
public:
    virtual ~CBlowfishPeer() = default;
    virtual const char* Name() const = 0;
    virtual void SetKey(const std::uint8_t* key, int keyLength) = 0;
    // ECB over whole blocks; bytes is a multiple of 8.
    virtual void Encrypt(const std::uint8_t* in, std::uint8_t* out, std::size_t bytes) = 0;
    virtual void Decrypt(const std::uint8_t* in, std::uint8_t* out, std::size_t bytes) = 0;
};

std::unique_ptr<CBlowfishPeer> MakeOpenSslPeer();
std::unique_ptr<CBlowfishPeer> MakeGcryptPeer();
std::unique_ptr<CBlowfishPeer> MakeBotanPeer();

// The peers that this build was linked with.
inline std::vector<std::unique_ptr<CBlowfishPeer>> AvailablePeers()
{
    std::vector<std::unique_ptr<CBlowfishPeer>> peers;
#ifdef QUORVANE_PEER_OPENSSL
    peers.push_back(MakeOpenSslPeer());
#endif
#ifdef QUORVANE_PEER_GCRYPT
    peers.push_back(MakeGcryptPeer());
#endif
#ifdef QUORVANE_PEER_BOTAN
    peers.push_back(MakeBotanPeer());
#endif
    return peers;
}

}  // namespace quorvane::bench
