#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

namespace quorvane {

// Overwrites memory in a way the optimiser may not drop as a dead store.
void SecureWipe(void* data, std::size_t size) noexcept;

// An owned byte buffer that is wiped before its memory goes back to the heap.
// Key bytes, records and file contents all live in one of these.
class CSecureBuffer {
public:
    CSecureBuffer() noexcept = default;
    // Zero-filled; throws std::bad_alloc when the memory can't be had.
    explicit CSecureBuffer(std::size_t size);
    ~CSecureBuffer() { Release(); }

    CSecureBuffer(CSecureBuffer&& other) noexcept
        : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0))
    {
    }
    CSecureBuffer& operator=(CSecureBuffer&& other) noexcept;
    CSecureBuffer(const CSecureBuffer&) = delete;
    CSecureBuffer& operator=(const CSecureBuffer&) = delete;

    std::uint8_t* Data() noexcept { return data_; }
    const std::uint8_t* Data() const noexcept { return data_; }
    std::size_t Size() const noexcept { return size_; }
    void Release() noexcept;

private:
    std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
};

// Wipes a string's whole storage, inline or on the heap, before it is freed.
template <class CharT>
void WipeString(std::basic_string<CharT>& text) noexcept
{
    SecureWipe(text.data(), text.capacity() * sizeof(CharT));
    text.clear();
}

// A UTF-16 text that holds secret material (the typed key); wiped on destruction.
class CSecureText {
public:
    CSecureText() = default;
    explicit CSecureText(std::u16string text) : text_(std::move(text)) {}
    ~CSecureText() { WipeString(text_); }
    CSecureText(const CSecureText&) = delete;
    CSecureText& operator=(const CSecureText&) = delete;

    // Replaces the content; the old storage is wiped first.
    void Assign(std::u16string_view text)
    {
        WipeString(text_);
        text_.assign(text);
    }
    const std::u16string& Text() const noexcept { return text_; }
    bool Empty() const noexcept { return text_.empty(); }

private:
    std::u16string text_;
};

}  // namespace quorvane
