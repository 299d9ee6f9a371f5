#pragma once
// What the command line's Windows file code shares: the handle behind a NativeFile, the
// offset of one call, and the most one call moves.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "cli/positional_file.h"

namespace quorvane::cli {

inline HANDLE Handle(NativeFile file)
{
    return reinterpret_cast<HANDLE>(file);
}

// Each call names its own offset, so threads sharing the handle never move a shared file position.
inline OVERLAPPED At(std::uint64_t offset)
{
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return at;
}

// One call's byte count is a DWORD.
inline constexpr std::size_t kMaxTransfer = std::size_t(1) << 30;

}  // namespace quorvane::cli
