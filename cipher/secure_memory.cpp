#include "cipher/secure_memory.h"

#include <cstring>

namespace quorvane {

namespace {
// Calling memset through a volatile pointer keeps the compiler from proving the
// store dead and eliding it, which it may do for a plain memset before free.
void* (*volatile gMemset)(void*, int, std::size_t) = std::memset;
}  // namespace

void SecureWipe(void* data, std::size_t size) noexcept
{
    if (data != nullptr && size != 0) gMemset(data, 0, size);
}

CSecureBuffer::CSecureBuffer(std::size_t size) : data_(size ? new std::uint8_t[size]() : nullptr), size_(size) {}

CSecureBuffer& CSecureBuffer::operator=(CSecureBuffer&& other) noexcept
{
    if (this != &other) {
        Release();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

void CSecureBuffer::Release() noexcept
{
    SecureWipe(data_, size_);
    delete[] data_;
    data_ = nullptr;
    size_ = 0;
}

}  // namespace quorvane
