#include "cli/stream_steps.h"

#include <filesystem>
#include <limits>
#include <stdexcept>

#include "container/container_record.h"
#include "jobs/platform_file.h"

namespace quorvane::cli {

StreamFailure FromSourceStatus(SourceStatus status) noexcept
{
    switch (status) {
    case SourceStatus::ok:
        return StreamFailure::none;
    case SourceStatus::notFound:
        return StreamFailure::openInput;
    case SourceStatus::notRegular:
        return StreamFailure::notRegular;
    case SourceStatus::changed:
        return StreamFailure::inputChanged;
    case SourceStatus::readFailed:
        break;
    }
    return StreamFailure::readInput;
}

StreamFailure CheckOutputPath(const std::u16string& path)
{
    constexpr std::size_t kMaxNameLength = 255;
    const std::filesystem::path target = ToFsPath(path);
    if (target.filename().native().size() > kMaxNameLength) return StreamFailure::nameTooLong;
    std::error_code error;
    if (std::filesystem::is_directory(target, error)) return StreamFailure::outputIsFolder;
    return StreamFailure::none;
}

bool PathIsTaken(const std::u16string& path)
{
    std::error_code error;
    const auto status = std::filesystem::symlink_status(ToFsPath(path), error);
    return std::filesystem::exists(status);
}

std::size_t CheckedChunkBytes(std::size_t chunkBytes)
{
    if (chunkBytes == 0 || chunkBytes % 8 != 0 || chunkBytes > 0x40000000u)
        throw std::invalid_argument("chunk size must be a multiple of 8 up to 1 GiB");
    return chunkBytes;
}

StreamFailure CommitOutput(CInputFile& input, COutputFile& output, const std::u16string& outputPath,
                           bool replaceExisting)
{
    // Closed first: on Windows an open file can't be replaced, and the input may be the output.
    input.Close();
    // Without -f, a file made since the first look is not replaced either (Commit refuses it too).
    if (!replaceExisting && PathIsTaken(outputPath)) return StreamFailure::outputExists;
    return output.Commit(replaceExisting) ? StreamFailure::none : StreamFailure::writeOutput;
}

std::uint64_t ChunkCount(std::uint64_t length, std::size_t chunkBytes) noexcept
{
    return (length + chunkBytes - 1) / chunkBytes;
}

}  // namespace quorvane::cli
