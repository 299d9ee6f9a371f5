#pragma once
// SHA-256 for the kit's digests; the tests run under Wine too, where there is no OpenSSL.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace quorvane::kit {

std::vector<std::uint8_t> Sha256(const std::uint8_t* data, std::size_t size);

}  // namespace quorvane::kit
